// The update dialog against a real HTTP server on 127.0.0.1, with version files signed by a key
// made at run time: what is refused (unsigned or wrongly signed records, downgrades, tampered,
// oversized, dripped and redirected transfers, plain http to another machine) and what is
// installed (also files made by the publish script), Cancel in the middle of a transfer; and
// what is left in the program folder afterwards.
#include "skin/prompt.h"
#include "update/updateconst.h"
#include "update/updatedialog.h"
#include "telemetry/qstringprint.h"
#include "testhttpserver.h"
#include "testsigner.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QNetworkProxy>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

constexpr int kWatchdogMs = 20000;
constexpr int kWatchdogResult = 99;
const char kVersionPath[] = "update/client_program/english/version.txt";
const char kPackagePath[] = "update/client_program/english/corvana.bin";
const char kMovedPath[] = "update/client_program/english/moved.txt";
const QByteArray kPackage = QByteArrayLiteral("#!/bin/sh\n# the new program\n") + QByteArray(200000, 'x');
const QByteArray kOldProgram = QByteArrayLiteral("the running program");

QString S(const char *s)
{
    return QString::fromLatin1(s);
}

struct tagRUN {
    int result = 0;
    QStringList messages;
    QString status;
    QString shownStatus;
    int progress = 0;
};

class UpdateDialogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(m_server.Start());
        m_folder = m_dir.path() + QLatin1Char('/');
        QFile program(m_folder + S(kProgramFileName));
        ASSERT_TRUE(program.open(QIODevice::WriteOnly));
        program.write(kOldProgram);
    }

    tagUPDATESETUP Setup(int stallMs = 5000, bool report = true) const
    {
        tagUPDATESETUP setup;
        setup.programFolder = m_folder;
        setup.server = QUrl(m_server.BaseUrl());
        setup.ownVersion = QStringLiteral("1.0.0.7");
        setup.stallMs = stallMs;
        setup.reportWhenCurrent = report;
        setup.releaseKey = m_signer.PublicKey();
        return setup;
    }

    QByteArray Local(const char *path) const
    {
        return QStringLiteral("http://127.0.0.1:%1/%2").arg(m_server.Port()).arg(S(path)).toLatin1();
    }

    // Runs the dialog modally to its end; `whileRunning` is called every 10 ms meanwhile.
    tagRUN Run(const tagUPDATESETUP &setup, const std::function<void(CUpdateDialog &)> &whileRunning = {})
    {
        CScriptedPrompt prompt;
        for (PromptAnswer a : m_answers)
            prompt.QueueAnswer(a);
        CPromptScope scope(prompt);
        CUpdateDialog dialog(setup);
        QTimer poll;
        if (whileRunning) {
            QObject::connect(&poll, &QTimer::timeout, &dialog, [&] { whileRunning(dialog); });
            poll.start(10);
        }
        QTimer::singleShot(kWatchdogMs, &dialog, [&dialog] { dialog.done(kWatchdogResult); });
        tagRUN run;
        run.result = dialog.exec();
        run.messages = prompt.MessageTexts();
        run.status = dialog.StatusText();
        run.shownStatus = dialog.ShownStatus();
        run.progress = dialog.Progress();
        for (const auto &m : prompt.Messages())
            EXPECT_TRUE(m.topmost) << m.text.toStdString();
        return run;
    }

    bool Exists(const char *name) const { return QFile::exists(m_folder + S(name)); }
    QByteArray Read(const char *name) const
    {
        QFile f(m_folder + S(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir m_dir;
    QString m_folder;
    CTestHttpServer m_server;
    CTestSigner m_signer;
    QList<PromptAnswer> m_answers{PromptAnswer::Yes};
};

TEST_F(UpdateDialogTest, RefusedUpdatesReplaceNothing)
{
    using D = CTestHttpServer::Delivery;
    const CTestSigner stranger;
    ASSERT_TRUE(m_signer.IsValid() && stranger.IsValid());
    const QByteArray record = m_signer.Record(QStringLiteral("1.0.0.8"), kPackage);
    const QByteArray tampered = QByteArray(kPackage).replace(40, 1, "y");
    const QByteArray unsigned_ = "1.008\n" + QCryptographicHash::hash(kPackage, QCryptographicHash::Sha256).toHex() +
                                 ' ' + QByteArray::number(kPackage.size()) + '\n';
    struct Case {
        const char *name;
        const char *own;
        CTestHttpServer::tagROUTE version;
        CTestHttpServer::tagROUTE package;
        QStringList messages;
        const char *server = nullptr; // another server address, reached through a proxy that records
        int deadlineMs = 0;
        int stallMs = 5000;
    };
    const CTestHttpServer::tagROUTE whole{200, kPackage, D::Whole, {}};
    const QStringList failed{S(kMsgAskUpdate), S(kMsgDownloadFailed)};
    const QStringList current{S(kMsgMostRecent)};
    const QStringList unchecked{S(kMsgCannotCheck)};
    const Case cases[] = {
        {"the running version, signed", "1.0.0.8", {200, record, D::Whole, {}}, whole, current},
        {"an older version, signed (its short form reads as newer)", "1.0.0.10",
         {200, m_signer.Record(QStringLiteral("1.0.0.9"), kPackage), D::Whole, {}}, whole, current},
        {"unsigned record", "1.0.0.7", {200, unsigned_, D::Whole, {}}, whole, unchecked},
        {"signed with another key", "1.0.0.7", {200, stranger.Record(QStringLiteral("1.0.0.8"), kPackage), D::Whole, {}},
         whole, unchecked},
        {"empty version file", "1.0.0.7", {200, QByteArray(), D::Whole, {}}, whole, unchecked},
        {"no version file", "1.0.0.7", {404, QByteArray(), D::Whole, {}}, whole, unchecked},
        {"version file too large", "1.0.0.7", {200, record + QByteArray(5000, '\n'), D::Whole, {}}, whole, unchecked},
        {"version file without end or length", "1.0.0.7", {200, record, D::Endless, {}}, whole, unchecked},
        {"redirect to another host", "1.0.0.7",
         {302, QByteArray(), D::Whole, Local(kMovedPath).replace("127.0.0.1", "localhost")}, whole, unchecked},
        {"plain http to another machine", "1.0.0.7", {200, record, D::Whole, {}}, whole, unchecked,
         "http://updates.example.com/"},
        {"no package", "1.0.0.7", {200, record, D::Whole, {}}, {404, "gone", D::Whole, {}}, failed},
        {"truncated package", "1.0.0.7", {200, record, D::Whole, {}}, {200, kPackage, D::Truncated, {}}, failed},
        {"tampered package", "1.0.0.7", {200, record, D::Whole, {}}, {200, tampered, D::Whole, {}}, failed},
        {"package without end or length", "1.0.0.7", {200, record, D::Whole, {}}, {200, kPackage, D::Endless, {}}, failed},
        {"package stalled", "1.0.0.7", {200, record, D::Whole, {}}, {200, kPackage, D::Stalled, {}}, failed, nullptr,
         0, 500},
        {"package dripped past the deadline", "1.0.0.7", {200, record, D::Whole, {}}, {200, kPackage, D::Dripped, {}},
         failed, nullptr, 1500},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        m_server.SetRoute(S(kVersionPath), c.version);
        m_server.SetRoute(S(kPackagePath), c.package);
        m_server.SetFile(S(kMovedPath), record);
        m_server.ClearRequests();
        tagUPDATESETUP setup = Setup(c.stallMs);
        setup.ownVersion = S(c.own);
        setup.deadlineMs = c.deadlineMs;
        if (c.server) {
            setup.server = QUrl(S(c.server));
            QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), m_server.Port()));
        }
        const tagRUN run = Run(setup);
        QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
        EXPECT_EQ(run.result, QDialog::Rejected);
        EXPECT_EQ(run.messages, c.messages);
        const QStringList requests = m_server.Requests();
        // Nothing is fetched before the record's signature has been checked and the user asked.
        EXPECT_EQ(requests.contains(QStringLiteral("GET ") + S(kPackagePath)), c.messages.value(0) == S(kMsgAskUpdate));
        EXPECT_FALSE(requests.contains(QStringLiteral("GET ") + S(kMovedPath)));
        if (c.server) {
            EXPECT_TRUE(requests.isEmpty()) << requests.join(u' ').toStdString();
        }
        EXPECT_FALSE(Exists(kLocalVersionFile));
        EXPECT_FALSE(Exists(kLocalPackageFile));
        EXPECT_FALSE(Exists(kUpdaterFileName));
        EXPECT_EQ(Read(kProgramFileName), kOldProgram);
    }
}

TEST_F(UpdateDialogTest, NewerSignedVersionInstallsTheVerifiedPackageAsTheUpdater)
{
    // The publish script's own output, signed with a key of this run.
    QTemporaryDir release;
    ASSERT_TRUE(release.isValid());
    const QString key = release.filePath(QStringLiteral("release.pem"));
    const QString program = release.filePath(QStringLiteral("Corvana"));
    ASSERT_TRUE(m_signer.WritePrivateKey(key));
    {
        QFile f(program);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(kPackage) == kPackage.size());
    }
    QProcess publish;
    publish.start(QStringLiteral("bash"), {QStringLiteral(PELLISTER_SOURCE_DIR "/server/scripts/publish-update"), key,
                                           program, QStringLiteral("1.0.0.8"), release.filePath(QStringLiteral("www"))});
    ASSERT_TRUE(publish.waitForFinished(30000));
    ASSERT_EQ(publish.exitCode(), 0) << publish.readAllStandardError().toStdString();
    auto published = [&](const char *name) {
        QFile f(release.filePath(QStringLiteral("www/") + S(name)));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };

    using D = CTestHttpServer::Delivery;
    struct Case {
        const char *name;
        const char *own;
        CTestHttpServer::tagROUTE version;
        QByteArray package;
    };
    const Case cases[] = {
        {"1.0.0.8 over 1.0.0.7", "1.0.0.7", {200, m_signer.Record(QStringLiteral("1.0.0.8"), kPackage), D::Whole, {}},
         kPackage},
        {"1.0.0.10 over 1.0.0.9 (its short form reads as older)", "1.0.0.9",
         {200, m_signer.Record(QStringLiteral("1.0.0.10"), kPackage), D::Whole, {}}, kPackage},
        {"version file redirected on the same server", "1.0.0.7", {302, QByteArray(), D::Whole, "/" + QByteArray(kMovedPath)},
         kPackage},
        {"made by the publish script", "1.0.0.7", {200, published(kVersionPath), D::Whole, {}}, published(kPackagePath)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.version.status == 200 && c.version.body.isEmpty());
        m_server.SetRoute(S(kVersionPath), c.version);
        m_server.SetFile(S(kMovedPath), m_signer.Record(QStringLiteral("1.0.0.8"), kPackage));
        m_server.SetFile(S(kPackagePath), c.package);
        tagUPDATESETUP setup = Setup();
        setup.ownVersion = S(c.own);
        const tagRUN run = Run(setup);
        EXPECT_EQ(run.result, QDialog::Accepted);
        EXPECT_EQ(run.messages, QStringList{S(kMsgAskUpdate)});
        EXPECT_EQ(run.status, S(kStatusDownloading));
        EXPECT_EQ(run.progress, 100);
        EXPECT_EQ(Read(kUpdaterFileName), kPackage);
        EXPECT_TRUE(QFileInfo(m_folder + S(kUpdaterFileName)).isExecutable());
        EXPECT_FALSE(Exists(kLocalVersionFile));
        EXPECT_FALSE(Exists(kLocalPackageFile));
        EXPECT_EQ(Read(kProgramFileName), kOldProgram);
        QFile::remove(m_folder + S(kUpdaterFileName));
    }
}

TEST_F(UpdateDialogTest, AnsweringNoOrBeingCurrentWithoutReportEndsQuietly)
{
    m_server.SetFile(S(kVersionPath), m_signer.Record(QStringLiteral("1.0.0.8"), kPackage));
    m_server.SetFile(S(kPackagePath), kPackage);
    m_answers = {PromptAnswer::No};
    tagRUN run = Run(Setup());
    EXPECT_EQ(run.result, QDialog::Rejected);
    EXPECT_EQ(run.messages, QStringList{S(kMsgAskUpdate)});
    EXPECT_FALSE(m_server.Requests().contains(QStringLiteral("GET ") + S(kPackagePath)));

    m_server.SetFile(S(kVersionPath), m_signer.Record(QStringLiteral("1.0.0.7"), kPackage));
    run = Run(Setup(5000, false));
    EXPECT_EQ(run.result, QDialog::Rejected);
    EXPECT_TRUE(run.messages.isEmpty());
    EXPECT_FALSE(Exists(kLocalVersionFile));
}

TEST_F(UpdateDialogTest, UnreachableServerEndsWithTheNotConnectedStatus)
{
    tagUPDATESETUP setup = Setup();
    setup.server = QUrl(QStringLiteral("http://127.0.0.1:1/"));
    const tagRUN run = Run(setup);
    EXPECT_EQ(run.result, QDialog::Rejected);
    EXPECT_TRUE(run.messages.isEmpty());
    EXPECT_EQ(run.status, S(kStatusNotConnected));
    EXPECT_EQ(run.shownStatus, S(kStatusNotConnected));
}

TEST_F(UpdateDialogTest, CancelDuringTheTransferEndsAtOnceAndLeavesNoFile)
{
    m_server.SetFile(S(kVersionPath), m_signer.Record(QStringLiteral("1.0.0.8"), kPackage));
    m_server.SetRoute(S(kPackagePath), {200, kPackage, CTestHttpServer::Delivery::Stalled, {}});
    bool pressed = false;
    // The stall limit is longer than the watchdog: only Cancel can end this run in time.
    const tagRUN run = Run(Setup(kWatchdogMs * 2), [&](CUpdateDialog &dialog) {
        if (!pressed && QFileInfo(m_folder + S(kLocalPackageFile)).size() > 0) {
            pressed = true;
            QTest::mouseClick(dialog.CancelButton(), Qt::LeftButton);
        }
    });
    EXPECT_TRUE(pressed);
    EXPECT_EQ(run.result, QDialog::Rejected);
    EXPECT_EQ(run.messages, QStringList{S(kMsgAskUpdate)});
    EXPECT_FALSE(Exists(kLocalVersionFile));
    EXPECT_FALSE(Exists(kLocalPackageFile));
    EXPECT_FALSE(Exists(kUpdaterFileName));
    EXPECT_EQ(Read(kProgramFileName), kOldProgram);
}

TEST_F(UpdateDialogTest, DialogHasTheTemplatesControls)
{
    CUpdateDialog dialog(Setup());
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Pellister - Updater"));
    EXPECT_EQ(dialog.DialogId(), IDD_UPDATE_DIALOG);
    EXPECT_EQ(dialog.ShownStatus(), QStringLiteral("Static"));
    auto *ok = dialog.findChild<QPushButton *>(QString::number(IDC_UPDATE_OK));
    ASSERT_NE(ok, nullptr);
    EXPECT_FALSE(ok->isVisibleTo(&dialog));
    EXPECT_TRUE(dialog.CancelButton()->isVisibleTo(&dialog));
    EXPECT_EQ(dialog.CancelButton()->text(), QStringLiteral("Cancel"));
}

} // namespace
