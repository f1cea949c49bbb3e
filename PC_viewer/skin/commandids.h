// Numeric ids of the viewer's commands and of the controls that raise them. Menus, the play
// control bar, the main frame's command table and the tests all use these names, so a
// button and its menu item can never drift apart.
#pragma once

// File menu.
constexpr int ID_FILE_SET_FOLDER = 32791;      // "Set Folder"
constexpr int ID_FILE_ADD_GPS_TRACK = 32945;   // "Add GPS track..."
constexpr int ID_FILE_EXPORT_SRT = 32970;      // "Export subtitles (SRT)..."
constexpr int ID_FILE_EXPORT_KML = 32971;      // "Export KML..."
constexpr int ID_FILE_CAMERA_CLOCK = 32972;    // "Camera clock..."
constexpr int ID_FILE_CONFIG_BLACKBOX = 32922; // "Config blackbox"
constexpr int ID_FILE_PRINT = 57607;           // "Print(&P)...\tCtrl+P"
constexpr int ID_FILE_PRINT_DIRECT = 57608;    // print without the dialog
constexpr int ID_FILE_PRINT_PREVIEW = 57609;   // "Print Priview(&V)"
constexpr int ID_FILE_PRINT_SETUP = 57606;     // "Set Print(&R)..."
constexpr int ID_APP_EXIT = 57665;             // "Exit(&X)"

// Media Control menu.
constexpr int ID_MEDIA_PLAY = 32787;            // "Play"
constexpr int ID_MEDIA_REVERSE_PLAY = 32788;    // "Reverse Play"
constexpr int ID_MEDIA_STOP = 32789;            // no menu item
constexpr int ID_MEDIA_PAUSE = 32790;           // "Pause"
constexpr int ID_MEDIA_FRAME_FORWARD = 32874;   // "Frame forward"
constexpr int ID_MEDIA_FRAME_BACKWARD = 32875;  // "Frame backward"
constexpr int ID_MEDIA_TO_BEGINNING = 32876;    // "To the beginning"
constexpr int ID_MEDIA_TO_END = 32877;          // "To the end"
constexpr int ID_MEDIA_CONTINUOUS_PLAY = 32878; // "Continuous play"
constexpr int ID_MEDIA_MARK_EXPORT_START = 32940; // "Mark export start"
constexpr int ID_MEDIA_MARK_EXPORT_END = 32941;   // "Mark export end"
constexpr int ID_MEDIA_EXPORT_VIDEO = 32942;      // "Export video..."
constexpr int ID_MEDIA_SAVE_EVIDENCE = 32943;     // "Save evidence package..."

// Media Control > Speed: six consecutive ids, speed index = id - ID_SPEED_1X.
constexpr int ID_SPEED_1X = 32887;
constexpr int ID_SPEED_2X = 32888;
constexpr int ID_SPEED_4X = 32889;
constexpr int ID_SPEED_8X = 32890;
constexpr int ID_SPEED_16X = 32891;
constexpr int ID_SPEED_32X = 32892;

// Display Control menu. The x9 and x16 ids are not in caption order.
constexpr int ID_VIEW_SINGLE = 32800;     // "Single View"
constexpr int ID_VIEW_X4 = 32801;         // "x4"
constexpr int ID_VIEW_X16 = 32802;        // "x16"
constexpr int ID_VIEW_X9 = 32803;         // "x9"
constexpr int ID_VIEW_X25 = 32804;        // "x25"
constexpr int ID_VIEW_SAVE_IMAGE = 32806; // "Save image"
constexpr int ID_VIEW_TELEMETRY_OVERLAY = 32944; // "Telemetry overlay"
constexpr int ID_VIEW_SPEED_CURVE = 32946;       // "Speed curve" (also in the graph pane's menu)
constexpr int ID_VIEW_TRIP_TIMELINE = 32947;     // "Trip timeline..." (the Trips window)
constexpr int ID_VIEW_MOMENT_NOTE = 32948;       // "Note on this moment...\tCtrl+N"
// Display Control > Cameras: how the channels of a recording are laid out, and the corner of the
// small pictures; consecutive ids.
constexpr int ID_VIEW_CHANNELS_PIP = 32950;    // "Picture in picture"
constexpr int ID_VIEW_CHANNELS_SIDE = 32951;   // "Side by side"
constexpr int ID_VIEW_CHANNELS_GRID = 32952;   // "Grid"
constexpr int ID_VIEW_PIP_TOP_LEFT = 32953;    // "Small pictures top left"
constexpr int ID_VIEW_PIP_TOP_RIGHT = 32954;   // "Small pictures top right"
constexpr int ID_VIEW_PIP_BOTTOM_LEFT = 32955; // "Small pictures bottom left"
constexpr int ID_VIEW_PIP_BOTTOM_RIGHT = 32956; // "Small pictures bottom right"
constexpr int ID_VIEW_MIRROR_REAR = 32960;      // "Mirror the rear camera"
// The picture's zoom and adjustments (Display Control > Zoom, and the video area's menu).
constexpr int ID_VIEW_ZOOM_IN = 32980;        // "Zoom in"
constexpr int ID_VIEW_ZOOM_OUT = 32981;       // "Zoom out"
constexpr int ID_VIEW_ZOOM_WHOLE = 32982;     // "Whole picture"
constexpr int ID_VIEW_ZOOM_NATIVE = 32983;    // "1:1"
constexpr int ID_VIEW_PICTURE_ADJUST = 32984; // "Picture adjustments..."

// Map(&M) menu.
constexpr int ID_MAP_GOOGLE_MAP = 32811;    // "Google Map"
constexpr int ID_MAP_CONVERT_EARTH = 32812; // "Convert for google earth"
constexpr int ID_MAP_POSITION_ON = 32816;   // "Display position on"
constexpr int ID_MAP_POSITION_OFF = 32817;  // "Display position off"

// Help(&H) menu, and the update command that has no menu item.
constexpr int ID_APP_ABOUT = 57664;  // "Pellister Info(&A)..."
constexpr int ID_APP_UPDATE = 32895; // update and restart

// Context menu of the video pane.
constexpr int ID_PLAY_VIEW_ORIGINAL = 32837; // "View original image"
constexpr int ID_PLAY_SINGLE_VIEW = 32856;   // "Single View"
constexpr int ID_PLAY_VIEW_4X = 32861;       // "4x"
constexpr int ID_PLAY_VIEW_9X = 32862;       // "9x"
constexpr int ID_PLAY_VIEW_16X = 32863;      // "16x"
constexpr int ID_PLAY_VIEW_25X = 32864;      // "25x"
constexpr int ID_PLAY_CHANNELS_PIP = 32957;  // "Picture in picture"
constexpr int ID_PLAY_CHANNELS_SIDE = 32958; // "Side by side"
constexpr int ID_PLAY_CHANNELS_GRID = 32959; // "Grid"
constexpr int ID_PLAY_SAVE_IMAGE = 32865;    // "Save image"
constexpr int ID_PLAY_MARK_EXPORT_START = 32866; // "Mark export start"
constexpr int ID_PLAY_MARK_EXPORT_END = 32867;   // "Mark export end"
constexpr int ID_PLAY_EXPORT_VIDEO = 32868;      // "Export video..."
constexpr int ID_PLAY_SAVE_EVIDENCE = 32869;     // "Save evidence package..."
constexpr int ID_PLAY_ZOOM_IN = 32985;           // "Zoom in"
constexpr int ID_PLAY_ZOOM_OUT = 32986;          // "Zoom out"
constexpr int ID_PLAY_ZOOM_WHOLE = 32987;        // "Whole picture"
constexpr int ID_PLAY_ZOOM_NATIVE = 32988;       // "1:1"
constexpr int ID_PLAY_PICTURE_ADJUST = 32989;    // "Picture adjustments..."

// Controls of the play control bar.
constexpr int IDC_TO_BEGINNING = 1001;
constexpr int IDC_TO_END = 1002;
constexpr int IDC_REVERSE_PLAY = 1005;
constexpr int IDC_PAUSE = 1006;
constexpr int IDC_PLAY = 1008;
constexpr int IDC_SPEED_LIST = 1014;
constexpr int IDC_FRAME_BACKWARD = 1015;
constexpr int IDC_FRAME_FORWARD = 1016;
constexpr int IDC_SINGLE_VIEW = 1020;
constexpr int IDC_QUAD_VIEW = 1021;
constexpr int IDC_NONUPLE_VIEW = 1022;
constexpr int IDC_SIXTEEN_VIEW = 1023;
constexpr int IDC_VOLUME_SLIDER = 1050;
constexpr int IDC_SAVE_IMAGE = 1054;
constexpr int IDC_SPEAKER_ON = 1056;
constexpr int IDC_SPEAKER_OFF = 1057;

// The bar of the "Processing..." window, and its Cancel button (shown for work that can stop).
constexpr int IDC_PROGRESS = 1013;
constexpr int IDC_PROGRESS_CANCEL = 1060;
