// Shared skin resources.
#include "skin/global.h"

#include "skin/skinart.h"

#include <QGuiApplication>
#include <QScreen>

namespace {

CGlobal *g_instance = nullptr;

// Bitmap slot -> picture, in slot order.
constexpr int kBitmapResources[CGlobal::kBitmapCount] = {
    IDB_FRAME_TOP_LEFT,
    IDB_FRAME_TOP,
    IDB_FRAME_TOP_RIGHT,
    IDB_FRAME_LEFT,
    IDB_FRAME_BOTTOM_LEFT,
    IDB_FRAME_BOTTOM,
    IDB_FRAME_BOTTOM_RIGHT,
    IDB_FRAME_RIGHT,
    IDB_CAPTION_MIN,
    IDB_CAPTION_MAX,
    IDB_CAPTION_RESTORE,
    IDB_CAPTION_CLOSE,
    IDB_CAPTION_MIN_PRESSED,
    IDB_CAPTION_MAX_PRESSED,
    IDB_CAPTION_RESTORE_PRESSED,
    IDB_CAPTION_CLOSE_PRESSED,
    IDB_CAPTION_MIN_HOVER,
    IDB_CAPTION_MAX_HOVER,
    IDB_CAPTION_RESTORE_HOVER,
    IDB_CAPTION_CLOSE_HOVER,
    IDB_MENU_FILE,
    IDB_MENU_FILE_PRESSED,
    IDB_MENU_FILE_HOVER,
    IDB_MENU_MEDIA,
    IDB_MENU_MEDIA_PRESSED,
    IDB_MENU_MEDIA_HOVER,
    IDB_MENU_DISPLAY,
    IDB_MENU_DISPLAY_PRESSED,
    IDB_MENU_DISPLAY_HOVER,
    IDB_MENU_MAP,
    IDB_MENU_MAP_PRESSED,
    IDB_MENU_MAP_HOVER,
    IDB_MENU_HELP,
    IDB_MENU_HELP_PRESSED,
    IDB_MENU_HELP_HOVER,
};

constexpr int kIconResources[CGlobal::kIconRows] = {IDI_CAPTION_ACTIVE, IDI_CAPTION_INACTIVE};

} // namespace

CGlobal::CGlobal()
{
    m_colors.fill(QColor(0, 0, 0));
    if (!g_instance)
        g_instance = this;
}

CGlobal::~CGlobal()
{
    if (g_instance == this)
        g_instance = nullptr;
}

CGlobal *CGlobal::Instance()
{
    return g_instance;
}

bool CGlobal::LoadDefaults()
{
    const bool bitmaps = LoadBitmaps();
    const bool icons = LoadIcons();
    SetColor(kColorTransparentKey, QColor(0xFF, 0x00, 0xFF));
    SetColor(kColorClient, QColor(0xFF, 0xFF, 0xFF));
    SetColor(kColorDark, QColor(0x33, 0x33, 0x33));
    SetColor(kColorCaptionActive, QColor(0x00, 0x00, 0x00));
    SetColor(kColorCaptionInactive, QColor(0xB2, 0xB2, 0xB2));
    CreateSkinFont(0, QStringLiteral("Arial"), 8, false);
    CreateSkinFont(1, QStringLiteral("Arial"), 9, false);
    CreateSkinFont(2, QStringLiteral("Arial"), 11, true);
    return bitmaps && icons;
}

void CGlobal::SetColor(int index, const QColor &value)
{
    if (index < 0 || index >= kColorCount)
        return;
    m_colors[static_cast<size_t>(index)] = value;
}

QColor CGlobal::GetColor(int index) const
{
    if (index < 0 || index >= kColorCount)
        return QColor(0, 0, 0);
    return m_colors[static_cast<size_t>(index)];
}

bool CGlobal::CreateSkinFont(int index, const QString &face, int points, bool bold)
{
    if (index < 0 || index >= kFontCount || points <= 0)
        return false;
    QFont font(face);
    int pixels = points;
    if (const QScreen *screen = qGuiApp ? QGuiApplication::primaryScreen() : nullptr)
        pixels = qRound(points * screen->logicalDotsPerInchY() / 72.0);
    font.setPixelSize(qMax(1, pixels));
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    m_fonts[static_cast<size_t>(index)] = font;
    m_fontCreated[static_cast<size_t>(index)] = true;
    return true;
}

QFont CGlobal::GetFont(int index) const
{
    if (index < 0 || index >= kFontCount || !m_fontCreated[static_cast<size_t>(index)])
        return QFont();
    return m_fonts[static_cast<size_t>(index)];
}

bool CGlobal::LoadBitmaps()
{
    bool all = true;
    for (int i = 0; i < kBitmapCount; ++i) {
        m_bitmaps[static_cast<size_t>(i)] = LoadSkinBitmap(kBitmapResources[i]);
        all = all && !m_bitmaps[static_cast<size_t>(i)].isNull();
    }
    return all;
}

QPixmap CGlobal::GetBitmap(int index) const
{
    if (index < 0 || index >= kBitmapCount)
        return {};
    return m_bitmaps[static_cast<size_t>(index)];
}

QSize CGlobal::GetBitmapSize(int index) const
{
    const QPixmap picture = GetBitmap(index);
    if (picture.isNull())
        return QSize(0, 0);
    return picture.deviceIndependentSize().toSize();
}

bool CGlobal::LoadIcons()
{
    bool all = true;
    for (int row = 0; row < kIconRows; ++row) {
        const QPixmap icon = LoadSkinBitmap(kIconResources[row]);
        all = all && !icon.isNull();
        m_icons[static_cast<size_t>(row)].fill(icon);
    }
    return all;
}

QPixmap CGlobal::GetIcon(int row, int slot) const
{
    if (row < 0 || row >= kIconRows || slot < 0 || slot >= kIconSlots)
        return {};
    return m_icons[static_cast<size_t>(row)][static_cast<size_t>(slot)];
}

int CGlobal::BitmapResourceId(int index)
{
    if (index < 0 || index >= kBitmapCount)
        return 0;
    return kBitmapResources[index];
}

int CGlobal::GetWindowsClass()
{
#ifdef Q_OS_WIN
    // Qt 6 runs on Windows 10 and later only, all of them NT 6 or above.
    return 7;
#else
    return -1;
#endif
}
