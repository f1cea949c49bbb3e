// The part that CSkinFrameWnd and CSkinDialog share: it paints the frame, caption icon,
// caption buttons, menu titles and caption text of a frameless window, runs the caption
// buttons and menu titles with the mouse, moves the window by its caption, resizes it by
// its borders and rounds its top corners.
//
// It watches its window through an event filter, so the window classes only add what
// differs between them (keys, menus, the client widget). All geometry is in window
// coordinates; a maximised window is painted as if it were `MaximisedInset()` pixels larger
// on every side, so that the outer pixels of its frame lie outside the screen's work area
// exactly as on the platform the skin was first drawn for.
#pragma once

#include <QColor>
#include <QFont>
#include <QList>
#include <QMargins>
#include <QObject>
#include <QPixmap>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QRegion>

#include <array>

class QMenu;
class QPainter;
class QWidget;

class CSkinCaption : public QObject
{
    Q_OBJECT

public:
    enum class Kind { Frame, Dialog };

    // Caption elements; the values are those of the pressed state.
    enum Element {
        ElementNone = 0,
        ElementMinimise = 1,
        ElementMaximise = 2,
        ElementMenuTitle = 4,
        ElementClose = 5,
    };

    enum ImageState { ImageNormal, ImageHover, ImagePressed };

    static constexpr int kMenuTitleCount = 5;
    static constexpr int kMenuTitleLeft = 200; // x of the first menu title
    static constexpr int kMenuTitleTop = 5;
    static constexpr int kCloseRightGap = 10;     // close button's distance to the right edge
    static constexpr int kCornerDiameter = 14;    // rounding of the two top corners
    static constexpr int kTranslucentAlpha = 176; // of 255, while a dialog is moved

    // Reads the skin from CGlobal::Instance() once, here; a window made without one gets
    // no frame at all.
    CSkinCaption(QWidget *window, Kind kind);

    void SetCaptionButtons(bool minimiseBox, bool maximiseBox);
    void SetResizable(bool resizable);
    bool IsResizable() const { return m_bResizable; }

    // The five drop-down menus of the frame, opened by the five menu titles, and from the
    // keyboard: F10, or Alt pressed and released alone, opens the first; Left and Right go to
    // the neighbouring title, Up and Down move in the menu, Enter runs, Escape closes it.
    void SetMenuPopups(const QList<QMenu *> &popups);
    QMenu *MenuPopup(int index) const;

    // State, for the windows and for tests.
    int PressedState() const { return m_nPressed; }
    int PressedMenuTitle() const { return m_nPressedMenu; }
    int OpenMenuTitle() const { return m_nOpenMenu; }
    ImageState ButtonImage(Element element) const;
    ImageState MenuTitleImage(int index) const;
    bool IsTranslucentMove() const { return m_bTranslucentMove; }
    bool IsOnSizingBorder() const { return m_bOnSizingBorder; }
    bool IsTrackingMouse() const { return m_bTracking; }
    int MaximisedInset() const { return m_nMaximisedInset; }

    // Rectangles in window coordinates; empty when the element is not shown.
    QRect ElementRect(Element element, int menuIndex = 0) const;
    Element HitTest(const QPoint &pos, int *menuIndex = nullptr) const;

    // Space the skin takes around the client area (the window's contents margins).
    QMargins ClientMargins() const;

    // The window region: the rectangle (x0, y0)-(r, b) with its two top corners rounded,
    // where r = width + 1, b = height + 1 and, for a maximised window, x0 = y0 = inset and
    // r, b reduced by the inset. `size` is the size of the window rectangle the old
    // platform would give the window (for a maximised one, larger than the screen).
    static QRegion SkinWindowRegion(const QSize &size, bool maximised, int inset);

    // The caption of a minimised window: the first four characters and "...".
    static QString MinimisedCaption(const QString &title);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    enum class Drag { None, Move, Resize };

    QRect FrameRect() const;
    bool IsMaximised() const;
    QPixmap ElementPixmap(Element element, int menuIndex) const;
    Qt::Edges BorderEdges(const QPoint &pos) const;
    void UpdateGeometryState();
    void ResetImages();
    void RepaintCaption();
    void Paint(QPainter &painter);
    void PaintFrame(QPainter &painter, const QRect &frame);
    void UpdateActivation();

    void OnMouseMove(const QPoint &pos, const QPoint &globalPos, Qt::MouseButtons buttons);
    bool OnLeftButtonDown(const QPoint &pos, const QPoint &globalPos);
    void OnLeftButtonUp(const QPoint &pos);
    void OnDoubleClick(const QPoint &pos);
    void OnNonClientLeave();
    void OpenMenu(int index, bool fromKeyboard = false);
    // Keys for the menu titles, seen before the window's focus widget takes them.
    bool OnApplicationKey(QObject *receiver, QEvent *event);
    void EndDrag();

    QWidget *m_pWindow;
    Kind m_kind;
    bool m_bMinimiseBox = false;
    bool m_bMaximiseBox = false;
    bool m_bResizable = false;
    int m_nMaximisedInset = 4;

    QColor m_clrClient;
    QColor m_clrTransparent;
    QColor m_clrCaptionText;
    QColor m_clrCaptionActive;
    QColor m_clrCaptionInactive;
    QPixmap m_iconActive;
    QPixmap m_iconInactive;
    QPixmap m_captionIcon;
    QPixmap m_logo;
    QFont m_captionFont;
    std::array<QPixmap, 35> m_bitmaps; // the CGlobal bitmap slots

    std::array<ImageState, 3> m_buttonImages{}; // minimise, maximise, close
    std::array<ImageState, kMenuTitleCount> m_menuImages{};
    QList<QPointer<QMenu>> m_menus;

    int m_nPressed = ElementNone;
    int m_nPressedMenu = -1;
    int m_nOpenMenu = -1;
    bool m_bTracking = false;
    bool m_bOnSizingBorder = false;
    bool m_bTranslucentMove = false;
    bool m_bCursorSet = false;
    bool m_bAltAlone = false; // Alt is down and nothing else happened since
    QObject *m_pKeyFilter = nullptr; // the application's filter for the menu keys

    Drag m_drag = Drag::None;
    Qt::Edges m_dragEdges;
    QPoint m_dragStartGlobal;
    QRect m_dragStartGeometry;
};
