// The update dialog.
#include "update/updatedialog.h"

#include "skin/prompt.h"
#include "update/updateconst.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace {

// Dialog units of the 9-point dialog font, in pixels.
int DluX(int units)
{
    return units * 7 / 4;
}

int DluY(int units)
{
    return units * 15 / 8;
}

constexpr int kClientWidthDlu = 243;
constexpr int kClientHeightDlu = 74;

} // namespace

CUpdateDialog::CUpdateDialog(const tagUPDATESETUP &setup, QWidget *parent)
    : CSkinDialog(IDD_UPDATE_DIALOG, parent), m_check(this, setup), m_pStatus(new QLabel(QStringLiteral("Static"))),
      m_pProgress(new QProgressBar), m_pOk(new QPushButton(QStringLiteral("OK"))),
      m_pCancel(new QPushButton(QStringLiteral("Cancel")))
{
    setWindowTitle(QStringLiteral("Pellister - Updater"));
    setModal(true);

    auto *client = new QWidget(this);
    const QMargins m = contentsMargins();
    client->setGeometry(m.left(), m.top(), DluX(kClientWidthDlu), DluY(kClientHeightDlu));
    for (QWidget *w : {static_cast<QWidget *>(m_pStatus), static_cast<QWidget *>(m_pProgress),
                       static_cast<QWidget *>(m_pOk), static_cast<QWidget *>(m_pCancel)})
        w->setParent(client);
    m_pStatus->setObjectName(QString::number(IDC_UPDATE_STATUS));
    m_pStatus->setGeometry(DluX(7), DluY(10), DluX(229), DluY(25));
    m_pStatus->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_pStatus->setWordWrap(true);
    m_pProgress->setObjectName(QString::number(IDC_UPDATE_PROGRESS));
    m_pProgress->setGeometry(DluX(7), DluY(38), DluX(229), DluY(14));
    m_pProgress->setRange(0, 100);
    m_pProgress->setValue(0);
    m_pProgress->setTextVisible(false);
    m_pOk->setObjectName(QString::number(IDC_UPDATE_OK));
    m_pOk->setGeometry(DluX(136), DluY(53), DluX(50), DluY(14));
    m_pOk->setVisible(false);
    m_pCancel->setObjectName(QString::number(IDC_UPDATE_CANCEL));
    m_pCancel->setGeometry(DluX(186), DluY(53), DluX(50), DluY(14));
    connect(m_pOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_pCancel, &QPushButton::clicked, this, &CUpdateDialog::reject);
    setFixedSize(DluX(kClientWidthDlu) + m.left() + m.right(), DluY(kClientHeightDlu) + m.top() + m.bottom());

    m_refreshTimer.setInterval(kRefreshTimerMs);
    connect(&m_refreshTimer, &QTimer::timeout, this, [this] { m_pStatus->setText(m_strStatus); });
    m_endTimer.setInterval(kEndTimerMs);
    m_endTimer.setSingleShot(true);
    connect(&m_endTimer, &QTimer::timeout, this, &CUpdateDialog::OnEndTimer);
}

CUpdateDialog::~CUpdateDialog() = default;

void CUpdateDialog::showEvent(QShowEvent *event)
{
    CSkinDialog::showEvent(event);
    if (m_bStarted)
        return;
    m_bStarted = true;
    SetStatus(QString::fromLatin1(kStatusConnecting));
    // From the dialog's own event loop, so that a check that ends at once still ends the dialog.
    QTimer::singleShot(0, this, [this] { m_check.Start(); });
}

void CUpdateDialog::SetStatus(const QString &text)
{
    if (!text.isEmpty())
        m_strStatus = text;
    m_refreshTimer.start();
}

void CUpdateDialog::SetProgress(int percent)
{
    m_pProgress->setValue(qBound(0, percent, 100));
    m_refreshTimer.start();
}

QString CUpdateDialog::ShownStatus() const
{
    return m_pStatus->text();
}

int CUpdateDialog::Progress() const
{
    return m_pProgress->value();
}

void CUpdateDialog::Tell(const QString &text)
{
    CurrentPrompt().ShowMessage(this, text, PromptButtons::Ok, true);
}

bool CUpdateDialog::Ask(const QString &text)
{
    return CurrentPrompt().ShowMessage(this, text, PromptButtons::YesNo, true) == PromptAnswer::Yes;
}

void CUpdateDialog::CheckEnded()
{
    m_endTimer.start();
}

void CUpdateDialog::OnEndTimer()
{
    m_endTimer.stop();
    if (m_check.Downloaded())
        accept();
    else
        reject();
}

void CUpdateDialog::reject()
{
    m_check.Cancel();
    CSkinDialog::reject();
}

void CUpdateDialog::done(int result)
{
    m_endTimer.stop();
    m_refreshTimer.stop();
    CSkinDialog::done(result);
}
