// The shared skin resources: colours, fonts, pictures and caption icons that every skinned
// window and control reads. One instance lives for the whole run, created by the
// application after QApplication and filled once at start-up.
#pragma once

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QSize>
#include <QString>

#include <array>

class CGlobal
{
public:
    static constexpr int kColorCount = 5;
    static constexpr int kFontCount = 3;
    static constexpr int kBitmapCount = 35;
    static constexpr int kIconRows = 2;
    static constexpr int kIconSlots = 3;

    // Colour slots.
    static constexpr int kColorTransparentKey = 0; // RGB(255, 0, 255)
    static constexpr int kColorClient = 1;         // client background, button brush
    static constexpr int kColorDark = 2;           // RGB(51, 51, 51)
    static constexpr int kColorCaptionActive = 3;
    static constexpr int kColorCaptionInactive = 4;

    // Bitmap slots (see the table in global.cpp for the pictures behind them).
    static constexpr int kBitmapFrameTopLeft = 0;
    static constexpr int kBitmapFrameTop = 1;
    static constexpr int kBitmapFrameTopRight = 2;
    static constexpr int kBitmapFrameLeft = 3;
    static constexpr int kBitmapFrameBottomLeft = 4;
    static constexpr int kBitmapFrameBottom = 5;
    static constexpr int kBitmapFrameBottomRight = 6;
    static constexpr int kBitmapFrameRight = 7;
    static constexpr int kBitmapMinimise = 8;
    static constexpr int kBitmapMaximise = 9;
    static constexpr int kBitmapRestore = 10;
    static constexpr int kBitmapClose = 11;
    static constexpr int kBitmapMinimisePressed = 12;
    static constexpr int kBitmapMaximisePressed = 13;
    static constexpr int kBitmapRestorePressed = 14;
    static constexpr int kBitmapClosePressed = 15;
    static constexpr int kBitmapMinimiseHover = 16;
    static constexpr int kBitmapMaximiseHover = 17;
    static constexpr int kBitmapRestoreHover = 18;
    static constexpr int kBitmapCloseHover = 19;
    static constexpr int kBitmapMenuTitle = 20; // title i: 20 + 3i normal, +1 pressed, +2 hover

    // Icon rows: the caption icon of an active and of an inactive window.
    static constexpr int kIconRowActive = 0;
    static constexpr int kIconRowInactive = 1;

    // The first object created becomes the instance that the windows read; further ones
    // are plain objects (tests use them).
    CGlobal();
    ~CGlobal();
    CGlobal(const CGlobal &) = delete;
    CGlobal &operator=(const CGlobal &) = delete;

    // The instance the application created, or null before it exists (skinned windows made
    // without one simply draw no skin).
    static CGlobal *Instance();

    // Everything start-up puts in the slots: the pictures, the icons, the five colours and
    // the three "Arial" fonts. Returns false when a picture is missing.
    bool LoadDefaults();

    // Index 5 or more (or negative) is ignored; reading it gives black (0).
    void SetColor(int index, const QColor &value);
    QColor GetColor(int index) const;

    // Creates (or replaces) font slot 0 to 2 from face, size in points and weight. The pixel
    // height is points x the screen's vertical dots per inch / 72; without a screen the
    // point size is taken as the pixel height. Other indexes are refused (false).
    bool CreateSkinFont(int index, const QString &face, int points, bool bold);
    QFont GetFont(int index) const;

    // Loads the 35 picture slots; false when one of them has no picture.
    bool LoadBitmaps();
    QPixmap GetBitmap(int index) const;
    QSize GetBitmapSize(int index) const;

    // Loads both icon rows (each row's three slots hold the same picture).
    bool LoadIcons();
    QPixmap GetIcon(int row, int slot) const;

    // The resource id behind a bitmap slot, 0 outside 0 to 34.
    static int BitmapResourceId(int index);

    // Operating-system class of the old platform numbering: 7 for Windows NT 6 and later,
    // -1 where there is no such version (every other system). Windows with class 7 keep
    // their maximised frames 7 pixels inside the screen edge, all others 4.
    static int GetWindowsClass();

private:
    std::array<QColor, kColorCount> m_colors;
    std::array<QFont, kFontCount> m_fonts;
    std::array<bool, kFontCount> m_fontCreated{};
    std::array<QPixmap, kBitmapCount> m_bitmaps;
    std::array<std::array<QPixmap, kIconSlots>, kIconRows> m_icons;
};
