// "Export video...": the range to be written, and the choices of what the telemetry band shows,
// its units, sound and picture quality.
#pragma once

#include "export/videoexport.h"
#include "skin/skindialog.h"

class QCheckBox;
class QComboBox;
class QLabel;

class CExportDialog : public CSkinDialog
{
    Q_OBJECT
public:
    static constexpr int kDialogId = 140;

    // rangeText: the range as times and frames, shown at the top.
    CExportDialog(const QString &rangeText, const tagEXPORTOPTIONS &initial, QWidget *parent = nullptr);

    tagEXPORTOPTIONS Options() const;
    // For tests and keyboard users alike: the controls by item.
    QCheckBox *ItemBox(unsigned item) const;
    QComboBox *UnitsBox() const { return m_units; }
    QCheckBox *SoundBox() const { return m_sound; }
    QComboBox *QualityBox() const { return m_quality; }

private:
    QLabel *m_range;
    QCheckBox *m_items[7];
    QComboBox *m_units;
    QCheckBox *m_sound;
    QComboBox *m_quality;
};
