// CMainFrame: the viewer's main window. It holds the six panes the composition root made in three
// locked splitters and lays them out, owns the "Processing..." window, builds the menus from the
// menu table and keeps the one command table through which menus, accelerators, the play
// control bar, the panes and the tests run every command. What a command does is given to the
// table by the composition root; the frame knows no playback, no catalogue and no document.
#pragma once

#include "skin/skinframewnd.h"

#include <QElapsedTimer>
#include <QHash>
#include <QKeySequence>
#include <QList>

#include <functional>
#include <map>

class CAccelSensorGraphView;
class CContentListView;
class CMapView;
class CMediaPlayView;
class CMultiViewSplitter;
class CPlayControlView;
class CPrintView;
class CProgressViewer;
class QAction;
class QMenu;

class CMainFrame : public CSkinFrameWnd
{
    Q_OBJECT
public:
    // Fixed layout of the panes, in pixels.
    static constexpr int kMinWidth = 1024;
    static constexpr int kMinHeight = 768;
    static constexpr int kLeftColumnWidth = 373; // list and map column
    static constexpr int kMapHeight = 373;
    static constexpr int kControlBarHeight = 50;
    static constexpr int kGraphHeight = 180;
    static constexpr int kPaneMinimum = 10;
    static constexpr int kSplitterGap = 2;
    // The progress bar is repainted at most this often (a screen refresh).
    static constexpr int kProgressPaintIntervalMs = 16;

    explicit CMainFrame(QWidget *parent = nullptr);
    ~CMainFrame() override;

    // --- Panes --------------------------------------------------------------------------------
    // The six panes, placed once into the splitters: on the left the list above the map and the
    // report pane (no area of its own), on the right the video above the control bar and the
    // graph. The frame takes them as children.
    struct tagPANES {
        CContentListView *list;
        CMapView *map;
        CPrintView *print;
        CMediaPlayView *play;
        CPlayControlView *controlBar;
        CAccelSensorGraphView *graph;
    };
    void PlacePanes(const tagPANES &panes);
    // Lays the panes out for the frame's size now (after a print run held the layout).
    void LayOutPanes();
    CContentListView *ListView() const { return m_panes.list; }
    CMapView *MapView() const { return m_panes.map; }
    CPrintView *PrintView() const { return m_panes.print; }
    CMediaPlayView *PlayView() const { return m_panes.play; }
    CPlayControlView *ControlBar() const { return m_panes.controlBar; }
    CAccelSensorGraphView *GraphView() const { return m_panes.graph; }
    CMultiViewSplitter *OuterSplitter() const { return m_outer; }
    CMultiViewSplitter *LeftSplitter() const { return m_left; }
    CMultiViewSplitter *RightSplitter() const { return m_right; }
    int LayoutReady() const { return m_layoutReady; }

    // --- Command table ------------------------------------------------------------------------
    using RunFn = std::function<void()>;
    using StateFn = std::function<bool()>;
    // Command `id` runs `run` while `enabled` says so (empty: always) and shows a check mark while
    // `checked` says so (empty: never; the menu item is then not checkable).
    void AddCommand(int id, RunFn run, StateFn enabled = {}, StateFn checked = {});
    // Runs command `id` when the table has it and it is enabled now; false otherwise.
    bool Command(int id);
    bool IsCommandEnabled(int id) const;
    bool IsCommandChecked(int id) const;
    bool HasCommand(int id) const { return m_commands.count(id) != 0; }
    // The five drop-down menus and the accelerators, from the menu table (after the commands).
    void CreateMenus();
    // Brings the menu items' enabled and checked marks up to date (also done when a menu opens).
    void UpdateCommandUi();
    // The menu item of a command, or null for the commands without one.
    QAction *Action(int id) const { return m_actions.value(id, nullptr); }
    // The five drop-down menus in title order: File, Media Control, Display Control, Map, Help.
    const QList<QMenu *> &MenuPopups() const { return m_menus; }
    // The command an accelerator key runs, 0 when none.
    int AcceleratorCommand(const QKeySequence &key) const { return m_accelerators.value(key, 0); }

    // --- The "Processing..." window -----------------------------------------------------------
    // Every position set is also announced by ProgressChanged.
    void ShowProgress();
    void SetProgress(int percent);
    void HideProgress();
    CProgressViewer *ProgressViewer() const { return m_progress; }

signals:
    void ProgressChanged(int percent);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void moveEvent(QMoveEvent *event) override;

private:
    struct tagCOMMAND {
        RunFn run;
        StateFn enabled; // empty: always enabled
        StateFn checked; // empty: never checked
    };

    void LayOutPanes(const QSize &client);

    int m_layoutReady = 0;
    int m_shownProgress = -1;
    QElapsedTimer m_progressPaint;
    CProgressViewer *m_progress = nullptr;
    CMultiViewSplitter *m_outer = nullptr;
    CMultiViewSplitter *m_left = nullptr;
    CMultiViewSplitter *m_right = nullptr;
    tagPANES m_panes{};

    std::map<int, tagCOMMAND> m_commands;
    QHash<int, QAction *> m_actions;
    QList<QMenu *> m_menus;
    QHash<QKeySequence, int> m_accelerators;
};
