// Frame painting and caption handling of the skinned windows.
#include "skin/skincaption.h"

#include "skin/global.h"
#include "skin/skinart.h"

#include <QAction>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWidget>
#include <QWindow>

#include <functional>

namespace {

// An event filter that hands every event to a function.
class CCallbackFilter : public QObject
{
public:
    CCallbackFilter(QObject *parent, std::function<bool(QObject *, QEvent *)> filter)
        : QObject(parent), m_filter(std::move(filter))
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override { return m_filter(watched, event); }

private:
    std::function<bool(QObject *, QEvent *)> m_filter;
};

} // namespace

namespace {

// Thickness of the resizing zone along the top of the caption band; the other three sides
// resize over their whole border width.
constexpr int kTopSizingZone = 5;
// Length of the diagonal resizing zones at the corners.
constexpr int kCornerGrip = 16;
// Smallest window the border can be dragged down to when the window sets no minimum.
constexpr int kSmallestWindow = 120;

QSize LogicalSize(const QPixmap &picture)
{
    return picture.isNull() ? QSize(0, 0) : picture.deviceIndependentSize().toSize();
}

bool IsWaylandSession()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

} // namespace

CSkinCaption::CSkinCaption(QWidget *window, Kind kind) : QObject(window), m_pWindow(window), m_kind(kind)
{
    m_pWindow->setWindowFlag(Qt::FramelessWindowHint, true);
    m_pWindow->setMouseTracking(true);
    m_nMaximisedInset = CGlobal::GetWindowsClass() == 7 ? 7 : 4;

    if (const CGlobal *global = CGlobal::Instance()) {
        for (int i = 0; i < CGlobal::kBitmapCount; ++i)
            m_bitmaps[static_cast<size_t>(i)] = global->GetBitmap(i);
        m_clrClient = global->GetColor(CGlobal::kColorClient);
        m_clrTransparent = global->GetColor(CGlobal::kColorTransparentKey);
        m_clrCaptionActive = global->GetColor(CGlobal::kColorCaptionActive);
        m_clrCaptionInactive = global->GetColor(CGlobal::kColorCaptionInactive);
        m_iconActive = global->GetIcon(CGlobal::kIconRowActive, 1);
        m_iconInactive = global->GetIcon(CGlobal::kIconRowInactive, 1);
        m_captionFont = global->GetFont(1);
        m_captionFont.setBold(true);
    } else {
        m_clrClient = QColor(255, 255, 255);
    }
    m_clrCaptionText = m_clrCaptionActive;
    m_captionIcon = m_iconActive;
    // The product logo is loaded here rather than kept in CGlobal: only the frame shows it.
    if (m_kind == Kind::Frame && CGlobal::Instance())
        m_logo = LoadSkinBitmap(IDB_LOGO);

    for (QObject *child : m_pWindow->children()) {
        if (child->isWidgetType())
            child->installEventFilter(this);
    }
    m_pWindow->installEventFilter(this);
    UpdateGeometryState();
}

void CSkinCaption::SetCaptionButtons(bool minimiseBox, bool maximiseBox)
{
    m_bMinimiseBox = minimiseBox;
    m_bMaximiseBox = maximiseBox;
    RepaintCaption();
}

void CSkinCaption::SetResizable(bool resizable)
{
    m_bResizable = resizable;
}

void CSkinCaption::SetMenuPopups(const QList<QMenu *> &popups)
{
    // The menu keys are taken from the application's events: the focus may lie deep inside the
    // window (or in the browser, which takes keys for itself).
    if (!popups.isEmpty() && qApp && !m_pKeyFilter) {
        m_pKeyFilter = new CCallbackFilter(this, [this](QObject *receiver, QEvent *event) {
            return OnApplicationKey(receiver, event);
        });
        qApp->installEventFilter(m_pKeyFilter);
    }
    m_menus.clear();
    for (QMenu *menu : popups) {
        m_menus.append(QPointer<QMenu>(menu));
        if (menu) {
            connect(menu, &QMenu::aboutToHide, this, [this, menu] {
                const int index = static_cast<int>(m_menus.indexOf(QPointer<QMenu>(menu)));
                if (index >= 0 && index == m_nOpenMenu) {
                    m_nOpenMenu = -1;
                    ResetImages();
                    RepaintCaption();
                }
            });
        }
    }
}

QMenu *CSkinCaption::MenuPopup(int index) const
{
    if (index < 0 || index >= m_menus.size())
        return nullptr;
    return m_menus.at(index).data();
}

CSkinCaption::ImageState CSkinCaption::ButtonImage(Element element) const
{
    switch (element) {
    case ElementMinimise: return m_buttonImages[0];
    case ElementMaximise: return m_buttonImages[1];
    case ElementClose: return m_buttonImages[2];
    default: return ImageNormal;
    }
}

CSkinCaption::ImageState CSkinCaption::MenuTitleImage(int index) const
{
    if (index < 0 || index >= kMenuTitleCount)
        return ImageNormal;
    return m_menuImages[static_cast<size_t>(index)];
}

// ---------------------------------------------------------------------------------------
// Geometry

bool CSkinCaption::IsMaximised() const
{
    return m_pWindow->isMaximized() && !m_pWindow->isMinimized();
}

QRect CSkinCaption::FrameRect() const
{
    const QRect r = m_pWindow->rect();
    if (!IsMaximised())
        return r;
    const int inset = m_nMaximisedInset;
    return r.adjusted(-inset, -inset, inset, inset);
}

QRect CSkinCaption::ElementRect(Element element, int menuIndex) const
{
    const QRect frame = FrameRect();
    const int top = frame.top() + (IsMaximised() ? m_nMaximisedInset : 0);
    const QSize closeSize = LogicalSize(m_bitmaps[CGlobal::kBitmapClose]);
    if (closeSize.isEmpty())
        return {};
    const QRect close(frame.left() + frame.width() - closeSize.width() - kCloseRightGap, top,
                      closeSize.width(), closeSize.height());
    QRect maximise;
    if (m_bMaximiseBox) {
        const QSize s = LogicalSize(m_bitmaps[CGlobal::kBitmapMaximise]);
        maximise = QRect(close.left() - s.width(), top, s.width(), s.height());
    }
    switch (element) {
    case ElementClose: return close;
    case ElementMaximise: return maximise;
    case ElementMinimise: {
        if (!m_bMinimiseBox)
            return {};
        const QSize s = LogicalSize(m_bitmaps[CGlobal::kBitmapMinimise]);
        const int right = m_bMaximiseBox ? maximise.left() : close.left();
        return QRect(right - s.width(), top, s.width(), s.height());
    }
    case ElementMenuTitle: {
        if (m_kind != Kind::Frame || menuIndex < 0 || menuIndex >= kMenuTitleCount)
            return {};
        int x = frame.left() + kMenuTitleLeft;
        for (int i = 0; i < menuIndex; ++i)
            x += LogicalSize(m_bitmaps[static_cast<size_t>(CGlobal::kBitmapMenuTitle + 3 * i)]).width();
        const QSize s =
            LogicalSize(m_bitmaps[static_cast<size_t>(CGlobal::kBitmapMenuTitle + 3 * menuIndex)]);
        return QRect(x, frame.top() + kMenuTitleTop, s.width(), s.height());
    }
    case ElementNone: break;
    }
    return {};
}

CSkinCaption::Element CSkinCaption::HitTest(const QPoint &pos, int *menuIndex) const
{
    if (menuIndex)
        *menuIndex = -1;
    for (Element e : {ElementClose, ElementMaximise, ElementMinimise}) {
        if (ElementRect(e).contains(pos))
            return e;
    }
    if (m_kind == Kind::Frame) {
        for (int i = 0; i < kMenuTitleCount; ++i) {
            if (ElementRect(ElementMenuTitle, i).contains(pos)) {
                if (menuIndex)
                    *menuIndex = i;
                return ElementMenuTitle;
            }
        }
    }
    return ElementNone;
}

QMargins CSkinCaption::ClientMargins() const
{
    const int off = IsMaximised() ? m_nMaximisedInset : 0;
    const int top = LogicalSize(m_bitmaps[CGlobal::kBitmapFrameTop]).height();
    const int left = LogicalSize(m_bitmaps[CGlobal::kBitmapFrameLeft]).width();
    const int right = LogicalSize(m_bitmaps[CGlobal::kBitmapFrameRight]).width();
    const int bottom = LogicalSize(m_bitmaps[CGlobal::kBitmapFrameBottom]).height();
    return QMargins(qMax(0, left - off), qMax(0, top - off), qMax(0, right - off), qMax(0, bottom - off));
}

QRegion CSkinCaption::SkinWindowRegion(const QSize &size, bool maximised, int inset)
{
    const int d = kCornerDiameter;
    int x0 = 0;
    int y0 = 0;
    int r = size.width() + 1;
    int b = size.height() + 1;
    if (maximised) {
        x0 = y0 = inset;
        r -= inset;
        b -= inset;
    }
    // Rectangles here run from their first pixel up to, not including, (right, bottom).
    auto span = [](int left, int top, int right, int bottom) {
        return QRect(left, top, qMax(0, right - left), qMax(0, bottom - top));
    };
    QRegion region(span(x0, y0, r, b));
    const QRegion topLeft =
        QRegion(span(x0, y0, d / 2, d / 2)) - QRegion(span(x0, y0, d, d), QRegion::Ellipse);
    const QRegion topRight =
        QRegion(span(r - d / 2, y0, r, d / 2)) - QRegion(span(r - d, y0, r, d), QRegion::Ellipse);
    region -= topLeft;
    region -= topRight;
    return region;
}

QString CSkinCaption::MinimisedCaption(const QString &title)
{
    return title.left(4) + QStringLiteral("...");
}

Qt::Edges CSkinCaption::BorderEdges(const QPoint &pos) const
{
    if (!m_bResizable || IsMaximised() || m_pWindow->isMinimized())
        return {};
    const QMargins m = ClientMargins();
    if (m.isNull())
        return {};
    const int w = m_pWindow->width();
    const int h = m_pWindow->height();
    bool left = pos.x() < m.left();
    bool right = pos.x() >= w - m.right();
    bool top = pos.y() < kTopSizingZone;
    bool bottom = pos.y() >= h - m.bottom();
    if (left || right) {
        top = top || pos.y() < kCornerGrip;
        bottom = bottom || pos.y() >= h - kCornerGrip;
    }
    if (top || bottom) {
        left = left || pos.x() < kCornerGrip;
        right = right || pos.x() >= w - kCornerGrip;
    }
    Qt::Edges edges;
    if (left)
        edges |= Qt::LeftEdge;
    if (right)
        edges |= Qt::RightEdge;
    if (top)
        edges |= Qt::TopEdge;
    if (bottom)
        edges |= Qt::BottomEdge;
    return edges;
}

void CSkinCaption::UpdateGeometryState()
{
    m_pWindow->setContentsMargins(ClientMargins());
    if (LogicalSize(m_bitmaps[CGlobal::kBitmapFrameTop]).isEmpty()) {
        m_pWindow->clearMask();
        return;
    }
    const QRect frame = FrameRect();
    QRegion region = SkinWindowRegion(frame.size(), IsMaximised(), m_nMaximisedInset);
    region.translate(frame.topLeft());
    m_pWindow->setMask(region);
}

// ---------------------------------------------------------------------------------------
// Painting

QPixmap CSkinCaption::ElementPixmap(Element element, int menuIndex) const
{
    const bool maximised = IsMaximised();
    const bool minimised = m_pWindow->isMinimized();
    int slot = -1;
    switch (element) {
    case ElementClose: {
        const ImageState s = m_buttonImages[2];
        slot = s == ImageHover     ? CGlobal::kBitmapCloseHover
               : s == ImagePressed ? CGlobal::kBitmapClosePressed
                                   : CGlobal::kBitmapClose;
        break;
    }
    case ElementMaximise: {
        const ImageState s = m_buttonImages[1];
        if (s == ImageHover)
            slot = maximised ? CGlobal::kBitmapRestoreHover : CGlobal::kBitmapMaximiseHover;
        else if (s == ImagePressed)
            slot = maximised ? CGlobal::kBitmapRestorePressed : CGlobal::kBitmapMaximisePressed;
        else
            slot = maximised ? CGlobal::kBitmapRestore : CGlobal::kBitmapMaximise;
        break;
    }
    case ElementMinimise: {
        const ImageState s = m_buttonImages[0];
        if (s == ImageHover)
            slot = minimised ? CGlobal::kBitmapRestoreHover : CGlobal::kBitmapMinimiseHover;
        else if (s == ImagePressed)
            slot = minimised ? CGlobal::kBitmapRestorePressed : CGlobal::kBitmapMinimisePressed;
        else
            slot = CGlobal::kBitmapMinimise;
        break;
    }
    case ElementMenuTitle: {
        if (menuIndex < 0 || menuIndex >= kMenuTitleCount)
            return {};
        const ImageState s = m_menuImages[static_cast<size_t>(menuIndex)];
        slot = CGlobal::kBitmapMenuTitle + 3 * menuIndex + (s == ImagePressed ? 1 : s == ImageHover ? 2 : 0);
        break;
    }
    case ElementNone: return {};
    }
    return m_bitmaps[static_cast<size_t>(slot)];
}

void CSkinCaption::PaintFrame(QPainter &p, const QRect &frame)
{
    auto bmp = [this](int slot) -> const QPixmap & { return m_bitmaps[static_cast<size_t>(slot)]; };
    auto size = [&](int slot) { return LogicalSize(bmp(slot)); };
    const QSize tl = size(CGlobal::kBitmapFrameTopLeft);
    const QSize top = size(CGlobal::kBitmapFrameTop);
    const QSize tr = size(CGlobal::kBitmapFrameTopRight);
    const QSize left = size(CGlobal::kBitmapFrameLeft);
    const QSize bl = size(CGlobal::kBitmapFrameBottomLeft);
    const QSize bottom = size(CGlobal::kBitmapFrameBottom);
    const QSize br = size(CGlobal::kBitmapFrameBottomRight);
    const QSize right = size(CGlobal::kBitmapFrameRight);
    const int w = frame.width();
    const int h = frame.height();

    p.save();
    p.translate(frame.topLeft());
    p.drawPixmap(QRect(QPoint(0, 0), tl), bmp(CGlobal::kBitmapFrameTopLeft));
    p.drawPixmap(QRect(tl.width(), 0, w - tl.width() - tr.width(), top.height()),
                 bmp(CGlobal::kBitmapFrameTop));
    p.drawPixmap(QRect(QPoint(w - tr.width(), 0), tr), bmp(CGlobal::kBitmapFrameTopRight));

    p.drawPixmap(QRect(0, tl.height(), left.width(), h - tl.height() - bl.height()),
                 bmp(CGlobal::kBitmapFrameLeft));
    p.drawPixmap(QRect(QPoint(0, h - bl.height()), bl), bmp(CGlobal::kBitmapFrameBottomLeft));
    p.drawPixmap(QRect(bl.width(), h - bottom.height(), w - bl.width() - br.width(), bottom.height()),
                 bmp(CGlobal::kBitmapFrameBottom));
    p.drawPixmap(QRect(w - right.width(), tr.height(), right.width(), h - tr.height() - br.height()),
                 bmp(CGlobal::kBitmapFrameRight));
    p.drawPixmap(QRect(QPoint(w - br.width(), h - br.height()), br), bmp(CGlobal::kBitmapFrameBottomRight));

    if (!m_captionIcon.isNull()) {
        const int side = m_pWindow->isMinimized() ? 16 : 24;
        p.setRenderHint(QPainter::SmoothPixmapTransform, side != 24);
        p.drawPixmap(QRect(15, 5, side, side), m_captionIcon);
        p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    }
    p.restore();
}

void CSkinCaption::Paint(QPainter &p)
{
    const QRect frame = FrameRect();
    p.fillRect(m_pWindow->contentsRect(), m_clrClient);
    if (LogicalSize(m_bitmaps[CGlobal::kBitmapFrameTop]).isEmpty())
        return;
    PaintFrame(p, frame);

    for (Element e : {ElementMinimise, ElementMaximise, ElementClose}) {
        const QRect r = ElementRect(e);
        if (!r.isEmpty())
            p.drawPixmap(r, ElementPixmap(e, 0));
    }
    if (m_kind == Kind::Frame) {
        for (int i = 0; i < kMenuTitleCount; ++i)
            p.drawPixmap(ElementRect(ElementMenuTitle, i), ElementPixmap(ElementMenuTitle, i));
    }

    const int topHeight = LogicalSize(m_bitmaps[CGlobal::kBitmapFrameTop]).height();
    p.setPen(m_clrCaptionText);
    p.setFont(m_captionFont);
    if (m_pWindow->isMinimized()) {
        p.drawText(QRect(frame.left() + 30, frame.top(), frame.width() - 30, topHeight),
                   Qt::AlignLeft | Qt::AlignVCenter, MinimisedCaption(m_pWindow->windowTitle()));
    } else if (m_kind == Kind::Frame) {
        if (!m_logo.isNull()) {
            const QSize s = LogicalSize(m_logo);
            p.drawPixmap(QRect(QPoint(frame.left() + 50, frame.top() + (topHeight - s.height()) / 2), s),
                         m_logo);
        }
    } else {
        // The title stops short of the leftmost caption button.
        int limit = frame.right();
        for (Element e : {ElementMinimise, ElementMaximise, ElementClose}) {
            const QRect r = ElementRect(e);
            if (!r.isEmpty())
                limit = qMin(limit, r.left() - 6);
        }
        const QRect textRect(frame.left() + 50, frame.top() + 10, qMax(0, limit - frame.left() - 50),
                             topHeight - 10);
        const QString text =
            p.fontMetrics().elidedText(m_pWindow->windowTitle(), Qt::ElideRight, textRect.width());
        p.drawText(textRect, Qt::AlignLeft | Qt::AlignTop, text);
    }
}

void CSkinCaption::RepaintCaption()
{
    const QRect frame = FrameRect();
    const int topHeight = qMax(1, LogicalSize(m_bitmaps[CGlobal::kBitmapFrameTop]).height());
    m_pWindow->update(QRect(frame.left(), frame.top(), frame.width(), topHeight));
}

void CSkinCaption::ResetImages()
{
    m_buttonImages.fill(ImageNormal);
    m_menuImages.fill(ImageNormal);
    // A title whose menu is still open keeps looking pressed until the menu closes.
    if (m_nOpenMenu >= 0 && m_nOpenMenu < kMenuTitleCount)
        m_menuImages[static_cast<size_t>(m_nOpenMenu)] = ImagePressed;
}

void CSkinCaption::UpdateActivation()
{
    const bool active = m_pWindow->isActiveWindow();
    m_clrCaptionText = active ? m_clrCaptionActive : m_clrCaptionInactive;
    m_captionIcon = active ? m_iconActive : m_iconInactive;
    RepaintCaption();
}

// ---------------------------------------------------------------------------------------
// Mouse

void CSkinCaption::OnMouseMove(const QPoint &pos, const QPoint &globalPos, Qt::MouseButtons)
{
    if (m_drag == Drag::Move) {
        m_pWindow->move(m_dragStartGeometry.topLeft() + (globalPos - m_dragStartGlobal));
        return;
    }
    if (m_drag == Drag::Resize) {
        const QPoint delta = globalPos - m_dragStartGlobal;
        QSize minimum = m_pWindow->minimumSize().expandedTo(QSize(kSmallestWindow, kSmallestWindow));
        if (m_pWindow->minimumSizeHint().isValid())
            minimum = minimum.expandedTo(m_pWindow->minimumSizeHint());
        const QSize maximum = m_pWindow->maximumSize();
        QRect g = m_dragStartGeometry;
        if (m_dragEdges & Qt::LeftEdge)
            g.setLeft(qBound(g.right() + 1 - maximum.width(), g.left() + delta.x(),
                             g.right() + 1 - minimum.width()));
        if (m_dragEdges & Qt::RightEdge)
            g.setWidth(qBound(minimum.width(), g.width() + delta.x(), maximum.width()));
        if (m_dragEdges & Qt::TopEdge)
            g.setTop(qBound(g.bottom() + 1 - maximum.height(), g.top() + delta.y(),
                            g.bottom() + 1 - minimum.height()));
        if (m_dragEdges & Qt::BottomEdge)
            g.setHeight(qBound(minimum.height(), g.height() + delta.y(), maximum.height()));
        m_pWindow->setGeometry(g);
        return;
    }

    m_bTracking = true; // Qt reports the leave without being asked
    if (m_nPressed == ElementNone) {
        const auto buttons = m_buttonImages;
        const auto menus = m_menuImages;
        ResetImages();
        int menuIndex = -1;
        switch (HitTest(pos, &menuIndex)) {
        case ElementMinimise: m_buttonImages[0] = ImageHover; break;
        case ElementMaximise: m_buttonImages[1] = ImageHover; break;
        case ElementClose: m_buttonImages[2] = ImageHover; break;
        case ElementMenuTitle:
            if (menuIndex != m_nOpenMenu)
                m_menuImages[static_cast<size_t>(menuIndex)] = ImageHover;
            break;
        case ElementNone: break;
        }
        if (buttons != m_buttonImages || menus != m_menuImages)
            RepaintCaption();
    }

    const Qt::Edges edges = BorderEdges(pos);
    m_bOnSizingBorder = edges != Qt::Edges();
    if (m_nPressed != ElementNone)
        return; // the cursor stays as it is while a caption element is held
    if (m_bOnSizingBorder) {
        Qt::CursorShape shape = Qt::SizeAllCursor;
        const bool horizontal = edges & (Qt::LeftEdge | Qt::RightEdge);
        const bool vertical = edges & (Qt::TopEdge | Qt::BottomEdge);
        if (horizontal && vertical) {
            const bool mainDiagonal = (edges & Qt::LeftEdge && edges & Qt::TopEdge) ||
                                      (edges & Qt::RightEdge && edges & Qt::BottomEdge);
            shape = mainDiagonal ? Qt::SizeFDiagCursor : Qt::SizeBDiagCursor;
        } else {
            shape = horizontal ? Qt::SizeHorCursor : Qt::SizeVerCursor;
        }
        m_pWindow->setCursor(shape);
        m_bCursorSet = true;
    } else if (m_bCursorSet) {
        m_pWindow->unsetCursor();
        m_bCursorSet = false;
    }
}

bool CSkinCaption::OnLeftButtonDown(const QPoint &pos, const QPoint &globalPos)
{
    int menuIndex = -1;
    const Element element = HitTest(pos, &menuIndex);
    if (element != ElementNone) {
        m_nPressed = element;
        m_nPressedMenu = menuIndex;
        ResetImages();
        if (element == ElementMenuTitle)
            m_menuImages[static_cast<size_t>(menuIndex)] = ImagePressed;
        else
            m_buttonImages[element == ElementMinimise   ? 0
                           : element == ElementMaximise ? 1
                                                        : 2] = ImagePressed;
        RepaintCaption();
        return true;
    }
    m_nPressed = ElementNone;
    m_nPressedMenu = -1;

    const Qt::Edges edges = BorderEdges(pos);
    const int topHeight = LogicalSize(m_bitmaps[CGlobal::kBitmapFrameTop]).height();
    const bool onCaption = pos.y() < FrameRect().top() + topHeight;
    if (edges == Qt::Edges() && (!onCaption || IsMaximised() || topHeight == 0))
        return false;

    if (IsWaylandSession() && m_pWindow->windowHandle()) {
        // Wayland lets only the compositor place windows.
        if (edges != Qt::Edges())
            m_pWindow->windowHandle()->startSystemResize(edges);
        else
            m_pWindow->windowHandle()->startSystemMove();
        return true;
    }
    m_dragStartGlobal = globalPos;
    m_dragStartGeometry = m_pWindow->geometry();
    if (edges != Qt::Edges()) {
        m_drag = Drag::Resize;
        m_dragEdges = edges;
        return true;
    }
    m_drag = Drag::Move;
    // Dialogs turn translucent while moved so that what lies under them stays visible.
    // The main frame keeps its opacity.
    if (m_kind == Kind::Dialog && !m_bTranslucentMove) {
        m_bTranslucentMove = true;
        m_pWindow->setWindowOpacity(kTranslucentAlpha / 255.0);
        m_pWindow->update();
    }
    return true;
}

void CSkinCaption::OnLeftButtonUp(const QPoint &pos)
{
    EndDrag();
    if (m_nPressed == ElementNone)
        return;
    const int pressed = m_nPressed;
    const int pressedMenu = m_nPressedMenu;
    m_nPressed = ElementNone;
    m_nPressedMenu = -1;

    int menuIndex = -1;
    const Element under = HitTest(pos, &menuIndex);
    const bool stillOver = under == pressed && (under != ElementMenuTitle || menuIndex == pressedMenu);
    ResetImages();
    if (stillOver) {
        switch (under) {
        case ElementMenuTitle: OpenMenu(pressedMenu); break;
        case ElementClose:
            // Queued: the window may delete itself when closed, and this runs inside its
            // own mouse event.
            QMetaObject::invokeMethod(m_pWindow, &QWidget::close, Qt::QueuedConnection);
            break;
        case ElementMaximise:
            if (m_pWindow->isMaximized())
                m_pWindow->showNormal();
            else
                m_pWindow->showMaximized();
            break;
        case ElementMinimise:
            if (m_pWindow->isMinimized())
                m_pWindow->showNormal();
            else
                m_pWindow->showMinimized();
            break;
        case ElementNone: break;
        }
    }
    RepaintCaption();
}

void CSkinCaption::OnDoubleClick(const QPoint &pos)
{
    const int topHeight = LogicalSize(m_bitmaps[CGlobal::kBitmapFrameTop]).height();
    if (!m_bMaximiseBox || topHeight == 0 || pos.y() >= FrameRect().top() + topHeight ||
        BorderEdges(pos) != Qt::Edges())
        return;
    EndDrag();
    if (m_pWindow->isMaximized())
        m_pWindow->showNormal();
    else
        m_pWindow->showMaximized();
}

void CSkinCaption::OnNonClientLeave()
{
    m_bTracking = false;
    m_bOnSizingBorder = false;
    if (m_nPressed != ElementNone)
        return;
    const auto buttons = m_buttonImages;
    const auto menus = m_menuImages;
    ResetImages();
    if (buttons != m_buttonImages || menus != m_menuImages)
        RepaintCaption();
    if (m_bCursorSet && m_drag == Drag::None) {
        m_pWindow->unsetCursor();
        m_bCursorSet = false;
    }
}

void CSkinCaption::OpenMenu(int index, bool fromKeyboard)
{
    QMenu *menu = MenuPopup(index);
    if (!menu)
        return;
    m_nOpenMenu = index;
    m_menuImages[static_cast<size_t>(index)] = ImagePressed;
    RepaintCaption();
    const QRect title = ElementRect(ElementMenuTitle, index);
    menu->popup(m_pWindow->mapToGlobal(QPoint(title.left(), title.bottom() + 1)));
    if (fromKeyboard) {
        // Opened by a key, the menu starts on its first command, so that Enter runs it.
        for (QAction *action : menu->actions()) {
            if (action->isVisible() && action->isEnabled() && !action->isSeparator()) {
                menu->setActiveAction(action);
                break;
            }
        }
    }
}

bool CSkinCaption::OnApplicationKey(QObject *receiver, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::MouseButtonPress || type == QEvent::FocusOut) {
        m_bAltAlone = false;
        return false;
    }
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease)
        return false;
    auto *key = static_cast<QKeyEvent *>(event);
    // The open menu: Left and Right go to the next title (Right only where no submenu opens).
    QMenu *open = MenuPopup(m_nOpenMenu);
    if (open && receiver == open && type == QEvent::KeyPress &&
        (key->key() == Qt::Key_Left || key->key() == Qt::Key_Right)) {
        const QAction *active = open->activeAction();
        if (key->key() == Qt::Key_Right && active && active->menu())
            return false;
        const int count = static_cast<int>(m_menus.size());
        int next = m_nOpenMenu;
        do {
            next = (next + (key->key() == Qt::Key_Right ? 1 : count - 1)) % count;
        } while (next != m_nOpenMenu && !MenuPopup(next));
        open->hide();
        OpenMenu(next, true);
        return true;
    }
    // F10 or a lone Alt, in this window while no menu or dialog is over it.
    const auto *widget = qobject_cast<QWidget *>(receiver);
    if (!widget || widget->window() != m_pWindow || !m_pWindow->isActiveWindow() || m_nOpenMenu >= 0) {
        m_bAltAlone = false;
        return false;
    }
    if (type == QEvent::KeyPress) {
        if (key->isAutoRepeat())
            return false;
        m_bAltAlone = key->key() == Qt::Key_Alt && (key->modifiers() & ~Qt::AltModifier) == Qt::NoModifier;
        if (key->key() == Qt::Key_F10 && key->modifiers() == Qt::NoModifier && MenuPopup(0)) {
            OpenMenu(0, true);
            return true;
        }
        return false;
    }
    if (key->key() == Qt::Key_Alt && m_bAltAlone && !key->isAutoRepeat()) {
        m_bAltAlone = false;
        OpenMenu(0, true);
        return true;
    }
    return false;
}

void CSkinCaption::EndDrag()
{
    m_drag = Drag::None;
    if (m_bTranslucentMove) {
        m_bTranslucentMove = false;
        m_pWindow->setWindowOpacity(1.0);
        m_pWindow->update();
    }
}

// ---------------------------------------------------------------------------------------

bool CSkinCaption::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_pWindow) {
        // The pointer went from the frame straight into the client area.
        if (event->type() == QEvent::Enter)
            OnNonClientLeave();
        return false;
    }

    switch (event->type()) {
    case QEvent::Paint: {
        QPainter painter(m_pWindow);
        painter.setClipRegion(static_cast<QPaintEvent *>(event)->region());
        Paint(painter);
        return false;
    }
    case QEvent::Resize:
    case QEvent::Show: UpdateGeometryState(); return false;
    case QEvent::WindowStateChange:
        EndDrag();
        m_nPressed = ElementNone;
        m_nPressedMenu = -1;
        ResetImages();
        UpdateGeometryState();
        m_pWindow->update();
        return false;
    case QEvent::Hide:
        EndDrag();
        m_nPressed = ElementNone;
        m_nPressedMenu = -1;
        ResetImages();
        return false;
    case QEvent::ActivationChange: UpdateActivation(); return false;
    case QEvent::WindowTitleChange: RepaintCaption(); return false;
    case QEvent::ChildAdded: {
        QObject *child = static_cast<QChildEvent *>(event)->child();
        if (child->isWidgetType())
            child->installEventFilter(this);
        return false;
    }
    case QEvent::ChildRemoved:
        static_cast<QChildEvent *>(event)->child()->removeEventFilter(this);
        return false;
    case QEvent::MouseMove: {
        auto *e = static_cast<QMouseEvent *>(event);
        OnMouseMove(e->position().toPoint(), e->globalPosition().toPoint(), e->buttons());
        return m_drag != Drag::None;
    }
    case QEvent::MouseButtonPress: {
        auto *e = static_cast<QMouseEvent *>(event);
        if (e->button() != Qt::LeftButton)
            return false;
        return OnLeftButtonDown(e->position().toPoint(), e->globalPosition().toPoint());
    }
    case QEvent::MouseButtonDblClick: {
        auto *e = static_cast<QMouseEvent *>(event);
        if (e->button() != Qt::LeftButton)
            return false;
        if (HitTest(e->position().toPoint()) != ElementNone)
            return OnLeftButtonDown(e->position().toPoint(), e->globalPosition().toPoint());
        OnDoubleClick(e->position().toPoint());
        return true;
    }
    case QEvent::MouseButtonRelease: {
        auto *e = static_cast<QMouseEvent *>(event);
        if (e->button() != Qt::LeftButton)
            return false;
        const bool handled = m_nPressed != ElementNone || m_drag != Drag::None;
        OnLeftButtonUp(e->position().toPoint());
        return handled;
    }
    case QEvent::Leave: OnNonClientLeave(); return false;
    default: return false;
    }
}
