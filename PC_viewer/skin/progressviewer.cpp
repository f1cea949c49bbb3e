// "Processing..." progress window.
#include "skin/progressviewer.h"

#include "skin/commandids.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QProgressBar>
#include <QVBoxLayout>
#include <QWindow>

namespace {

// 252 x 22 dialog units of the classic 8-point dialog font, in pixels.
constexpr int kClientWidth = 378;
constexpr int kClientHeight = 36;
// How long ShowProgress waits for the window system to put the window on screen.
constexpr int kExposeWaitMs = 250;

} // namespace

CProgressViewer::CProgressViewer(QWidget *parent)
    : CSkinDialog(kDialogId, parent), m_pProgress(new QProgressBar(this))
{
    setWindowTitle(QStringLiteral("Processing..."));
    setModal(false);
    // The work it shows goes on whatever the keys say.
    SetEscapeCloses(false);
    m_pProgress->setObjectName(QString::number(IDC_PROGRESS));
    m_pProgress->setRange(0, 100);
    m_pProgress->setValue(0);
    m_pProgress->setTextVisible(false);
    m_pProgress->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_pProgress->setStyleSheet(
        QStringLiteral("QProgressBar { background: #15181d; border: 1px solid #3a414b; }"
                       "QProgressBar::chunk { background: qlineargradient(x1:0, y1:0, x2:0, y2:1,"
                       " stop:0 #63c1f3, stop:1 #1f74ad); }"));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_pProgress);

    const QMargins m = contentsMargins();
    setFixedSize(kClientWidth + m.left() + m.right(), kClientHeight + m.top() + m.bottom());
}

void CProgressViewer::SetProgress(int position)
{
    const int clamped = qBound(0, position, 100);
    m_pProgress->setValue(clamped == 0 ? 1 : clamped);
    if (m_pPercent)
        m_pPercent->setText(QStringLiteral("%1 %").arg(clamped));
    if (isVisible()) {
        m_pProgress->repaint();
        if (m_pPercent)
            m_pPercent->repaint();
    }
}

void CProgressViewer::EnableCancel()
{
    if (m_pCancel)
        return;
    m_pPercent = new QLabel(QStringLiteral("0 %"), this);
    m_pPercent->setMinimumWidth(48);
    m_pPercent->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_pCancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_pCancel->setObjectName(QString::number(IDC_PROGRESS_CANCEL));
    connect(m_pCancel, &QPushButton::clicked, this, &CProgressViewer::RequestCancel);
    auto *row = new QHBoxLayout;
    row->setContentsMargins(8, 4, 8, 6);
    row->addWidget(m_pPercent);
    row->addStretch();
    row->addWidget(m_pCancel);
    static_cast<QVBoxLayout *>(layout())->addLayout(row);
    const QMargins m = contentsMargins();
    setFixedSize(kClientWidth + m.left() + m.right(),
                 kClientHeight + m_pCancel->sizeHint().height() + 10 + m.top() + m.bottom());
}

void CProgressViewer::RequestCancel()
{
    if (m_bCancelRequested)
        return;
    m_bCancelRequested = true;
    if (m_pCancel)
        m_pCancel->setEnabled(false);
    emit Cancelled();
}

void CProgressViewer::keyPressEvent(QKeyEvent *event)
{
    if (m_pCancel && event->key() == Qt::Key_Escape) {
        RequestCancel();
        return;
    }
    CSkinDialog::keyPressEvent(event);
}

void CProgressViewer::closeEvent(QCloseEvent *event)
{
    if (m_pCancel && isVisible()) {
        RequestCancel();
        event->ignore();
        return;
    }
    CSkinDialog::closeEvent(event);
}

int CProgressViewer::Position() const
{
    return m_pProgress->value();
}

void CProgressViewer::ShowProgress()
{
    if (QWidget *owner = parentWidget()) {
        const QRect area = owner->window()->geometry();
        move(area.center() - rect().center());
    }
    show();
    raise();
    // A window is painted only once the window system has mapped it; until then repaint()
    // draws nothing. Wait for that without running timers or user input, so nothing else of
    // the viewer runs in between.
    QWindow *handle = windowHandle();
    const QDeadlineTimer deadline(kExposeWaitMs);
    while (handle && !handle->isExposed() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                            QEventLoop::ExcludeSocketNotifiers | QEventLoop::X11ExcludeTimers,
                                        10);
    }
    m_pProgress->repaint();
}
