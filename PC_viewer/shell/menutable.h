// Menu 128 of the main window, item by item in menu order, and its titles: what the main frame
// builds its five drop-down menus from. The commands behind the ids are the composition root's.
#pragma once

#include <cstddef>

// One item: a null caption is a separator; `submenu` names the drop-down inside the top-level menu
// the item belongs to.
struct tagMENUITEM {
    int menu; // 0 File, 1 Media Control, 2 Display Control, 3 Map(&M), 4 Help(&H)
    const char *submenu;
    int id;
    const char *caption;
};

constexpr int kMainMenuCount = 5;
// "File", "Media Control", "Display Control", "Map(&M)", "Help(&H)".
extern const char *const kMainMenuTitles[kMainMenuCount];
extern const tagMENUITEM kMainMenu[];
extern const std::size_t kMainMenuItems;
