// Developer tool: renders the skin to PNG files so that it can be looked at without a
// display. Not a test; built with the tests because it needs nothing else.
//
//   QT_QPA_PLATFORM=offscreen build/tests/shell/skin_demo [output folder]
//
// Writes frame.png (the main window skeleton with the menu titles and the control bar),
// frame-states.png (hover, pressed and an open menu), bar.png (the control bar at 2x),
// dialogs.png (the progress window and a skinned dialog) and sheet.png (every picture at 4x).
#include "playback/playcontrolview.h"
#include "skin/buttonst.h"
#include "skin/commandids.h"
#include "skin/global.h"
#include "skin/progressviewer.h"
#include "skin/skinart.h"
#include "skin/skindialog.h"
#include "skin/skinframewnd.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QSplitter>
#include <QTest>
#include <QVBoxLayout>

#include <cstdio>

namespace {

// The video pane's idle picture as the play view paints it: white, the band stretched to
// the width at its own height, the product name at the top left, the emblem centred.
class CIdlePane : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), Qt::white);
        const QPixmap band = LoadSkinBitmap(IDB_IDLE_BAND);
        p.drawPixmap(QRect(0, 0, width(), band.height()), band);
        p.drawPixmap(0, 0, LoadSkinBitmap(IDB_IDLE_CORNER));
        const QPixmap emblem = LoadSkinBitmap(IDB_IDLE_EMBLEM);
        p.drawPixmap((width() - emblem.width()) / 2, (height() - emblem.height()) / 2, emblem);
    }
};

// A placeholder pane with a caption, for the panes this tool does not build.
QWidget* Placeholder(const QString& text, const QColor& colour)
{
    auto* label = new QLabel(text);
    label->setAlignment(Qt::AlignCenter);
    label->setAutoFillBackground(true);
    QPalette pal = label->palette();
    pal.setColor(QPalette::Window, colour);
    pal.setColor(QPalette::WindowText, QColor(0x70, 0x78, 0x82));
    label->setPalette(pal);
    return label;
}

QWidget* BuildClient(CPlayControlView** bar, QSplitter** rightSplitter)
{
    auto* outer = new QSplitter(Qt::Horizontal);
    outer->setHandleWidth(2);
    auto* left = new QSplitter(Qt::Vertical);
    left->setHandleWidth(2);
    left->addWidget(Placeholder(QStringLiteral("recording list"), QColor(0xf4, 0xf6, 0xf8)));
    left->addWidget(Placeholder(QStringLiteral("map"), QColor(0xe9, 0xec, 0xef)));
    auto* right = new QSplitter(Qt::Vertical);
    right->setHandleWidth(2);
    *rightSplitter = right;
    right->addWidget(new CIdlePane);
    *bar = new CPlayControlView;
    right->addWidget(*bar);
    right->addWidget(Placeholder(QStringLiteral("G-sensor graph"), QColor(0xdc, 0xdf, 0xe3)));
    outer->addWidget(left);
    outer->addWidget(right);
    outer->setSizes({373, 1024 - 373});
    return outer;
}

QList<QMenu*> BuildMenus(QWidget* owner)
{
    QList<QMenu*> menus;
    auto add = [&](std::initializer_list<const char*> items) {
        auto* menu = new QMenu(owner);
        for (const char* item : items) {
            if (*item)
                menu->addAction(QString::fromLatin1(item));
            else
                menu->addSeparator();
        }
        menus.append(menu);
    };
    add({"Set Folder", "", "Config blackbox", "", "Print(&P)...\tCtrl+P", "Print Priview(&V)",
         "Set Print(&R)...", "", "Exit(&X)"});
    add({"Play", "Reverse Play", "", "Pause", "", "Frame forward", "Frame backward", "",
         "To the beginning", "To the end", "", "Continuous play"});
    QAction* continuous = menus.last()->actions().last();
    continuous->setCheckable(true);
    continuous->setChecked(true);
    menus.last()->actions().first()->setEnabled(false);
    add({"Single View", "", "Save image"});
    add({"Google Map", "", "Display position on", "Display position off", "",
         "Convert for google earth"});
    add({"Pellister Info(&A)..."});
    return menus;
}

void Save(const QPixmap& picture, const QString& path)
{
    if (!picture.save(path))
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    else
        std::printf("%s (%dx%d)\n", qPrintable(path), picture.width(), picture.height());
}

QPixmap Scaled(const QPixmap& picture, int factor)
{
    return picture.scaled(picture.size() * factor, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

QPixmap Sheet()
{
    struct tagITEM {
        int id;
        const char* name;
    };
    const tagITEM items[] = {
        {IDB_FRAME_TOP_LEFT, "167"}, {IDB_FRAME_TOP, "166"}, {IDB_FRAME_TOP_RIGHT, "168"},
        {IDB_FRAME_LEFT, "170"}, {IDB_FRAME_RIGHT, "171"}, {IDB_FRAME_BOTTOM, "169"},
        {IDB_FRAME_BOTTOM_LEFT, "173"}, {IDB_FRAME_BOTTOM_RIGHT, "172"},
        {IDB_CAPTION_MIN, "163"}, {IDB_CAPTION_MIN_HOVER, "160"}, {IDB_CAPTION_MIN_PRESSED, "161"},
        {IDB_CAPTION_MAX, "157"}, {IDB_CAPTION_MAX_HOVER, "159"}, {IDB_CAPTION_MAX_PRESSED, "158"},
        {IDB_CAPTION_RESTORE, "162"}, {IDB_CAPTION_RESTORE_HOVER, "174"},
        {IDB_CAPTION_RESTORE_PRESSED, "165"}, {IDB_CAPTION_CLOSE, "154"},
        {IDB_CAPTION_CLOSE_HOVER, "156"}, {IDB_CAPTION_CLOSE_PRESSED, "155"},
        {IDB_MENU_FILE, "176"}, {IDB_MENU_FILE_HOVER, "190"}, {IDB_MENU_FILE_PRESSED, "189"},
        {IDB_MENU_MEDIA, "182"}, {IDB_MENU_MEDIA_HOVER, "188"}, {IDB_MENU_MEDIA_PRESSED, "187"},
        {IDB_MENU_DISPLAY, "183"}, {IDB_MENU_DISPLAY_HOVER, "178"},
        {IDB_MENU_DISPLAY_PRESSED, "177"}, {IDB_MENU_MAP, "184"}, {IDB_MENU_MAP_HOVER, "186"},
        {IDB_MENU_MAP_PRESSED, "179"}, {IDB_MENU_HELP, "185"}, {IDB_MENU_HELP_HOVER, "192"},
        {IDB_MENU_HELP_PRESSED, "191"}, {IDB_LOGO, "224"}, {IDI_CAPTION_ACTIVE, "230"},
        {IDI_CAPTION_INACTIVE, "130"},
        {IDB_TO_BEGINNING, "215"}, {IDB_TO_BEGINNING_HOVER, "153"}, {IDB_REVERSE_PLAY, "205"},
        {IDB_REVERSE_PLAY_HOVER, "147"}, {IDB_PAUSE, "206"}, {IDB_PAUSE_HOVER, "148"},
        {IDB_PLAY, "207"}, {IDB_PLAY_HOVER, "149"}, {IDB_TO_END, "210"},
        {IDB_TO_END_HOVER, "152"}, {IDB_FRAME_BACKWARD, "208"}, {IDB_FRAME_BACKWARD_HOVER, "150"},
        {IDB_FRAME_FORWARD, "209"}, {IDB_FRAME_FORWARD_HOVER, "151"}, {IDB_SINGLE_VIEW, "212"},
        {IDB_SINGLE_VIEW_HOVER, "197"}, {IDB_QUAD_VIEW, "214"}, {IDB_QUAD_VIEW_HOVER, "198"},
        {IDB_NONUPLE_VIEW, "213"}, {IDB_NONUPLE_VIEW_HOVER, "199"}, {IDB_SIXTEEN_VIEW, "211"},
        {IDB_SIXTEEN_VIEW_HOVER, "200"}, {IDB_SAVE_IMAGE, "204"}, {IDB_SAVE_IMAGE_HOVER, "201"},
        {IDB_SPEAKER_ON, "222"}, {IDB_SPEAKER_OFF, "223"}, {IDB_SLIDER_CHANNEL, "180"},
        {IDB_SLIDER_CHANNEL_ACTIVE, "221"}, {IDB_THUMBNAIL_DEFAULT, "220"},
        {IDB_IDLE_CORNER, "219"}, {IDB_IDLE_EMBLEM, "218"},
    };
    constexpr int kScale = 4;
    constexpr int kWidth = 1400;
    QPixmap sheet(kWidth, 2000);
    sheet.fill(QColor(0x80, 0x88, 0x90));
    QPainter p(&sheet);
    int x = 10;
    int y = 10;
    int rowHeight = 0;
    for (const tagITEM& item : items) {
        const QPixmap picture = Scaled(LoadSkinBitmap(item.id), kScale);
        const int w = qMax(picture.width(), 40);
        if (x + w > kWidth - 10) {
            x = 10;
            y += rowHeight + 24;
            rowHeight = 0;
        }
        p.drawPixmap(x, y + 14, picture);
        p.setPen(Qt::white);
        p.drawText(x, y + 10, QString::fromLatin1(item.name));
        x += w + 14;
        rowHeight = qMax(rowHeight, picture.height() + 14);
    }
    p.end();
    return sheet.copy(0, 0, kWidth, y + rowHeight + 34);
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("skin-shots");
    QDir().mkpath(out);

    CGlobal global;
    if (!global.LoadDefaults())
        std::fprintf(stderr, "some skin pictures are missing\n");

    CSkinFrameWnd frame;
    frame.setWindowTitle(QStringLiteral("Pellister"));
    const QList<QMenu*> menus = BuildMenus(&frame);
    frame.SetMenuPopups(menus);
    CPlayControlView* bar = nullptr;
    QSplitter* right = nullptr;
    QWidget* client = BuildClient(&bar, &right);
    frame.SetClientWidget(client);
    frame.resize(1024, 768);
    frame.show();
    frame.activateWindow();
    (void)QTest::qWaitForWindowExposed(&frame);
    // The splitter rows of the right side as the main frame sets them.
    right->setSizes({client->height() - 230, 50, 180});
    QApplication::processEvents();
    Save(frame.grab(), out + QStringLiteral("/frame.png"));

    // Hover over the close button and a menu title, a pressed layout button.
    CSkinCaption& caption = frame.Caption();
    QTest::mouseMove(&frame, caption.ElementRect(CSkinCaption::ElementClose).center());
    QPixmap closeHover = frame.grab(QRect(frame.width() - 120, 0, 120, 40));
    QTest::mouseMove(&frame, caption.ElementRect(CSkinCaption::ElementMenuTitle, 2).center());
    QPixmap menuHover = frame.grab(QRect(0, 0, 520, 40));
    QTest::mousePress(&frame, Qt::LeftButton, {},
                      caption.ElementRect(CSkinCaption::ElementMenuTitle, 1).center());
    QTest::mouseRelease(&frame, Qt::LeftButton, {},
                        caption.ElementRect(CSkinCaption::ElementMenuTitle, 1).center());
    QApplication::processEvents();
    QPixmap menuOpen = frame.grab(QRect(0, 0, 520, 40));
    QPixmap popup = menus[1]->isVisible() ? menus[1]->grab() : QPixmap();
    menus[1]->hide();
    QTest::mouseMove(bar->Button(IDC_PLAY), bar->Button(IDC_PLAY)->rect().center());
    QPixmap barHover = Scaled(bar->grab(), 2);

    {
        QPixmap states(1100, 60 + 80 + menuOpen.height() + popup.height() + barHover.height());
        states.fill(QColor(0x55, 0x5b, 0x63));
        QPainter p(&states);
        p.drawPixmap(10, 10, Scaled(closeHover, 1));
        p.drawPixmap(150, 10, menuHover);
        p.drawPixmap(10, 60, menuOpen);
        if (!popup.isNull())
            p.drawPixmap(10 + caption.ElementRect(CSkinCaption::ElementMenuTitle, 1).left(),
                         60 + menuOpen.height(), popup);
        p.drawPixmap(0, states.height() - barHover.height(), barHover);
        p.end();
        Save(states, out + QStringLiteral("/frame-states.png"));
    }

    QTest::mouseMove(&frame, QPoint(frame.width() / 2, frame.height() / 2));
    Save(Scaled(bar->grab(), 2), out + QStringLiteral("/bar.png"));

    CProgressViewer progress(&frame);
    progress.ShowProgress();
    progress.SetProgress(45);
    CSkinDialog dialog(100, &frame);
    dialog.setWindowTitle(QStringLiteral("Pellister Info"));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(QStringLiteral("Pellister S/W Version : 1.000")));
    layout->addWidget(new QPushButton(QStringLiteral("OK")), 0, Qt::AlignRight);
    dialog.resize(320, 130);
    dialog.show();
    (void)QTest::qWaitForWindowExposed(&dialog);
    {
        const QPixmap a = progress.grab();
        const QPixmap b = dialog.grab();
        QPixmap both(qMax(a.width(), b.width()) + 20, a.height() + b.height() + 30);
        both.fill(QColor(0x80, 0x88, 0x90));
        QPainter p(&both);
        p.drawPixmap(10, 10, a);
        p.drawPixmap(10, 20 + a.height(), b);
        p.end();
        Save(Scaled(both, 2), out + QStringLiteral("/dialogs.png"));
    }

    Save(Sheet(), out + QStringLiteral("/sheet.png"));
    return 0;
}
