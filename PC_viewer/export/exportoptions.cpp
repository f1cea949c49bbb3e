// The export's remembered choices.
#include "export/exportoptions.h"

#include "export/telemetryoverlay.h"

#include <QSettings>

const char kSettingExportUnits[] = "export/units";
const char kSettingExportOverlay[] = "export/overlay";
const char kSettingExportSound[] = "export/sound";
const char kSettingExportQuality[] = "export/quality";
const char kSettingExportLayout[] = "export/layout";

tagEXPORTOPTIONS RememberedExportOptions()
{
    QSettings s;
    tagEXPORTOPTIONS o;
    ParseSpeedUnit(s.value(QLatin1String(kSettingExportUnits), QStringLiteral("kmh")).toString(), &o.unit);
    unsigned items = OVERLAY_ALL;
    if (ParseOverlayList(s.value(QLatin1String(kSettingExportOverlay)).toString(), &items, nullptr))
        o.nOverlay = items;
    o.bSound = s.value(QLatin1String(kSettingExportSound), true).toBool();
    const int q = s.value(QLatin1String(kSettingExportQuality), int(ExportQuality::Normal)).toInt();
    o.quality = q >= int(ExportQuality::High) && q <= int(ExportQuality::Small) ? ExportQuality(q) : ExportQuality::Normal;
    ParseExportLayout(s.value(QLatin1String(kSettingExportLayout)).toString(), &o.layout);
    return o;
}

void RememberExportOptions(const tagEXPORTOPTIONS &o)
{
    QSettings s;
    s.setValue(QLatin1String(kSettingExportUnits), SpeedUnitName(o.unit));
    s.setValue(QLatin1String(kSettingExportOverlay), OverlayListText(o.nOverlay));
    s.setValue(QLatin1String(kSettingExportSound), o.bSound);
    s.setValue(QLatin1String(kSettingExportQuality), int(o.quality));
    s.setValue(QLatin1String(kSettingExportLayout), ExportLayoutName(o.layout));
}
