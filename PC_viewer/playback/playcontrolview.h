// The strip of transport controls below the video pane: fourteen bitmap buttons, the speed
// list and the vertical volume slider. Play, Reverse play and Pause act on playback through
// IPlayControlTarget (the playback controller); every other button raises the main frame's
// command with Command(id), so the bar and the menus always do the same thing.
#pragma once

#include "playback/controlbarkeys.h"

#include <QMap>
#include <QWidget>

class CBitmapSlider;
class CButtonST;
class IPlayControlTarget;
class QComboBox;

class CPlayControlView : public QWidget, public IControlBarKeys
{
    Q_OBJECT

public:
    static constexpr int kSliderMin = 0;
    static constexpr int kSliderMax = 30;
    static constexpr int kSliderStart = 15;
    static constexpr int kSpeedCount = 6;

    explicit CPlayControlView(QWidget *parent = nullptr);

    // The playback the bar drives; null leaves the transport buttons without effect.
    void SetTarget(IPlayControlTarget *target) { m_pTarget = target; }
    IPlayControlTarget *Target() const { return m_pTarget; }

    // Selects speed 2^index (0 to 5) and applies it (main frame commands "1x" to "32x").
    void SetSpeedIndex(int index);
    int SpeedIndex() const;

    // Greys Reverse play, Pause and Play while the video pane shows several panes.
    void EnableSingleViewButtons(int multi);

    // Sends the slider's level to playback while the sound is on; while it is off,
    // puts the slider back where it was when the sound was switched off.
    void ApplyVolume();

    // The speaker buttons and the Delete key.
    void ToggleSound() override;

    // Up and Down move the volume slider, Delete toggles the sound. The other panes pass
    // these keys here too. True when the key was one of them.
    bool HandleKey(int key) override;

    bool IsSoundOn() const { return m_bSoundOn; }
    int SavedSliderPos() const { return m_nSavedSliderPos; }
    // The level the slider stands for: 1 at the top (position 0), 0 at the bottom.
    double SliderLevel() const;

    CButtonST *Button(int id) const { return m_buttons.value(id, nullptr); }
    QList<int> ButtonIds() const { return m_buttons.keys(); }
    CBitmapSlider *VolumeSlider() const { return m_pSlider; }
    QComboBox *SpeedList() const { return m_pSpeedList; }

signals:
    // A command id of the main frame's table (commandids.h).
    void Command(int id);
    // Space, End, Home, Left or Right pressed in the bar: for the G-sensor graph view.
    void GraphKey(int key);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void CreateButton(int id, const QString &tooltip, int firstBitmap, int secondBitmap);
    void OnButton(int id);
    void OnSpeedChange();
    bool RouteKey(int key);
    void Layout();

    IPlayControlTarget *m_pTarget = nullptr;
    QMap<int, CButtonST *> m_buttons;
    QComboBox *m_pSpeedList;
    CBitmapSlider *m_pSlider;
    int m_nSavedSliderPos = kSliderStart;
    bool m_bSoundOn = true;
    bool m_bInitialised = false;
};
