// The export's remembered choices (settings): units, the band's items, sound, quality and the
// cameras' layout. The
// export dialog starts from them, and the band on the playing picture, the speed curve and the
// trip timeline take their units.
#pragma once

#include "export/videoexport.h"

// Settings the export remembers.
extern const char kSettingExportUnits[];
extern const char kSettingExportOverlay[];
extern const char kSettingExportSound[];
extern const char kSettingExportQuality[];
extern const char kSettingExportLayout[];

tagEXPORTOPTIONS RememberedExportOptions();
void RememberExportOptions(const tagEXPORTOPTIONS &options);
