// The picture adjustments panel: brightness, contrast, gamma and sharpen sliders with their
// values, and "Reset". A small skinned window beside the video that stays open while the user
// plays, steps and zooms; every change goes to the playback controller's picture view at once.
#pragma once

#include "playback/pictureview.h"
#include "skin/skindialog.h"

#include <array>

class CPlaybackController;
class QLabel;
class QPushButton;
class QSlider;

class CPictureAdjustPanel : public CSkinDialog
{
    Q_OBJECT
public:
    static constexpr int kDialogId = 175;
    CPictureAdjustPanel(CPlaybackController *playback, QWidget *parent);

    // The sliders in the order brightness, contrast, gamma, sharpen (for tests).
    QSlider *Slider(int index) const { return m_sliders[static_cast<size_t>(index)]; }
    QLabel *ValueLabel(int index) const { return m_values[static_cast<size_t>(index)]; }
    QPushButton *ResetButton() const { return m_reset; }

private:
    // The sliders and values from the controller's view (after a change from elsewhere).
    void ShowView(const tagPICTUREVIEW &view);
    void OnSliderMoved();

    CPlaybackController *m_playback;
    std::array<QSlider *, 4> m_sliders{};
    std::array<QLabel *, 4> m_values{};
    QPushButton *m_reset;
    bool m_bShowing = false;
};
