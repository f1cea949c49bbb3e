// Skinned main-frame base.
#include "skin/skinframewnd.h"

#include <QKeyEvent>
#include <QMenu>
#include <QVBoxLayout>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

const char *const kMenuStyle =
    "QMenu { background: #1b1f25; color: #d8dee5; border: 1px solid #3a414b; padding: 4px 0px; }"
    "QMenu::item { padding: 4px 28px 4px 24px; }"
    "QMenu::item:selected { background: #1f74ad; color: #f4f7fa; }"
    "QMenu::item:disabled { color: #5d6570; }"
    "QMenu::separator { height: 1px; background: #2d333c; margin: 4px 8px; }";

} // namespace

CSkinFrameWnd::CSkinFrameWnd(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint),
      m_pCaption(new CSkinCaption(this, CSkinCaption::Kind::Frame)), m_pLayout(new QVBoxLayout(this))
{
    m_pCaption->SetCaptionButtons(true, true);
    m_pCaption->SetResizable(true);
    m_pLayout->setContentsMargins(0, 0, 0, 0);
    m_pLayout->setSpacing(0);
}

void CSkinFrameWnd::SetClientWidget(QWidget *client)
{
    if (m_pClient) {
        m_pLayout->removeWidget(m_pClient);
        m_pClient->hide();
    }
    m_pClient = client;
    if (client)
        m_pLayout->addWidget(client);
}

void CSkinFrameWnd::SetMenuPopups(const QList<QMenu *> &popups)
{
    // The drop-downs hang from the skinned caption, so they wear the skin too (unless their
    // owner styled them); their submenus inherit the style.
    for (QMenu *menu : popups) {
        if (menu && menu->styleSheet().isEmpty())
            menu->setStyleSheet(QString::fromLatin1(kMenuStyle));
    }
    m_pCaption->SetMenuPopups(popups);
}

void CSkinFrameWnd::keyPressEvent(QKeyEvent *event)
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
bool CSkinFrameWnd::nativeEvent(const QByteArray &eventType, void *message, qintptr *result)
{
    // On Windows the system turns Alt+F4 into a close request before Qt sees the key.
    const MSG *msg = static_cast<const MSG *>(message);
    if (msg->message == WM_SYSKEYDOWN && msg->wParam == VK_F4) {
        *result = 0;
        return true;
    }
    return QWidget::nativeEvent(eventType, message, result);
}
#endif
