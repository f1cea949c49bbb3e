// "Export video...": the range to be written, and the choices of what the telemetry band shows,
// its units, sound and picture quality; for recordings of several cameras, which of them are
// composed and how.
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
    // The cameras' choices; shown only when initial.channels names more than one.
    QCheckBox *CameraBox(const QString &name) const;
    QComboBox *LayoutBox() const { return m_layout; }

private:
    QLabel *m_range;
    QCheckBox *m_items[7];
    QComboBox *m_units;
    QCheckBox *m_sound;
    QComboBox *m_quality;
    QComboBox *m_layout;
    QVector<QCheckBox *> m_cameras;
    tagEXPORTOPTIONS m_initial;
};
