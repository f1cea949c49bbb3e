// Base of the main frame: a frameless top-level window that draws its own skinned frame,
// caption buttons and the five bitmap menu titles, each of which opens its drop-down menu.
#pragma once

#include "skin/skincaption.h"

#include <QList>
#include <QWidget>

class QMenu;
class QVBoxLayout;

class CSkinFrameWnd : public QWidget
{
    Q_OBJECT

public:
    explicit CSkinFrameWnd(QWidget *parent = nullptr);

    // The widget that fills the client area (inside the skin's borders).
    void SetClientWidget(QWidget *client);
    QWidget *ClientWidget() const { return m_pClient; }

    // The drop-down menus behind the five menu titles, in title order (File, Media
    // Control, Display Control, Map, Help). The frame does not take ownership.
    void SetMenuPopups(const QList<QMenu *> &popups);
    QMenu *MenuPopup(int index) const { return m_pCaption->MenuPopup(index); }

    CSkinCaption &Caption() { return *m_pCaption; }
    const CSkinCaption &Caption() const { return *m_pCaption; }

protected:
    void keyPressEvent(QKeyEvent *event) override;
#ifdef Q_OS_WIN
    bool nativeEvent(const QByteArray &eventType, void *message, qintptr *result) override;
#endif

private:
    CSkinCaption *m_pCaption;
    QVBoxLayout *m_pLayout;
    QWidget *m_pClient = nullptr;
};
