// The card's clock correction dialog.
#include "shell/clockcorrectiondlg.h"

#include "catalogue/cameraclock.h"

#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

namespace {
constexpr int64_t kHourMs = 3600 * 1000;
} // namespace

CClockCorrectionDialog::CClockCorrectionDialog(const QString &clockText, std::optional<int64_t> errorMs,
                                               int64_t correctionMs, QWidget *parent)
    : CSkinDialog(kDialogId, parent), m_clock(new QLabel(this)), m_hours(new QDoubleSpinBox(this)),
      m_seconds(new QDoubleSpinBox(this)),
      m_removeError(new QPushButton(QStringLiteral("Remove the camera clock's error"), this))
{
    setWindowTitle(QStringLiteral("Camera clock"));
    setModal(true);
    m_clock->setWordWrap(true);
    m_clock->setText(clockText.isEmpty() ? QStringLiteral("This recording does not tell its camera's clock against GPS time.")
                                         : QStringLiteral("This recording: ") + clockText);
    // The shift in quarter hours, the rest in seconds.
    const double maxHours = kMaxTimeZoneMs / double(kHourMs);
    m_hours->setRange(-maxHours, maxHours);
    m_hours->setSingleStep(0.25);
    m_hours->setDecimals(2);
    m_hours->setSuffix(QStringLiteral(" h"));
    const int64_t quarters = correctionMs / (kHourMs / 4);
    const int64_t hoursPart = std::clamp<int64_t>(quarters * (kHourMs / 4), -kMaxTimeZoneMs, kMaxTimeZoneMs);
    m_hours->setValue(hoursPart / double(kHourMs));
    m_seconds->setRange(-kMaxClockCorrectionMs / 1000.0 + maxHours * 3600, kMaxClockCorrectionMs / 1000.0 - maxHours * 3600);
    m_seconds->setDecimals(3);
    m_seconds->setSuffix(QStringLiteral(" s"));
    m_seconds->setValue((correctionMs - hoursPart) / 1000.0);
    m_removeError->setEnabled(errorMs.has_value());
    connect(m_removeError, &QPushButton::clicked, this, [this, errorMs] {
        m_hours->setValue(0);
        m_seconds->setValue(errorMs ? -*errorMs / 1000.0 : 0.0);
    });
    auto *reset = new QPushButton(QStringLiteral("As recorded"), this);
    connect(reset, &QPushButton::clicked, this, [this] {
        m_hours->setValue(0);
        m_seconds->setValue(0);
    });

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Time zone shift"), m_hours);
    form->addRow(QStringLiteral("Seconds"), m_seconds);
    auto *note = new QLabel(QStringLiteral("Added to every time the card's cameras recorded. The files on the card "
                                           "are never changed."),
                            this);
    note->setWordWrap(true);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->addButton(m_removeError, QDialogButtonBox::ActionRole);
    buttons->addButton(reset, QDialogButtonBox::ResetRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_clock);
    layout->addLayout(form);
    layout->addWidget(note);
    layout->addWidget(buttons);
    setMinimumWidth(420);
}

int64_t CClockCorrectionDialog::CorrectionMs() const
{
    const int64_t hours = std::llround(m_hours->value() * 4) * (kHourMs / 4);
    return std::clamp<int64_t>(hours + std::llround(m_seconds->value() * 1000.0), -kMaxClockCorrectionMs,
                               kMaxClockCorrectionMs);
}
