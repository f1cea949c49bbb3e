// Skin picture table and SVG loader.
#include "skin/skinart.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPixmapCache>
#include <QSvgRenderer>

// Resources compiled into a static library have to be registered by name, and only from
// the global namespace.
static void EnsureSkinResources()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(skin);
        return true;
    }();
    (void)registered;
}

namespace {

struct tagSKINPICTURE {
    int id;
    const char *name; // file name under :/skin/, without ".svg"
};

const tagSKINPICTURE kPictures[] = {
    {IDB_FRAME_TOP_LEFT, "frame-top-left"},
    {IDB_FRAME_TOP, "frame-top"},
    {IDB_FRAME_TOP_RIGHT, "frame-top-right"},
    {IDB_FRAME_LEFT, "frame-left"},
    {IDB_FRAME_BOTTOM_LEFT, "frame-bottom-left"},
    {IDB_FRAME_BOTTOM, "frame-bottom"},
    {IDB_FRAME_BOTTOM_RIGHT, "frame-bottom-right"},
    {IDB_FRAME_RIGHT, "frame-right"},
    {IDB_CAPTION_MIN, "caption-minimise-normal"},
    {IDB_CAPTION_MAX, "caption-maximise-normal"},
    {IDB_CAPTION_RESTORE, "caption-restore-normal"},
    {IDB_CAPTION_CLOSE, "caption-close-normal"},
    {IDB_CAPTION_MIN_PRESSED, "caption-minimise-pressed"},
    {IDB_CAPTION_MAX_PRESSED, "caption-maximise-pressed"},
    {IDB_CAPTION_RESTORE_PRESSED, "caption-restore-pressed"},
    {IDB_CAPTION_CLOSE_PRESSED, "caption-close-pressed"},
    {IDB_CAPTION_MIN_HOVER, "caption-minimise-hover"},
    {IDB_CAPTION_MAX_HOVER, "caption-maximise-hover"},
    {IDB_CAPTION_RESTORE_HOVER, "caption-restore-hover"},
    {IDB_CAPTION_CLOSE_HOVER, "caption-close-hover"},
    {IDB_MENU_FILE, "menu-file-normal"},
    {IDB_MENU_FILE_PRESSED, "menu-file-pressed"},
    {IDB_MENU_FILE_HOVER, "menu-file-hover"},
    {IDB_MENU_MEDIA, "menu-media-normal"},
    {IDB_MENU_MEDIA_PRESSED, "menu-media-pressed"},
    {IDB_MENU_MEDIA_HOVER, "menu-media-hover"},
    {IDB_MENU_DISPLAY, "menu-display-normal"},
    {IDB_MENU_DISPLAY_PRESSED, "menu-display-pressed"},
    {IDB_MENU_DISPLAY_HOVER, "menu-display-hover"},
    {IDB_MENU_MAP, "menu-map-normal"},
    {IDB_MENU_MAP_PRESSED, "menu-map-pressed"},
    {IDB_MENU_MAP_HOVER, "menu-map-hover"},
    {IDB_MENU_HELP, "menu-help-normal"},
    {IDB_MENU_HELP_PRESSED, "menu-help-pressed"},
    {IDB_MENU_HELP_HOVER, "menu-help-hover"},
    {IDB_LOGO, "logo"},
    {IDI_CAPTION_ACTIVE, "icon-active"},
    {IDI_CAPTION_INACTIVE, "icon-inactive"},
    {IDB_TO_BEGINNING_HOVER, "btn-to-beginning-hover"},
    {IDB_TO_BEGINNING, "btn-to-beginning"},
    {IDB_REVERSE_PLAY_HOVER, "btn-reverse-play-hover"},
    {IDB_REVERSE_PLAY, "btn-reverse-play"},
    {IDB_PAUSE_HOVER, "btn-pause-hover"},
    {IDB_PAUSE, "btn-pause"},
    {IDB_PLAY_HOVER, "btn-play-hover"},
    {IDB_PLAY, "btn-play"},
    {IDB_TO_END_HOVER, "btn-to-end-hover"},
    {IDB_TO_END, "btn-to-end"},
    {IDB_FRAME_FORWARD_HOVER, "btn-frame-forward-hover"},
    {IDB_FRAME_FORWARD, "btn-frame-forward"},
    {IDB_FRAME_BACKWARD_HOVER, "btn-frame-backward-hover"},
    {IDB_FRAME_BACKWARD, "btn-frame-backward"},
    {IDB_SINGLE_VIEW_HOVER, "btn-single-hover"},
    {IDB_SINGLE_VIEW, "btn-single"},
    {IDB_QUAD_VIEW_HOVER, "btn-quad-hover"},
    {IDB_QUAD_VIEW, "btn-quad"},
    {IDB_NONUPLE_VIEW_HOVER, "btn-nonuple-hover"},
    {IDB_NONUPLE_VIEW, "btn-nonuple"},
    {IDB_SIXTEEN_VIEW_HOVER, "btn-sixteen-hover"},
    {IDB_SIXTEEN_VIEW, "btn-sixteen"},
    {IDB_SAVE_IMAGE_HOVER, "btn-save-image-hover"},
    {IDB_SAVE_IMAGE, "btn-save-image"},
    {IDB_SPEAKER_ON, "btn-speaker-on"},
    {IDB_SPEAKER_OFF, "btn-speaker-off"},
    {IDB_SLIDER_CHANNEL, "slider-channel"},
    {IDB_SLIDER_CHANNEL_ACTIVE, "slider-channel-active"},
    {IDB_BAR_BACKGROUND, "bar-background"},
    {IDB_IDLE_BAND, "idle-band"},
    {IDB_IDLE_EMBLEM, "idle-emblem"},
    {IDB_IDLE_CORNER, "idle-corner"},
    {IDB_THUMBNAIL_DEFAULT, "thumbnail-default"},
};

QString PicturePath(int resourceId)
{
    for (const tagSKINPICTURE &p : kPictures) {
        if (p.id == resourceId)
            return QStringLiteral(":/skin/%1.svg").arg(QLatin1String(p.name));
    }
    return {};
}

} // namespace

QSize SkinBitmapSize(int resourceId)
{
    const QString path = PicturePath(resourceId);
    if (path.isEmpty())
        return {};
    EnsureSkinResources();
    QSvgRenderer renderer(path);
    return renderer.isValid() ? renderer.defaultSize() : QSize();
}

QPixmap LoadSkinBitmap(int resourceId)
{
    const QString path = PicturePath(resourceId);
    if (path.isEmpty())
        return {};
    EnsureSkinResources();

    // Rendering an SVG costs far more than a lookup, and the same pictures are asked for by
    // every window; the pixmap cache also frees them before the application goes away.
    const qreal ratio = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
    const QString key = QStringLiteral("pellister-skin:%1@%2").arg(resourceId).arg(ratio);
    QPixmap cached;
    if (QPixmapCache::find(key, &cached))
        return cached;

    QSvgRenderer renderer(path);
    if (!renderer.isValid())
        return {};
    const QSize size = renderer.defaultSize();
    QImage image(size * ratio, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(image.size())));
    }
    QPixmap picture = QPixmap::fromImage(image);
    picture.setDevicePixelRatio(ratio);
    QPixmapCache::insert(key, picture);
    return picture;
}

QPixmap ApplyColorKey(const QPixmap &picture, const QColor &key)
{
    if (picture.isNull() || !key.isValid())
        return picture;
    QImage image = picture.toImage().convertToFormat(QImage::Format_ARGB32);
    const QRgb keyRgb = key.rgb() & RGB_MASK;
    bool changed = false;
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(line[x]) == 255 && (line[x] & RGB_MASK) == keyRgb) {
                line[x] = 0;
                changed = true;
            }
        }
    }
    if (!changed)
        return picture;
    QPixmap keyed = QPixmap::fromImage(image);
    keyed.setDevicePixelRatio(picture.devicePixelRatio());
    return keyed;
}
