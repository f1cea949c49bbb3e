// Shared skin resources: slot rules and the artwork the layouts depend on.
#include "skin/global.h"
#include "skin/skinart.h"

#include <QGuiApplication>
#include <QImage>
#include <QScreen>

#include <gtest/gtest.h>

namespace {

TEST(CGlobalTest, ColourSlotsIgnoreIndexesOutsideZeroToFour)
{
    CGlobal global;  // a private object: the registered one belongs to every other test
    for (int i = 0; i < CGlobal::kColorCount; ++i)
        global.SetColor(i, QColor(10 * i, 20, 30));
    for (int bad : {5, 6, 100, -1}) {
        global.SetColor(bad, QColor(200, 200, 200));
        EXPECT_EQ(global.GetColor(bad), QColor(0, 0, 0)) << "read of slot " << bad;
    }
    for (int i = 0; i < CGlobal::kColorCount; ++i)
        EXPECT_EQ(global.GetColor(i), QColor(10 * i, 20, 30)) << "slot " << i;
}

TEST(CGlobalTest, StartUpFillsTheFiveColoursAndThreeFonts)
{
    const CGlobal* global = CGlobal::Instance();
    ASSERT_NE(global, nullptr);
    const struct {
        int slot;
        QColor colour;
    } colours[] = {
        {0, QColor(255, 0, 255)}, {1, QColor(255, 255, 255)}, {2, QColor(51, 51, 51)},
        {3, QColor(0, 0, 0)},     {4, QColor(178, 178, 178)},
    };
    for (const auto& c : colours)
        EXPECT_EQ(global->GetColor(c.slot), c.colour) << "slot " << c.slot;

    const struct {
        int slot;
        int points;
        bool bold;
    } fonts[] = {{0, 8, false}, {1, 9, false}, {2, 11, true}};
    const double dpi = QGuiApplication::primaryScreen()->logicalDotsPerInchY();
    for (const auto& f : fonts) {
        const QFont font = global->GetFont(f.slot);
        EXPECT_EQ(font.family(), QStringLiteral("Arial")) << "slot " << f.slot;
        EXPECT_EQ(font.pixelSize(), qRound(f.points * dpi / 72.0)) << "slot " << f.slot;
        EXPECT_EQ(font.bold(), f.bold) << "slot " << f.slot;
    }
}

TEST(CGlobalTest, FontSlotsAboveTwoAreRefusedAndCreatingReplaces)
{
    CGlobal global;
    EXPECT_FALSE(global.CreateSkinFont(3, QStringLiteral("Arial"), 9, false));
    EXPECT_FALSE(global.CreateSkinFont(-1, QStringLiteral("Arial"), 9, false));
    ASSERT_TRUE(global.CreateSkinFont(1, QStringLiteral("Arial"), 9, false));
    ASSERT_TRUE(global.CreateSkinFont(1, QStringLiteral("Courier"), 20, true));
    EXPECT_EQ(global.GetFont(1).family(), QStringLiteral("Courier"));
    EXPECT_TRUE(global.GetFont(1).bold());
    EXPECT_GT(global.GetFont(1).pixelSize(), 20 - 1);
}

// The frame, caption buttons and menu titles are laid out from these sizes.
TEST(CGlobalTest, EveryBitmapSlotHasItsPictureAtTheLayoutSize)
{
    const struct {
        int slot;
        int resource;
        int width;
        int height;
    } expected[] = {
        {0, 167, 10, 30}, {1, 166, 1, 30},  {2, 168, 10, 30}, {3, 170, 8, 1},
        {4, 173, 8, 8},   {5, 169, 1, 8},   {6, 172, 8, 8},   {7, 171, 8, 1},
        {8, 163, 26, 18}, {9, 157, 26, 18}, {10, 162, 26, 18}, {11, 154, 26, 18},
        {12, 161, 26, 18}, {13, 158, 26, 18}, {14, 165, 26, 18}, {15, 155, 26, 18},
        {16, 160, 26, 18}, {17, 159, 26, 18}, {18, 174, 26, 18}, {19, 156, 26, 18},
        {20, 176, 48, 24}, {21, 189, 48, 24}, {22, 190, 48, 24},
        {23, 182, 48, 24}, {24, 187, 48, 24}, {25, 188, 48, 24},
        {26, 183, 68, 24}, {27, 177, 68, 24}, {28, 178, 68, 24},
        {29, 184, 48, 24}, {30, 179, 48, 24}, {31, 186, 48, 24},
        {32, 185, 48, 24}, {33, 191, 48, 24}, {34, 192, 48, 24},
    };
    const CGlobal* global = CGlobal::Instance();
    ASSERT_NE(global, nullptr);
    for (const auto& e : expected) {
        EXPECT_EQ(CGlobal::BitmapResourceId(e.slot), e.resource) << "slot " << e.slot;
        EXPECT_FALSE(global->GetBitmap(e.slot).isNull()) << "slot " << e.slot;
        EXPECT_EQ(global->GetBitmapSize(e.slot), QSize(e.width, e.height)) << "slot " << e.slot;
    }
    for (int bad : {-1, 35, 200}) {
        EXPECT_TRUE(global->GetBitmap(bad).isNull());
        EXPECT_EQ(global->GetBitmapSize(bad), QSize(0, 0));
        EXPECT_EQ(CGlobal::BitmapResourceId(bad), 0);
    }
}

TEST(CGlobalTest, IconRowsHoldTheActiveAndInactiveIcon)
{
    const CGlobal* global = CGlobal::Instance();
    ASSERT_NE(global, nullptr);
    for (int row = 0; row < CGlobal::kIconRows; ++row) {
        const QImage first = global->GetIcon(row, 0).toImage();
        ASSERT_FALSE(first.isNull());
        for (int slot = 1; slot < CGlobal::kIconSlots; ++slot)
            EXPECT_EQ(global->GetIcon(row, slot).toImage(), first) << row << "," << slot;
    }
    EXPECT_NE(global->GetIcon(0, 1).toImage(), global->GetIcon(1, 1).toImage());
    EXPECT_TRUE(global->GetIcon(2, 0).isNull());
    EXPECT_TRUE(global->GetIcon(0, 3).isNull());
    EXPECT_TRUE(global->GetIcon(-1, 1).isNull());
}

// The pictures of the other windows: each group has to fit the place its layout gives it.
TEST(SkinArtTest, ControlBarAndPanePicturesFitTheirLayout)
{
    const struct {
        int hover;
        int normal;  // 0: a button with one picture
        int maxHeight;
    } buttons[] = {
        // Transport and step buttons are centred in the 50-pixel bar.
        {IDB_TO_BEGINNING_HOVER, IDB_TO_BEGINNING, 50}, {IDB_REVERSE_PLAY_HOVER, IDB_REVERSE_PLAY, 50},
        {IDB_PAUSE_HOVER, IDB_PAUSE, 50}, {IDB_PLAY_HOVER, IDB_PLAY, 50},
        {IDB_TO_END_HOVER, IDB_TO_END, 50}, {IDB_FRAME_FORWARD_HOVER, IDB_FRAME_FORWARD, 50},
        {IDB_FRAME_BACKWARD_HOVER, IDB_FRAME_BACKWARD, 50}, {IDB_SAVE_IMAGE_HOVER, IDB_SAVE_IMAGE, 50},
        // Layout buttons stand two above each other.
        {IDB_SINGLE_VIEW_HOVER, IDB_SINGLE_VIEW, 25}, {IDB_QUAD_VIEW_HOVER, IDB_QUAD_VIEW, 25},
        {IDB_NONUPLE_VIEW_HOVER, IDB_NONUPLE_VIEW, 25}, {IDB_SIXTEEN_VIEW_HOVER, IDB_SIXTEEN_VIEW, 25},
        // The speaker sits below the 35-pixel volume slider.
        {IDB_SPEAKER_ON, 0, 50 - 35}, {IDB_SPEAKER_OFF, 0, 50 - 35},
    };
    for (const auto& b : buttons) {
        const QSize hover = SkinBitmapSize(b.hover);
        ASSERT_TRUE(hover.isValid() && !hover.isEmpty()) << b.hover;
        EXPECT_LE(hover.height(), b.maxHeight) << b.hover;
        if (b.normal != 0) {
            EXPECT_EQ(SkinBitmapSize(b.normal), hover) << b.normal;
        }
    }
    EXPECT_EQ(SkinBitmapSize(IDB_SPEAKER_ON), SkinBitmapSize(IDB_SPEAKER_OFF));
    // Both channel pictures are drawn at the slider's 14 x 35.
    EXPECT_EQ(SkinBitmapSize(IDB_SLIDER_CHANNEL), QSize(14, 35));
    EXPECT_EQ(SkinBitmapSize(IDB_SLIDER_CHANNEL_ACTIVE), QSize(14, 35));
    EXPECT_LE(SkinBitmapSize(IDB_SPEAKER_ON).width(), 14);
    EXPECT_EQ(SkinBitmapSize(IDB_BAR_BACKGROUND).height(), 50);
    EXPECT_EQ(SkinBitmapSize(IDB_LOGO), QSize(108, 24));
    EXPECT_EQ(SkinBitmapSize(IDI_CAPTION_ACTIVE), QSize(24, 24));
    EXPECT_EQ(SkinBitmapSize(IDI_CAPTION_INACTIVE), QSize(24, 24));
    EXPECT_EQ(SkinBitmapSize(IDB_THUMBNAIL_DEFAULT), QSize(32, 32));
    for (int idle : {IDB_IDLE_BAND, IDB_IDLE_EMBLEM, IDB_IDLE_CORNER})
        EXPECT_FALSE(SkinBitmapSize(idle).isEmpty()) << idle;
    EXPECT_TRUE(LoadSkinBitmap(12345).isNull());
    EXPECT_FALSE(SkinBitmapSize(12345).isValid());
}

// The controls key their pictures on magenta (buttons) and black (slider channel): an
// opaque pixel of either colour in a picture would be punched out.
TEST(SkinArtTest, NoPictureContainsAKeyColour)
{
    const int ids[] = {
        IDB_FRAME_TOP_LEFT, IDB_FRAME_TOP, IDB_FRAME_TOP_RIGHT, IDB_FRAME_LEFT, IDB_FRAME_BOTTOM_LEFT,
        IDB_FRAME_BOTTOM, IDB_FRAME_BOTTOM_RIGHT, IDB_FRAME_RIGHT, IDB_CAPTION_MIN, IDB_CAPTION_MAX,
        IDB_CAPTION_RESTORE, IDB_CAPTION_CLOSE, IDB_CAPTION_MIN_PRESSED, IDB_CAPTION_MAX_PRESSED,
        IDB_CAPTION_RESTORE_PRESSED, IDB_CAPTION_CLOSE_PRESSED, IDB_CAPTION_MIN_HOVER,
        IDB_CAPTION_MAX_HOVER, IDB_CAPTION_RESTORE_HOVER, IDB_CAPTION_CLOSE_HOVER, IDB_MENU_FILE,
        IDB_MENU_FILE_PRESSED, IDB_MENU_FILE_HOVER, IDB_MENU_MEDIA, IDB_MENU_MEDIA_PRESSED,
        IDB_MENU_MEDIA_HOVER, IDB_MENU_DISPLAY, IDB_MENU_DISPLAY_PRESSED, IDB_MENU_DISPLAY_HOVER,
        IDB_MENU_MAP, IDB_MENU_MAP_PRESSED, IDB_MENU_MAP_HOVER, IDB_MENU_HELP, IDB_MENU_HELP_PRESSED,
        IDB_MENU_HELP_HOVER, IDB_LOGO, IDI_CAPTION_ACTIVE, IDI_CAPTION_INACTIVE,
        IDB_TO_BEGINNING_HOVER, IDB_TO_BEGINNING, IDB_REVERSE_PLAY_HOVER, IDB_REVERSE_PLAY,
        IDB_PAUSE_HOVER, IDB_PAUSE, IDB_PLAY_HOVER, IDB_PLAY, IDB_TO_END_HOVER, IDB_TO_END,
        IDB_FRAME_FORWARD_HOVER, IDB_FRAME_FORWARD, IDB_FRAME_BACKWARD_HOVER, IDB_FRAME_BACKWARD,
        IDB_SINGLE_VIEW_HOVER, IDB_SINGLE_VIEW, IDB_QUAD_VIEW_HOVER, IDB_QUAD_VIEW,
        IDB_NONUPLE_VIEW_HOVER, IDB_NONUPLE_VIEW, IDB_SIXTEEN_VIEW_HOVER, IDB_SIXTEEN_VIEW,
        IDB_SAVE_IMAGE_HOVER, IDB_SAVE_IMAGE, IDB_SPEAKER_ON, IDB_SPEAKER_OFF, IDB_SLIDER_CHANNEL,
        IDB_SLIDER_CHANNEL_ACTIVE, IDB_BAR_BACKGROUND, IDB_IDLE_BAND, IDB_IDLE_EMBLEM,
        IDB_IDLE_CORNER, IDB_THUMBNAIL_DEFAULT,
    };
    for (int id : ids) {
        const QImage image = LoadSkinBitmap(id).toImage().convertToFormat(QImage::Format_ARGB32);
        ASSERT_FALSE(image.isNull()) << id;
        int keyed = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QRgb p = image.pixel(x, y);
                if (qAlpha(p) == 255 && ((p & RGB_MASK) == 0xFF00FF || (p & RGB_MASK) == 0))
                    ++keyed;
            }
        }
        EXPECT_EQ(keyed, 0) << "picture " << id;
    }
}

TEST(SkinArtTest, ColourKeyMakesExactlyTheKeyPixelsTransparent)
{
    QImage image(4, 1, QImage::Format_ARGB32);
    image.setPixel(0, 0, qRgb(255, 0, 255));
    image.setPixel(1, 0, qRgb(254, 0, 255));
    image.setPixel(2, 0, qRgba(255, 0, 255, 128));  // half transparent: not the key
    image.setPixel(3, 0, qRgb(0, 0, 0));
    const QImage keyed =
        ApplyColorKey(QPixmap::fromImage(image), QColor(255, 0, 255)).toImage().convertToFormat(
            QImage::Format_ARGB32);
    EXPECT_EQ(qAlpha(keyed.pixel(0, 0)), 0);
    EXPECT_EQ(keyed.pixel(1, 0), image.pixel(1, 0));
    EXPECT_EQ(qAlpha(keyed.pixel(2, 0)), 128);
    EXPECT_EQ(keyed.pixel(3, 0), image.pixel(3, 0));
}

}  // namespace
