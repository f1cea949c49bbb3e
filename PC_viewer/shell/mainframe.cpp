// The main frame: the panes' layout, the menus, the command table and the progress window.
#include "shell/mainframe.h"

#include "playback/mediaplayview.h"
#include "playback/multiviewsplitter.h"
#include "playback/playcontrolview.h"
#include "shell/contentlistview.h"
#include "shell/menutable.h"
#include "skin/commandids.h"
#include "skin/progressviewer.h"
#include "telemetry/accelsensorgraphview.h"
#include "telemetry/mapview.h"
#include "telemetry/printview.h"

#include <QMenu>
#include <QResizeEvent>
#include <QShortcut>

namespace {

QString Text(const char *s)
{
    return QString::fromLatin1(s);
}

} // namespace

CMainFrame::CMainFrame(QWidget *parent) : CSkinFrameWnd(parent)
{
    setWindowTitle(QStringLiteral("Pellister"));
    setMinimumSize(kMinWidth, kMinHeight);
    resize(kMinWidth, kMinHeight);

    m_progress = new CProgressViewer(this);
    // Styled and given its window now, so the first long operation does not wait for that.
    m_progress->ensurePolished();
    m_progress->winId();
    m_progress->hide();

    m_outer = new CMultiViewSplitter(1, 2, this);
    m_left = new CMultiViewSplitter(3, 1, m_outer->widget(0));
    m_right = new CMultiViewSplitter(3, 1, m_outer->widget(1));
    m_outer->AddView(0, 0, m_left);
    m_outer->AddView(0, 1, m_right);
}

CMainFrame::~CMainFrame() = default;

void CMainFrame::PlacePanes(const tagPANES &panes)
{
    m_panes = panes;
    m_panes.map->setObjectName(QStringLiteral("MapView"));
    m_panes.print->setObjectName(QStringLiteral("PrintView"));
    m_panes.graph->setObjectName(QStringLiteral("AccelSensorGraphView"));
    m_left->AddView(0, 0, m_panes.list);
    m_left->AddView(1, 0, m_panes.map);
    m_left->AddView(2, 0, m_panes.print);
    // The report pane has no visible area; it only serves printing.
    m_left->widget(2)->hide();
    m_right->AddView(0, 0, m_panes.play);
    m_right->AddView(1, 0, m_panes.controlBar);
    m_right->AddView(2, 0, m_panes.graph);

    for (CMultiViewSplitter *s : {m_outer, m_left, m_right}) {
        s->SetGapAndBorder(kSplitterGap, kSplitterGap);
        s->SetCellMinimum(kPaneMinimum);
        s->Lock(true);
    }
    m_left->widget(2)->setMinimumHeight(0);

    SetClientWidget(m_outer);
    m_outer->installEventFilter(this);
    m_layoutReady = 1;
    LayOutPanes();
}

void CMainFrame::LayOutPanes()
{
    LayOutPanes(m_outer->size());
}

void CMainFrame::LayOutPanes(const QSize &client)
{
    if (!m_layoutReady)
        return;
    const int w = client.width();
    const int h = client.height();
    const int gap = kSplitterGap;
    m_outer->SetCellSizes({kLeftColumnWidth, std::max(kPaneMinimum, w - kLeftColumnWidth - gap)});
    m_left->SetCellSizes({std::max(kPaneMinimum, h - kMapHeight - gap), kMapHeight, 0});
    m_right->SetCellSizes({std::max(kPaneMinimum, h - kControlBarHeight - kGraphHeight - 2 * gap),
                           kControlBarHeight, kGraphHeight});
}

bool CMainFrame::eventFilter(QObject *watched, QEvent *event)
{
    // While a print run holds the layout (the preview window over the frame), resizes wait.
    if (watched == m_outer && event->type() == QEvent::Resize && m_layoutReady && !m_panes.print->IsPrinting()) {
        LayOutPanes(static_cast<QResizeEvent *>(event)->size());
        m_panes.play->RefreshVideo();
    }
    return CSkinFrameWnd::eventFilter(watched, event);
}

void CMainFrame::moveEvent(QMoveEvent *event)
{
    CSkinFrameWnd::moveEvent(event);
    if (m_panes.play)
        m_panes.play->RefreshVideo();
}

// --- Command table ------------------------------------------------------------------------------

void CMainFrame::AddCommand(int id, RunFn run, StateFn enabled, StateFn checked)
{
    m_commands[id] = {std::move(run), std::move(enabled), std::move(checked)};
}

bool CMainFrame::IsCommandEnabled(int id) const
{
    const auto it = m_commands.find(id);
    if (it == m_commands.end())
        return false;
    return !it->second.enabled || it->second.enabled();
}

bool CMainFrame::IsCommandChecked(int id) const
{
    const auto it = m_commands.find(id);
    return it != m_commands.end() && it->second.checked && it->second.checked();
}

bool CMainFrame::Command(int id)
{
    if (!IsCommandEnabled(id))
        return false;
    // Copied: a command may replace the table's entries while it runs.
    const RunFn run = m_commands.at(id).run;
    run();
    UpdateCommandUi();
    return true;
}

void CMainFrame::UpdateCommandUi()
{
    for (auto it = m_actions.cbegin(); it != m_actions.cend(); ++it) {
        it.value()->setEnabled(IsCommandEnabled(it.key()));
        if (it.value()->isCheckable())
            it.value()->setChecked(IsCommandChecked(it.key()));
    }
}

void CMainFrame::CreateMenus()
{
    for (const char *title : kMainMenuTitles) {
        auto *menu = new QMenu(Text(title), this);
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUi);
        m_menus.append(menu);
    }
    QHash<QString, QMenu *> submenus;
    for (std::size_t i = 0; i < kMainMenuItems; ++i) {
        const tagMENUITEM &item = kMainMenu[i];
        QMenu *menu = m_menus[item.menu];
        if (item.submenu) {
            const QString key = QString::number(item.menu) + QLatin1Char('/') + Text(item.submenu);
            QMenu *&sub = submenus[key];
            if (!sub) {
                sub = menu->addMenu(Text(item.submenu));
                connect(sub, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUi);
            }
            menu = sub;
        }
        if (!item.caption) {
            menu->addSeparator();
            continue;
        }
        QAction *action = menu->addAction(Text(item.caption));
        action->setData(item.id);
        const auto command = m_commands.find(item.id);
        action->setCheckable(command != m_commands.end() && command->second.checked != nullptr);
        const int id = item.id;
        connect(action, &QAction::triggered, this, [this, id] { Command(id); });
        m_actions.insert(id, action);
    }
    SetMenuPopups(m_menus);

    // Accelerator table 128: each key runs its command through the table, as its menu item does.
    const std::pair<QKeySequence, int> accelerators[] = {
        {QKeySequence(Qt::CTRL | Qt::Key_P), ID_FILE_PRINT},
        {QKeySequence(Qt::CTRL | Qt::Key_N), ID_VIEW_MOMENT_NOTE},
    };
    for (const auto &[key, id] : accelerators) {
        m_accelerators.insert(key, id);
        auto *shortcut = new QShortcut(key, this);
        connect(shortcut, &QShortcut::activated, this, [this, id = id] { Command(id); });
    }
    UpdateCommandUi();
}

// --- Progress -----------------------------------------------------------------------------------

void CMainFrame::ShowProgress()
{
    m_progress->ShowProgress();
}

void CMainFrame::SetProgress(int percent)
{
    // The folder load reports progress for every clip. The bar is repainted when the value
    // changes, but not more often than the screen can show it: on a large card those repaints
    // would otherwise cost a good part of the load itself.
    const bool due = !m_progressPaint.isValid() || m_progressPaint.elapsed() >= kProgressPaintIntervalMs;
    if (percent != m_shownProgress && (due || percent == 0 || percent == 100 || !m_progress->isVisible())) {
        m_progress->SetProgress(percent);
        m_shownProgress = percent;
        m_progressPaint.start();
    }
    emit ProgressChanged(percent);
}

void CMainFrame::HideProgress()
{
    m_progress->hide();
}
