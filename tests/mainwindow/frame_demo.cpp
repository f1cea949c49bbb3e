// Runs the main window on a recording folder under a real (virtual) display, walks through a few
// things a user does and saves a screenshot of each step, for looking at the window without
// sitting in front of it. Not a test. Usage (the folder is modified only by a copy into OUTDIR):
//
//   xvfb-run -a -s "-screen 0 1280x1024x24" frame_demo FOLDER OUTDIR
#include "catalogue/corvanadoc.h"
#include "playback/mediaplayview.h"
#include "shell/commandids.h"
#include "shell/contentlistview.h"
#include "shell/global.h"
#include "shell/mainframe.h"
#include "shell/prompt.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QThread>
#include <QTimer>

#include <clocale>
#include <cstdio>

namespace {

void Wait(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
}

QString g_outDir;
QRect g_area;

void Shot(const QString &name)
{
    QCoreApplication::processEvents();
    const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
    const QString path = g_outDir + QLatin1Char('/') + name;
    screen.copy(g_area).save(path);
    std::printf("%s\n", qPrintable(path));
}

// Real message boxes, photographed and then answered; folders come from the script.
class CDemoPrompt : public IPrompt
{
public:
    explicit CDemoPrompt(QString folder) : m_folder(std::move(folder)) {}
    QString nextShot;

    PromptAnswer ShowMessage(QWidget *parent, const QString &text, PromptButtons buttons, bool) override
    {
        QMessageBox box(
            QMessageBox::Information, QString::fromLatin1(kPromptCaption), text,
            buttons == PromptButtons::YesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok, parent);
        const QString shot = nextShot;
        nextShot.clear();
        QTimer::singleShot(700, &box, [&box, shot] {
            if (!shot.isEmpty())
                Shot(shot);
            box.done(QMessageBox::No);
        });
        box.exec();
        return PromptAnswer::No;
    }
    tagFOLDERCHOICE ChooseFolder(QWidget *, const QString &, const QString &) override
    {
        return {true, m_folder};
    }

private:
    QString m_folder;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    if (argc != 3) {
        std::fprintf(stderr, "usage: frame_demo FOLDER OUTDIR\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    g_outDir = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(g_outDir + QStringLiteral("/copy"));

    CGlobal skin;
    skin.LoadDefaults();
    CDemoPrompt prompt(g_outDir + QStringLiteral("/copy"));
    CPromptScope scope(prompt);

    CCorvanaDoc doc;
    CMainFrame frame(&doc);
    frame.move(0, 0);
    frame.show();
    Wait(500);
    g_area = frame.frameGeometry();
    Shot(QStringLiteral("01-empty.png"));

    frame.SetFolderAndLoad(folder);
    Wait(2500); // thumbnails fill in
    Shot(QStringLiteral("02-list.png"));

    frame.ListView()->Open(0);
    Wait(300);
    Shot(QStringLiteral("03-opened.png"));
    frame.Command(ID_MEDIA_PLAY);
    Wait(2500);
    Shot(QStringLiteral("04-playing.png"));
    frame.Command(ID_SPEED_4X);
    Wait(1500);
    Shot(QStringLiteral("05-playing-4x.png"));
    frame.Command(ID_MEDIA_PAUSE);

    QMenu *media = frame.MenuPopup(1);
    const QRect title = frame.Caption().ElementRect(CSkinCaption::ElementMenuTitle, 1);
    media->popup(frame.mapToGlobal(title.bottomLeft()));
    Wait(500);
    Shot(QStringLiteral("06-menu.png"));
    media->close();

    frame.ListView()->selectRow(1);
    prompt.nextShot = QStringLiteral("07-copy-message.png");
    frame.ListView()->Command(32906);
    prompt.nextShot = QStringLiteral("08-delete-question.png");
    frame.ListView()->Command(32907);
    Wait(300);
    return 0;
}
