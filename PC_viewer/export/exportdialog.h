// "Export video...": the range to be written, and the choices of what the telemetry band shows,
// its units, sound and picture quality; for recordings of several cameras, which of them are
// composed and how; regions to blur, marked by dragging on a frame of the range, and the privacy
// copy.
#pragma once

#include "export/videoexport.h"
#include "skin/skindialog.h"

#include <functional>

class CRegionCanvas;
class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QSlider;

// The range's pictures, for marking regions on: how many, the first clip's frame number of the
// first (for the captions) and one picture by its place in the range.
struct tagREGIONPICTURES {
    int64_t llCount = 0;
    int64_t llFirstFrame = 0;
    QSize size; // the first clip's picture as shown: the regions' pixels
    std::function<QImage(int64_t place)> picture;
};

class CExportDialog : public CSkinDialog
{
    Q_OBJECT
public:
    static constexpr int kDialogId = 140;

    // rangeText: the range as times and frames, shown at the top.
    // Without pictures (llCount 0) no region can be marked; the privacy copy is still offered.
    CExportDialog(const QString &rangeText, const tagEXPORTOPTIONS &initial, QWidget *parent = nullptr,
                  tagREGIONPICTURES pictures = {});

    tagEXPORTOPTIONS Options() const;
    // For tests and keyboard users alike: the controls by item.
    QCheckBox *ItemBox(unsigned item) const;
    QComboBox *UnitsBox() const { return m_units; }
    QCheckBox *SoundBox() const { return m_sound; }
    QComboBox *QualityBox() const { return m_quality; }
    // The cameras' choices; shown only when initial.channels names more than one.
    QCheckBox *CameraBox(const QString &name) const;
    QComboBox *LayoutBox() const { return m_layout; }
    // Blurring: the picture to drag on, the frame slider (places of the range), the regions'
    // list (choosing one makes the next drag correct it), whether a new or the chosen region
    // follows, removing the chosen one, and the privacy copy.
    CRegionCanvas *Canvas() const { return m_canvas; }
    QSlider *FrameSlider() const { return m_slider; }
    QListWidget *RegionList() const { return m_list; }
    QCheckBox *FollowBox() const { return m_follow; }
    QPushButton *RemoveButton() const { return m_remove; }
    QPushButton *NewRegionButton() const { return m_new; }
    QCheckBox *PrivacyBox() const { return m_privacy; }
    const QVector<tagBLURREGION> &Regions() const { return m_regions; }

private:
    void ShowFrame(int place);
    void OnRectDrawn(const QRect &rect);
    void OnChosen();
    void OnFollowToggled(bool bFollow);
    void RefreshRegions();

    QLabel *m_range;
    QCheckBox *m_items[7];
    QComboBox *m_units;
    QCheckBox *m_sound;
    QComboBox *m_quality;
    QComboBox *m_layout;
    QVector<QCheckBox *> m_cameras;
    tagEXPORTOPTIONS m_initial;
    tagREGIONPICTURES m_pictures;
    QVector<tagBLURREGION> m_regions;
    CRegionCanvas *m_canvas = nullptr;
    QSlider *m_slider = nullptr;
    QLabel *m_frameLabel = nullptr;
    QListWidget *m_list = nullptr;
    QCheckBox *m_follow = nullptr;
    QPushButton *m_remove = nullptr;
    QPushButton *m_new = nullptr;
    QCheckBox *m_privacy = nullptr;
};
