// Resource ids of the skin pictures and the loader that renders them. The pictures are our
// own SVG drawings (PC_viewer/res/skin), each drawn at the pixel size the windows lay out
// with; loading renders the SVG at exactly that size.
#pragma once

#include <QColor>
#include <QPixmap>
#include <QSize>
#include <QString>

// Window frame (CGlobal bitmap slots 0 to 7).
constexpr int IDB_FRAME_TOP_LEFT = 167;
constexpr int IDB_FRAME_TOP = 166;
constexpr int IDB_FRAME_TOP_RIGHT = 168;
constexpr int IDB_FRAME_LEFT = 170;
constexpr int IDB_FRAME_BOTTOM_LEFT = 173;
constexpr int IDB_FRAME_BOTTOM = 169;
constexpr int IDB_FRAME_BOTTOM_RIGHT = 172;
constexpr int IDB_FRAME_RIGHT = 171;

// Caption buttons (slots 8 to 19).
constexpr int IDB_CAPTION_MIN = 163;
constexpr int IDB_CAPTION_MAX = 157;
constexpr int IDB_CAPTION_RESTORE = 162;
constexpr int IDB_CAPTION_CLOSE = 154;
constexpr int IDB_CAPTION_MIN_PRESSED = 161;
constexpr int IDB_CAPTION_MAX_PRESSED = 158;
constexpr int IDB_CAPTION_RESTORE_PRESSED = 165;
constexpr int IDB_CAPTION_CLOSE_PRESSED = 155;
constexpr int IDB_CAPTION_MIN_HOVER = 160;
constexpr int IDB_CAPTION_MAX_HOVER = 159;
constexpr int IDB_CAPTION_RESTORE_HOVER = 174;
constexpr int IDB_CAPTION_CLOSE_HOVER = 156;

// Menu titles of the main frame (slots 20 to 34): normal, pressed, hover.
constexpr int IDB_MENU_FILE = 176, IDB_MENU_FILE_PRESSED = 189, IDB_MENU_FILE_HOVER = 190;
constexpr int IDB_MENU_MEDIA = 182, IDB_MENU_MEDIA_PRESSED = 187, IDB_MENU_MEDIA_HOVER = 188;
constexpr int IDB_MENU_DISPLAY = 183, IDB_MENU_DISPLAY_PRESSED = 177, IDB_MENU_DISPLAY_HOVER = 178;
constexpr int IDB_MENU_MAP = 184, IDB_MENU_MAP_PRESSED = 179, IDB_MENU_MAP_HOVER = 186;
constexpr int IDB_MENU_HELP = 185, IDB_MENU_HELP_PRESSED = 191, IDB_MENU_HELP_HOVER = 192;

constexpr int IDB_LOGO = 224;
constexpr int IDI_CAPTION_ACTIVE = 230;
constexpr int IDI_CAPTION_INACTIVE = 130;

// Play control bar: the hover picture of each button, then its normal picture.
constexpr int IDB_TO_BEGINNING_HOVER = 153, IDB_TO_BEGINNING = 215;
constexpr int IDB_REVERSE_PLAY_HOVER = 147, IDB_REVERSE_PLAY = 205;
constexpr int IDB_PAUSE_HOVER = 148, IDB_PAUSE = 206;
constexpr int IDB_PLAY_HOVER = 149, IDB_PLAY = 207;
constexpr int IDB_TO_END_HOVER = 152, IDB_TO_END = 210;
constexpr int IDB_FRAME_FORWARD_HOVER = 151, IDB_FRAME_FORWARD = 209;
constexpr int IDB_FRAME_BACKWARD_HOVER = 150, IDB_FRAME_BACKWARD = 208;
constexpr int IDB_SINGLE_VIEW_HOVER = 197, IDB_SINGLE_VIEW = 212;
constexpr int IDB_QUAD_VIEW_HOVER = 198, IDB_QUAD_VIEW = 214;
constexpr int IDB_NONUPLE_VIEW_HOVER = 199, IDB_NONUPLE_VIEW = 213;
constexpr int IDB_SIXTEEN_VIEW_HOVER = 200, IDB_SIXTEEN_VIEW = 211;
constexpr int IDB_SAVE_IMAGE_HOVER = 201, IDB_SAVE_IMAGE = 204;
constexpr int IDB_SPEAKER_ON = 222;
constexpr int IDB_SPEAKER_OFF = 223;
constexpr int IDB_SLIDER_CHANNEL = 180;
constexpr int IDB_SLIDER_CHANNEL_ACTIVE = 221;
constexpr int IDB_BAR_BACKGROUND = 216;

// Idle picture of the video pane: band stretched across the top, emblem in the middle,
// product name at the top left.
constexpr int IDB_IDLE_BAND = 217;
constexpr int IDB_IDLE_EMBLEM = 218;
constexpr int IDB_IDLE_CORNER = 219;

// Thumbnail of a clip whose first picture cannot be read (32 x 32).
constexpr int IDB_THUMBNAIL_DEFAULT = 220;

// Resource path of the drop-down arrow of the bar's speed list (for style sheets).
inline const char *const kSkinComboArrowPath = ":/skin/combo-arrow.svg";

// The picture of a resource id at its drawn size (and the screen's pixel ratio); a null
// pixmap for an id that has no picture.
QPixmap LoadSkinBitmap(int resourceId);

// The drawn size of a resource id in device-independent pixels; an empty size when the id
// has no picture.
QSize SkinBitmapSize(int resourceId);

// A copy of the picture in which every opaque pixel of exactly the key colour is
// transparent: the key colour the skinned controls are given keeps its meaning.
QPixmap ApplyColorKey(const QPixmap &picture, const QColor &key);
