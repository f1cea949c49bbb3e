// The main window's menu table.
#include "shell/menutable.h"

#include "skin/commandids.h"

const char *const kMainMenuTitles[kMainMenuCount] = {"File", "Media Control", "Display Control", "Map(&M)", "Help(&H)"};

const tagMENUITEM kMainMenu[] = {
    {0, nullptr, ID_FILE_SET_FOLDER, "Set Folder"},
    {0, nullptr, ID_FILE_ADD_GPS_TRACK, "Add GPS track..."},
    {0, nullptr, 0, nullptr},
    {0, nullptr, ID_FILE_CONFIG_BLACKBOX, "Config blackbox"},
    {0, nullptr, 0, nullptr},
    {0, nullptr, ID_FILE_PRINT, "Print(&P)...\tCtrl+P"},
    {0, nullptr, ID_FILE_PRINT_PREVIEW, "Print Priview(&V)"},
    {0, nullptr, ID_FILE_PRINT_SETUP, "Set Print(&R)..."},
    {0, nullptr, 0, nullptr},
    {0, nullptr, ID_APP_EXIT, "Exit(&X)"},

    {1, nullptr, ID_MEDIA_PLAY, "Play"},
    {1, nullptr, ID_MEDIA_REVERSE_PLAY, "Reverse Play"},
    {1, nullptr, 0, nullptr},
    {1, nullptr, ID_MEDIA_PAUSE, "Pause"},
    {1, nullptr, 0, nullptr},
    {1, "Speed", ID_SPEED_1X, "1x"},
    {1, "Speed", ID_SPEED_2X, "2x"},
    {1, "Speed", ID_SPEED_4X, "4x"},
    {1, "Speed", ID_SPEED_8X, "8x"},
    {1, "Speed", ID_SPEED_16X, "16x"},
    {1, "Speed", ID_SPEED_32X, "32x"},
    {1, nullptr, 0, nullptr},
    {1, nullptr, ID_MEDIA_FRAME_FORWARD, "Frame forward"},
    {1, nullptr, ID_MEDIA_FRAME_BACKWARD, "Frame backward"},
    {1, nullptr, 0, nullptr},
    {1, nullptr, ID_MEDIA_TO_BEGINNING, "To the beginning"},
    {1, nullptr, ID_MEDIA_TO_END, "To the end"},
    {1, nullptr, 0, nullptr},
    {1, nullptr, ID_MEDIA_CONTINUOUS_PLAY, "Continuous play"},
    {1, nullptr, 0, nullptr},
    {1, nullptr, ID_MEDIA_MARK_EXPORT_START, "Mark export start"},
    {1, nullptr, ID_MEDIA_MARK_EXPORT_END, "Mark export end"},
    {1, nullptr, ID_MEDIA_EXPORT_VIDEO, "Export video..."},
    {1, nullptr, ID_MEDIA_SAVE_EVIDENCE, "Save evidence package..."},

    {2, nullptr, ID_VIEW_SINGLE, "Single View"},
    {2, "Multiple View", ID_VIEW_X4, "x4"},
    {2, "Multiple View", ID_VIEW_X9, "x9"},
    {2, "Multiple View", ID_VIEW_X16, "x16"},
    {2, "Multiple View", ID_VIEW_X25, "x25"},
    {2, "Cameras", ID_VIEW_CHANNELS_PIP, "Picture in picture"},
    {2, "Cameras", ID_VIEW_CHANNELS_SIDE, "Side by side"},
    {2, "Cameras", ID_VIEW_CHANNELS_GRID, "Grid"},
    {2, "Cameras", ID_VIEW_PIP_TOP_LEFT, "Small pictures top left"},
    {2, "Cameras", ID_VIEW_PIP_TOP_RIGHT, "Small pictures top right"},
    {2, "Cameras", ID_VIEW_PIP_BOTTOM_LEFT, "Small pictures bottom left"},
    {2, "Cameras", ID_VIEW_PIP_BOTTOM_RIGHT, "Small pictures bottom right"},
    {2, "Cameras", ID_VIEW_MIRROR_REAR, "Mirror the rear camera"},
    {2, nullptr, 0, nullptr},
    {2, nullptr, ID_VIEW_SAVE_IMAGE, "Save image"},
    {2, nullptr, 0, nullptr},
    {2, nullptr, ID_VIEW_TELEMETRY_OVERLAY, "Telemetry overlay"},
    {2, nullptr, ID_VIEW_SPEED_CURVE, "Speed curve"},
    {2, nullptr, ID_VIEW_TRIP_TIMELINE, "Trip timeline..."},

    {3, nullptr, ID_MAP_GOOGLE_MAP, "Google Map"},
    {3, nullptr, 0, nullptr},
    {3, nullptr, ID_MAP_POSITION_ON, "Display position on"},
    {3, nullptr, ID_MAP_POSITION_OFF, "Display position off"},
    {3, nullptr, 0, nullptr},
    {3, nullptr, ID_MAP_CONVERT_EARTH, "Convert for google earth"},

    {4, nullptr, ID_APP_ABOUT, "Pellister Info(&A)..."},
    {4, nullptr, 0, nullptr},
    {4, nullptr, ID_APP_UPDATE, "Check for updates..."},
};

const std::size_t kMainMenuItems = sizeof kMainMenu / sizeof kMainMenu[0];
