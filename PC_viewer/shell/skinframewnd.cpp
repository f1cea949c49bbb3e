// Skinned main-frame base.
#include "shell/skinframewnd.h"

#include <QKeyEvent>
#include <QVBoxLayout>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

CSkinFrameWnd::CSkinFrameWnd(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint),
      m_pCaption(new CSkinCaption(this, CSkinCaption::Kind::Frame)),
      m_pLayout(new QVBoxLayout(this))
{
    m_pCaption->SetCaptionButtons(true, true);
    m_pCaption->SetResizable(true);
    m_pLayout->setContentsMargins(0, 0, 0, 0);
    m_pLayout->setSpacing(0);
}

void CSkinFrameWnd::SetClientWidget(QWidget* client)
{
    if (m_pClient) {
        m_pLayout->removeWidget(m_pClient);
        m_pClient->hide();
    }
    m_pClient = client;
    if (client)
        m_pLayout->addWidget(client);
}

void CSkinFrameWnd::SetMenuPopups(const QList<QMenu*>& popups)
{
    m_pCaption->SetMenuPopups(popups);
}

void CSkinFrameWnd::keyPressEvent(QKeyEvent* event)
{
    // Escape and Alt+F4 never close the main frame; it is closed by its close button or
    // "Exit".
    const bool altF4 = event->key() == Qt::Key_F4 && (event->modifiers() & Qt::AltModifier);
    if (event->key() == Qt::Key_Escape || altF4) {
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

#ifdef Q_OS_WIN
bool CSkinFrameWnd::nativeEvent(const QByteArray& eventType, void* message, qintptr* result)
{
    // On Windows the system turns Alt+F4 into a close request before Qt sees the key.
    const MSG* msg = static_cast<const MSG*>(message);
    if (msg->message == WM_SYSKEYDOWN && msg->wParam == VK_F4) {
        *result = 0;
        return true;
    }
    return QWidget::nativeEvent(eventType, message, result);
}
#endif
