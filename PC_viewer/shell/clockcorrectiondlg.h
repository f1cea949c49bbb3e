// "Camera clock...": the clock correction of the loaded card, as a time-zone shift and seconds,
// with what the current recording tells of its camera's clock against GPS.
#pragma once

#include "skin/skindialog.h"

#include <cstdint>
#include <optional>

class QDoubleSpinBox;
class QLabel;
class QPushButton;

class CClockCorrectionDialog : public CSkinDialog
{
    Q_OBJECT
public:
    static constexpr int kDialogId = 160;

    // clockText: the current recording's camera clock (CameraClockText), "" when unknown;
    // errorMs: that clock's error against GPS, when known; correctionMs: the card's correction now.
    CClockCorrectionDialog(const QString &clockText, std::optional<int64_t> errorMs, int64_t correctionMs,
                           QWidget *parent = nullptr);

    // The correction chosen: the shift's hours plus the seconds.
    int64_t CorrectionMs() const;
    QDoubleSpinBox *HoursBox() const { return m_hours; }
    QDoubleSpinBox *SecondsBox() const { return m_seconds; }
    QPushButton *RemoveErrorButton() const { return m_removeError; }

private:
    QLabel *m_clock;
    QDoubleSpinBox *m_hours;
    QDoubleSpinBox *m_seconds;
    QPushButton *m_removeError;
};
