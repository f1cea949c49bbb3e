// The main frame: its menus and command table, the checks and their messages, "Set Folder" and the
// load sequence, "Convert for google earth", the about text and the fixed pane layout.
#include "framefixture.h"

#include "catalogue/cameraclock.h"
#include "fixtures/testfiles.h"

#include "shell/aboutdlg.h"
#include "skin/commandids.h"
#include "playback/multiviewsplitter.h"
#include "playback/playcontrolview.h"
#include "skin/progressviewer.h"
#include "telemetry/printview.h"
#include "version.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QSettings>
#include <QTemporaryDir>

using namespace frametest;

namespace {

// The menus as the user reads them: one line per item, "caption #id", "-" for a separator,
// submenu items indented under "name >".
QStringList MenuOutline(const QMenu *menu, const QString &indent = QString())
{
    QStringList lines;
    for (QAction *action : menu->actions()) {
        if (action->isSeparator())
            lines << indent + QStringLiteral("-");
        else if (action->menu())
            lines << indent + action->text() + QStringLiteral(" >")
                  << MenuOutline(action->menu(), indent + QStringLiteral("  "));
        else
            lines << indent + action->text() + QStringLiteral(" #") + QString::number(action->data().toInt());
    }
    return lines;
}

const char *const kExpectedMenus[] = {
    "[File]",
    "Set Folder #32791",
    "Add GPS track... #32945",
    "Export subtitles (SRT)... #32970",
    "Export KML... #32971",
    "Camera clock... #32972",
    "-",
    "Config blackbox #32922",
    "-",
    "Print(&P)...\tCtrl+P #57607",
    "Print Priview(&V) #57609",
    "Set Print(&R)... #57606",
    "-",
    "Exit(&X) #57665",
    "[Media Control]",
    "Play #32787",
    "Reverse Play #32788",
    "-",
    "Pause #32790",
    "-",
    "Speed >",
    "  1x #32887",
    "  2x #32888",
    "  4x #32889",
    "  8x #32890",
    "  16x #32891",
    "  32x #32892",
    "-",
    "Frame forward #32874",
    "Frame backward #32875",
    "-",
    "To the beginning #32876",
    "To the end #32877",
    "-",
    "Continuous play #32878",
    "-",
    "Mark export start #32940",
    "Mark export end #32941",
    "Export video... #32942",
    "Save evidence package... #32943",
    "[Display Control]",
    "Single View #32800",
    "Multiple View >",
    "  x4 #32801",
    "  x9 #32803",
    "  x16 #32802",
    "  x25 #32804",
    "Cameras >",
    "  Picture in picture #32950",
    "  Side by side #32951",
    "  Grid #32952",
    "  Small pictures top left #32953",
    "  Small pictures top right #32954",
    "  Small pictures bottom left #32955",
    "  Small pictures bottom right #32956",
    "  Mirror the rear camera #32960",
    "-",
    "Save image #32806",
    "Zoom >",
    "  Zoom in\t+ #32980",
    "  Zoom out\t- #32981",
    "  Whole picture\t0 #32982",
    "  1:1 #32983",
    "Picture adjustments... #32984",
    "-",
    "Telemetry overlay #32944",
    "Speed curve #32946",
    "Trip timeline... #32947",
    "Note on this moment...\tCtrl+N #32948",
    "[Map(&M)]",
    "Google Map #32811",
    "-",
    "Display position on #32816",
    "Display position off #32817",
    "-",
    "Convert for google earth #32812",
    "[Help(&H)]",
    "Pellister Info(&A)... #57664",
    "-",
    "Check for updates... #32895",
};

} // namespace

TEST_F(FrameTest, MenusHoldEveryCaptionSeparatorAndIdInOrder)
{
    QStringList actual;
    for (const QMenu *menu : m_frame->MenuPopups())
        actual << QStringLiteral("[") + menu->title() + QStringLiteral("]") << MenuOutline(menu);
    QStringList expected;
    for (const char *line : kExpectedMenus)
        expected << QString::fromLatin1(line);
    EXPECT_EQ(actual.join(QLatin1Char('\n')).toStdString(), expected.join(QLatin1Char('\n')).toStdString());
    // The frame hands exactly these five drop-downs to its menu titles.
    ASSERT_EQ(m_frame->MenuPopups().size(), 5);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(m_frame->MenuPopup(i), m_frame->MenuPopups()[i]);
}

TEST_F(FrameTest, CommandsAreEnabledAtStartButTheSwitchedOn)
{
    struct Case {
        int id;
        bool enabled;
    };
    const Case cases[] = {
        {ID_FILE_SET_FOLDER, true},
        {ID_FILE_CONFIG_BLACKBOX, true},
        {ID_FILE_PRINT, true},
        {ID_FILE_PRINT_PREVIEW, true},
        {ID_FILE_PRINT_SETUP, true},
        {ID_APP_EXIT, true},
        {ID_MEDIA_PLAY, true},
        {ID_MEDIA_REVERSE_PLAY, true},
        {ID_MEDIA_PAUSE, true},
        {ID_SPEED_1X, true},
        {ID_SPEED_32X, true},
        {ID_MEDIA_FRAME_FORWARD, true},
        {ID_MEDIA_FRAME_BACKWARD, true},
        {ID_MEDIA_TO_BEGINNING, true},
        {ID_MEDIA_TO_END, true},
        {ID_MEDIA_CONTINUOUS_PLAY, true},
        {ID_VIEW_SINGLE, true},
        {ID_VIEW_X4, true},
        {ID_VIEW_X9, true},
        {ID_VIEW_X16, true},
        {ID_VIEW_X25, true},
        {ID_VIEW_SAVE_IMAGE, true},
        {ID_VIEW_TRIP_TIMELINE, true},
        {ID_VIEW_MOMENT_NOTE, true},
        {ID_MAP_GOOGLE_MAP, true},
        {ID_MAP_POSITION_ON, false},
        {ID_MAP_POSITION_OFF, true},
        {ID_MAP_CONVERT_EARTH, true},
        {ID_APP_ABOUT, true},
        {ID_MEDIA_STOP, true},
        {ID_APP_UPDATE, true},
    };
    m_frame->UpdateCommandUi();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.id);
        EXPECT_EQ(m_frame->IsCommandEnabled(c.id), c.enabled);
        if (QAction *action = m_frame->Action(c.id))
            EXPECT_EQ(action->isEnabled(), c.enabled);
        else
            EXPECT_EQ(c.id, ID_MEDIA_STOP) << "no menu item";
    }
    // A greyed command does nothing when run anyway.
    EXPECT_FALSE(m_frame->Command(ID_MAP_POSITION_ON));
    EXPECT_EQ(m_frame->AcceleratorCommand(QKeySequence(Qt::CTRL | Qt::Key_P)), ID_FILE_PRINT);
    EXPECT_TRUE(m_prompt.Messages().isEmpty());
}

TEST_F(FrameTest, PositionDisplayItemsAndContinuousPlayFollowTheirSwitches)
{
    EXPECT_EQ(m_frame->MapView()->PositionOn(), 1);
    ASSERT_TRUE(m_frame->Command(ID_MAP_POSITION_OFF));
    EXPECT_EQ(m_frame->MapView()->PositionOn(), 0);
    EXPECT_TRUE(m_frame->Action(ID_MAP_POSITION_ON)->isEnabled());
    EXPECT_FALSE(m_frame->Action(ID_MAP_POSITION_OFF)->isEnabled());
    EXPECT_FALSE(m_frame->Command(ID_MAP_POSITION_OFF)); // greyed now
    ASSERT_TRUE(m_frame->Command(ID_MAP_POSITION_ON));
    EXPECT_EQ(m_frame->MapView()->PositionOn(), 1);

    EXPECT_EQ(m_ctl->ContinuousPlay(), 0);
    EXPECT_FALSE(m_frame->Action(ID_MEDIA_CONTINUOUS_PLAY)->isChecked());
    m_frame->Command(ID_MEDIA_CONTINUOUS_PLAY);
    EXPECT_EQ(m_ctl->ContinuousPlay(), 1);
    EXPECT_TRUE(m_frame->Action(ID_MEDIA_CONTINUOUS_PLAY)->isChecked());
    m_frame->Command(ID_MEDIA_CONTINUOUS_PLAY);
    EXPECT_EQ(m_ctl->ContinuousPlay(), 0);
    EXPECT_FALSE(m_frame->Action(ID_MEDIA_CONTINUOUS_PLAY)->isChecked());
}

TEST_F(FrameTest, SpeedCurveFollowsItsItemInBothMenusInTheExportsUnitsAndIsRemembered)
{
    const QVariant units = QSettings().value(QStringLiteral("export/units"));
    CAccelSensorGraphView *graph = m_frame->GraphView();
    QAction *item = m_frame->Action(ID_VIEW_SPEED_CURVE);
    ASSERT_NE(item, nullptr);
    EXPECT_FALSE(graph->IsSpeedCurveOn()) << "off until switched on";
    EXPECT_FALSE(item->isChecked());

    QSettings().setValue(QStringLiteral("export/units"), QStringLiteral("mph"));
    ASSERT_TRUE(m_frame->Command(ID_VIEW_SPEED_CURVE));
    EXPECT_TRUE(graph->IsSpeedCurveOn());
    EXPECT_EQ(graph->SpeedCurveUnit(), SpeedUnit::Mph);
    EXPECT_TRUE(item->isChecked());

    // The graph's menu holds the same item; it opens over the text panel, while over the plot the
    // right button stays the magnifier's.
    for (const QPoint at : {QPoint(300, 100), QPoint(60, 100)}) {
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, graph->mapToGlobal(at));
        QApplication::sendEvent(graph, &event);
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        EXPECT_EQ(menu != nullptr, at.x() < 180) << at.x();
        if (menu) {
            EXPECT_TRUE(menu->actions().contains(item));
            menu->hide();
        }
    }

    {
        CCorvanaDoc doc;
        CCompositionRoot later(&doc);
        EXPECT_TRUE(later.Frame()->GraphView()->IsSpeedCurveOn()) << "remembered";
    }
    item->trigger();
    EXPECT_FALSE(graph->IsSpeedCurveOn());
    EXPECT_FALSE(QSettings().value(QStringLiteral("graph/speedCurve")).toBool());
    QSettings().setValue(QStringLiteral("export/units"), units);
}

TEST_F(FrameTest, GoogleMapPointsTheDocumentAtTheConfiguredServer)
{
    QSettings().setValue(QStringLiteral("server"), QStringLiteral("http://maps.example.test/base"));
    ASSERT_TRUE(m_frame->Command(ID_MAP_GOOGLE_MAP));
    EXPECT_EQ(m_frame->MapView()->MapPage().toStdString(),
              "http://maps.example.test/base/corvana_mapview/google_map_world.html");
    QSettings().remove(QStringLiteral("server"));
}

TEST_F(FrameTest, CommandsNeedingARecordingSayNothingIsLoaded)
{
    for (int id : {ID_VIEW_SINGLE, ID_MAP_CONVERT_EARTH, ID_FILE_PRINT, ID_FILE_PRINT_DIRECT, ID_FILE_PRINT_PREVIEW,
                   ID_VIEW_MOMENT_NOTE}) {
        SCOPED_TRACE(id);
        m_prompt.Clear();
        EXPECT_TRUE(m_frame->Command(id));
        EXPECT_EQ(m_prompt.MessageTexts(),
                  QStringList{QStringLiteral("The loading content does not exist.")});
    }
    m_prompt.Clear();
    EXPECT_FALSE(m_root->Commands()->LoadedCheck());
    EXPECT_FALSE(m_root->Commands()->ContentCheck());
    EXPECT_EQ(m_prompt.MessageTexts().size(), 2);
    for (const CScriptedPrompt::tagMESSAGE &m : m_prompt.Messages())
        EXPECT_EQ(m.buttons, PromptButtons::Ok);
}

TEST_F(FrameTest, SetFolderAnswersCancelAndMissingPath)
{
    struct Case {
        tagFOLDERCHOICE choice;
        const char *message;
    };
    const Case cases[] = {
        {{false, QString()}, "Fail to open the folder."},
        {{true, QString()}, "Wrong folder."},
        {{true, QStringLiteral("/nonexistent/pellister/folder")}, "Wrong folder."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message);
        m_prompt.Clear();
        m_prompt.QueueFolderChoice(c.choice);
        ASSERT_TRUE(m_frame->Command(ID_FILE_SET_FOLDER));
        EXPECT_EQ(m_prompt.FolderTitles(), QStringList{QStringLiteral("Specify the loading folder.")});
        EXPECT_EQ(m_prompt.MessageTexts(), QStringList{QString::fromLatin1(c.message)});
        EXPECT_TRUE(m_doc->Folder().isEmpty());
    }
}

TEST_F(FrameTest, LoadSequenceMovesTheProgressThroughItsStepsAndFillsTheList)
{
    CTestCard card(ThreeRecordings());
    ASSERT_TRUE(card.IsValid());
    std::vector<int> progress;
    QObject::connect(m_frame, &CMainFrame::ProgressChanged, [&](int p) { progress.push_back(p); });

    LoadCard(card);

    ASSERT_GE(progress.size(), 9u);
    EXPECT_EQ(progress[0], 0);
    EXPECT_EQ(progress[1], 5);
    const std::vector<int> tail(progress.end() - 6, progress.end());
    EXPECT_EQ(tail, (std::vector<int>{72, 78, 84, 90, 98, 100}));
    // The document's own steps (one pass per clip pattern) lie between 10 and 70.
    for (size_t i = 2; i + 6 < progress.size(); ++i) {
        EXPECT_GE(progress[i], 10);
        EXPECT_LE(progress[i], 70);
    }
    EXPECT_FALSE(m_frame->ProgressViewer()->isVisible());
    EXPECT_EQ(m_doc->Folder(), QDir::cleanPath(card.Path()));
    EXPECT_EQ(m_list->RowCount(), 3);
    EXPECT_EQ(m_ctl->CurrentIndex(), -1);
    EXPECT_EQ(m_play->GetPlayState(), PlayState::Empty);
    EXPECT_EQ(m_root->RecentFolders().value(0), QDir::cleanPath(card.Path()));
}

TEST_F(FrameTest, LoadingAnotherFolderClosesThePlayingClip)
{
    CTestCard card(ThreeRecordings());
    CTestCard other({{QStringLiteral("20130512_090000N.avi"), ClipKind::Avi, QStringLiteral("090000.000")}});
    ASSERT_TRUE(card.IsValid() && other.IsValid());
    LoadCard(card);
    ASSERT_TRUE(OpenRow(1));
    m_ctl->Play();
    LoadCard(other);
    EXPECT_EQ(m_play->GetPlayState(), PlayState::Empty);
    EXPECT_EQ(m_play->Graph()->State(), GraphState::NoGraph);
    EXPECT_FALSE(m_play->IsTimerRunning());
    EXPECT_EQ(m_ctl->CurrentIndex(), -1);
    EXPECT_EQ(m_list->RowCount(), 1);
}

TEST_F(FrameTest, RecentFoldersKeepTheLastFourNewestFirst)
{
    std::vector<std::unique_ptr<QTemporaryDir>> dirs;
    for (int i = 0; i < 5; ++i) {
        dirs.push_back(std::make_unique<QTemporaryDir>());
        m_root->SetFolderAndLoad(dirs.back()->path());
    }
    const QStringList recent = m_root->RecentFolders();
    ASSERT_EQ(recent.size(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(recent[i], QDir::cleanPath(dirs[static_cast<size_t>(4 - i)]->path()));
    // Loading a folder again moves it to the front instead of listing it twice.
    m_root->SetFolderAndLoad(dirs[2]->path());
    EXPECT_EQ(m_root->RecentFolders().value(0), QDir::cleanPath(dirs[2]->path()));
    EXPECT_EQ(m_root->RecentFolders().count(QDir::cleanPath(dirs[2]->path())), 1);
}

TEST_F(FrameTest, ConvertForGoogleEarthWritesTheGpxOfTheCurrentRecording)
{
    const QStringList gps{QStringLiteral("$GPRMC,083000.000,A,3733.1234,N,12658.5678,E,21.5,87.3,120513,,"),
                          QStringLiteral("$GPRMC,083001.000,A,3733.1300,N,12658.5700,E,22.0,88.0,120513,,")};
    CTestCard card(
        {{QStringLiteral("20130512_083000N.avi"), ClipKind::Avi, QStringLiteral("083000.000"), gps},
         {QStringLiteral("20130512_083010N.avi"), ClipKind::Avi, QStringLiteral("083010.000")}});
    ASSERT_TRUE(card.IsValid());
    LoadCard(card);
    QTemporaryDir out;

    // A recording without fixes has nothing to convert.
    ASSERT_TRUE(OpenRow(1));
    m_prompt.Clear();
    m_frame->Command(ID_MAP_CONVERT_EARTH);
    EXPECT_EQ(m_prompt.MessageTexts(), QStringList{QStringLiteral("GPS data does not exist.")});
    EXPECT_TRUE(m_prompt.FolderTitles().isEmpty());

    ASSERT_TRUE(OpenRow(0));
    struct Case {
        tagFOLDERCHOICE choice;
        const char *message;
    };
    const Case cases[] = {
        {{false, QString()}, "Fail to open the folder."},
        {{true, QString()}, "Wrong folder."},
        {{true, out.path() + QStringLiteral("/missing/folder")}, "An error occured in converting."},
        {{true, out.path()}, "Success to convert the data."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message);
        m_prompt.Clear();
        m_prompt.QueueFolderChoice(c.choice);
        m_frame->Command(ID_MAP_CONVERT_EARTH);
        EXPECT_EQ(m_prompt.FolderTitles(),
                  QStringList{QStringLiteral("Specify the folder to save the data.")});
        EXPECT_EQ(m_prompt.MessageTexts(), QStringList{QString::fromLatin1(c.message)});
    }
    QFile gpx(out.path() + QStringLiteral("/20130512_083000N.gpx"));
    ASSERT_TRUE(gpx.open(QIODevice::ReadOnly));
    const QByteArray text = gpx.readAll();
    EXPECT_TRUE(text.contains("<trkpt")) << text.constData();
}

// The File menu's subtitles and KML of what is loaded, and the card's clock correction.
TEST_F(FrameTest, SubtitlesKmlAndTheCameraClockFromTheFileMenu)
{
    const QStringList gps{QStringLiteral("$GPRMC,083000.000,A,3733.1234,N,12658.5678,E,21.5,87.3,120513,,"),
                          QStringLiteral("$GPRMC,083001.000,A,3733.1300,N,12658.5700,E,22.0,88.0,120513,,")};
    CTestCard card({{QStringLiteral("20130512_083000N.avi"), ClipKind::Avi, QStringLiteral("083000.000"), gps}});
    ASSERT_TRUE(card.IsValid());
    LoadCard(card);
    ASSERT_TRUE(OpenRow(0));
    QTemporaryDir out;
    for (const auto &[id, file, text] : {std::tuple{ID_FILE_EXPORT_SRT, QStringLiteral("20130512_083000N.srt"),
                                                    QByteArray("2013-05-12 08:30:01\r\n40 Km/h  37.552167, 126.976167")},
                                         std::tuple{ID_FILE_EXPORT_KML, QFileInfo(m_doc->Folder()).fileName() + QStringLiteral(".kml"),
                                                    QByteArray("126.9761300,37.5520567,0 126.9761667,37.5521667,0")}}) {
        m_prompt.Clear();
        m_prompt.QueueFolder(out.path());
        m_frame->Command(id);
        EXPECT_EQ(m_prompt.MessageTexts(), QStringList{QStringLiteral("Success to convert the data.")});
        QFile f(out.filePath(file));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << file.toStdString();
        const QByteArray written = f.readAll();
        EXPECT_TRUE(written.contains(text)) << written.constData();
    }

    int64_t offered = -1;
    m_root->Commands()->SetClockDialog([&](const QString &, std::optional<int64_t> error, int64_t now, int64_t *chosen) {
        EXPECT_FALSE(error.has_value()); // the recorder's own card tells no camera clock
        offered = now;
        *chosen = 3600 * 1000;
        return true;
    });
    m_frame->Command(ID_FILE_CAMERA_CLOCK);
    EXPECT_EQ(0, offered);
    EXPECT_EQ(QStringLiteral("2013/05/12 - 09:30:00.000"), RecordListText(m_doc->RecordRef(0), QString()));
    EXPECT_EQ(3600 * 1000, ClockCorrectionOfCard(m_doc->Folder()));
    m_root->Commands()->SetClockDialog([&](const QString &, std::optional<int64_t>, int64_t now, int64_t *chosen) {
        offered = now;
        *chosen = 0;
        return true;
    });
    m_frame->Command(ID_FILE_CAMERA_CLOCK);
    EXPECT_EQ(3600 * 1000, offered);
    EXPECT_EQ(QStringLiteral("2013/05/12 - 08:30:00.000"), RecordListText(m_doc->RecordRef(0), QString()));
    m_root->Commands()->SetClockDialog({});
}

TEST_F(FrameTest, AddGpsTrackPairsItWithTheRecordingsOfItsTime)
{
    // The clip has no telemetry; its name says 08:30:00 local time and it lasts 1.5 s.
    CTestCard card({{QStringLiteral("VID_20130512_083000.mp4"), ClipKind::Mp4, QString()}});
    ASSERT_TRUE(card.IsValid());
    LoadCard(card);
    const QDateTime start(QDate(2013, 5, 12), QTime(8, 30));
    const auto point = [&](int ms, const char *lat) {
        return QStringLiteral("<trkpt lat=\"%1\" lon=\"127\"><time>%2</time></trkpt>")
            .arg(QLatin1String(lat), start.addMSecs(ms).toUTC().toString(Qt::ISODateWithMs));
    };
    QTemporaryDir dir;
    const QString track = dir.filePath(QStringLiteral("day.gpx"));
    ASSERT_TRUE(testfiles::Write(track, (QStringLiteral("<gpx><trk><trkseg>") + point(-1000, "37.1") +
                                         point(500, "37.2") + point(2000, "37.3") + QStringLiteral("</trkseg></trk></gpx>"))
                                            .toUtf8()));
    ASSERT_TRUE(testfiles::Write(dir.filePath(QStringLiteral("bad.gpx")), "<gpx><trk>"));

    m_prompt.Clear();
    m_prompt.QueueFolder(dir.filePath(QStringLiteral("bad.gpx")));
    m_frame->Command(ID_FILE_ADD_GPS_TRACK);
    ASSERT_EQ(1, m_prompt.MessageTexts().size());
    EXPECT_TRUE(m_prompt.MessageTexts()[0].startsWith(QStringLiteral("The GPS track could not be read: ")));
    EXPECT_EQ(QStringLiteral("File name : VID_20130512_083000.mp4"), RecordListText(m_doc->RecordRef(0), m_doc->MediaPathAt(0)));

    m_prompt.Clear();
    m_prompt.QueueFolder(track);
    m_frame->Command(ID_FILE_ADD_GPS_TRACK);
    EXPECT_EQ(m_prompt.FolderTitles(), QStringList{QStringLiteral("Specify the GPS track.")});
    EXPECT_EQ(m_prompt.MessageTexts(), QStringList{QStringLiteral("The GPS track gave GPS data to 1 recording(s).")});
    ASSERT_EQ(1, m_list->RowCount());
    const tagDATAFILEINFO &rec = m_doc->RecordRef(0);
    EXPECT_EQ(QStringLiteral("2013/05/12 - 08:30:00.000"), RecordListText(rec, QString()));
    ASSERT_EQ(1, rec.vecGps.size()); // only the point inside the clip's 1.5 s
    EXPECT_EQ(QStringLiteral("37.200000"), rec.vecGps[0].strLat);
}

TEST_F(FrameTest, AboutShowsTheNormalisedVersion)
{
    struct Case {
        const char *fileVersion;
        const char *shown;
    };
    const Case cases[] = {
        {"1.0.0.7", "1.007"}, {"1.0.0.0", "1.000"}, {"2.10.3.4", "2.1034"}, {"12.3", "12.3"}, {"7", "7"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(NormalisedVersion(QString::fromLatin1(c.fileVersion)).toStdString(), c.shown);
    EXPECT_EQ(CAboutDlg::AboutText(), QStringLiteral("Pellister S/W Version : ") +
                                           NormalisedVersion(QStringLiteral(PELLISTER_VERSION_STRING)));
    CAboutDlg dialog(CAboutDlg::AboutText(), m_frame);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Pellister Info"));
    EXPECT_EQ(dialog.VersionText(), CAboutDlg::AboutText());
    EXPECT_EQ(dialog.DialogId(), 100);
}

TEST_F(FrameTest, PanesTakeTheirFixedSizesAtEveryWindowSize)
{
    for (const QSize &window : {QSize(1024, 768), QSize(1280, 1000), QSize(1600, 900)}) {
        SCOPED_TRACE(window.width());
        m_frame->resize(window);
        QCoreApplication::processEvents();
        const QSize client = m_frame->OuterSplitter()->size();
        const int gap = CMainFrame::kSplitterGap;
        EXPECT_EQ(m_frame->MapView()->size(), QSize(373, 373));
        EXPECT_EQ(m_list->width(), 373);
        EXPECT_EQ(m_list->height(), client.height() - 373 - gap);
        EXPECT_EQ(m_play->width(), client.width() - 373 - gap);
        EXPECT_EQ(m_frame->ControlBar()->height(), 50);
        EXPECT_EQ(m_frame->GraphView()->height(), 180);
        EXPECT_EQ(m_play->height(), client.height() - 230 - 2 * gap);
        EXPECT_FALSE(m_frame->PrintView()->isVisible());
    }
    // The window never gets smaller than 1024 x 768, and the bars cannot be dragged.
    m_frame->resize(800, 600);
    EXPECT_EQ(m_frame->size(), QSize(1024, 768));
    for (CMultiViewSplitter *s :
         {m_frame->OuterSplitter(), m_frame->LeftSplitter(), m_frame->RightSplitter()}) {
        EXPECT_TRUE(s->IsLocked());
        EXPECT_EQ(s->Gap(), 2);
    }
    EXPECT_EQ(m_frame->LeftSplitter()->Pane(1, 0), m_frame->MapView());
    EXPECT_EQ(m_frame->RightSplitter()->Pane(0, 0), m_play);
    EXPECT_EQ(m_frame->LayoutReady(), 1);
}

TEST_F(FrameTest, LockedBarsIgnoreDragging)
{
    m_frame->resize(1024, 768);
    QCoreApplication::processEvents();
    CMultiViewSplitter *outer = m_frame->OuterSplitter();
    const QList<int> before = outer->sizes();
    QSplitterHandle *bar = outer->handle(1);
    ASSERT_NE(bar, nullptr);
    const QPoint start = bar->rect().center();
    QMouseEvent press(QEvent::MouseButtonPress, start, bar->mapToGlobal(start), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(bar, &press);
    const QPoint end = start + QPoint(120, 0);
    QMouseEvent move(QEvent::MouseMove, end, bar->mapToGlobal(end), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(bar, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, end, bar->mapToGlobal(end), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(bar, &release);
    EXPECT_EQ(outer->sizes(), before);
}
