// The update dialog against a real HTTP server on 127.0.0.1: the version comparison as the
// user meets it, every failure of a transfer, the verified installation of the updater program,
// Cancel in the middle of a transfer; and what is left in the program folder afterwards.
#include "skin/prompt.h"
#include "update/updateconst.h"
#include "update/updatedialog.h"
#include "telemetry/qstringprint.h"
#include "testhttpserver.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
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
const char kHashPath[] = "update/client_program/english/corvana.bin.sha256";
const QByteArray kPackage = QByteArrayLiteral("#!/bin/sh\n# the new program\n") + QByteArray(200000, 'x');
const QByteArray kOldProgram = QByteArrayLiteral("the running program");

QByteArray HashRecord(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex() + ' ' +
           QByteArray::number(bytes.size());
}

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
        return setup;
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
    QList<PromptAnswer> m_answers{PromptAnswer::Yes};
};

TEST_F(UpdateDialogTest, VersionComparisonAndTransferFailures)
{
    using D = CTestHttpServer::Delivery;
    const QByteArray tampered = QByteArray(kPackage).replace(40, 1, "y");
    struct Case {
        const char *name;
        QByteArray versionFile; // empty with versionStatus 404: no version file
        int versionStatus;
        CTestHttpServer::tagROUTE package;
        int hashStatus; // corvana.bin.sha256: 200 serves the package's record, else this status
        QStringList messages;
    };
    const QStringList ask{S(kMsgAskUpdate)};
    const QStringList failed{S(kMsgAskUpdate), S(kMsgDownloadFailed)};
    const QStringList current{S(kMsgMostRecent)};
    const Case cases[] = {
        {"equal", "1.007\n", 200, {200, kPackage, D::Whole}, 200, current},
        {"older", "1.006\n", 200, {200, kPackage, D::Whole}, 200, current},
        {"empty file", "", 200, {200, kPackage, D::Whole}, 200, current},
        {"garbage", "new version!\n", 200, {200, kPackage, D::Whole}, 200, current},
        {"four parts read as 1.0", "1.0.0.8\n", 200, {200, kPackage, D::Whole}, 200, current},
        {"version file 404", "", 404, {200, kPackage, D::Whole}, 200, {S(kMsgCannotCheck)}},
        {"package 404", "1.008\n", 200, {404, "gone", D::Whole}, 200, failed},
        {"truncated package", "1.008\n", 200, {200, kPackage, D::Truncated}, 200, failed},
        {"tampered package", "1.008\n", 200, {200, tampered, D::Whole}, 200, failed},
        {"no hash published", "1.008\n", 200, {200, kPackage, D::Whole}, 404, failed},
        {"wrong size published", "1.008\n" + QCryptographicHash::hash(kPackage, QCryptographicHash::Sha256).toHex() +
                                     " 12\n", 200, {200, kPackage, D::Whole}, 404, failed},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        m_server.SetRoute(S(kVersionPath), {c.versionStatus, c.versionFile, D::Whole});
        m_server.SetRoute(S(kPackagePath), c.package);
        m_server.SetRoute(S(kHashPath), {c.hashStatus, HashRecord(kPackage) + " corvana.bin\n", D::Whole});
        const tagRUN run = Run(Setup());
        EXPECT_EQ(run.result, QDialog::Rejected);
        EXPECT_EQ(run.messages, c.messages);
        EXPECT_FALSE(Exists(kLocalVersionFile));
        EXPECT_FALSE(Exists(kLocalPackageFile));
        EXPECT_FALSE(Exists(kUpdaterFileName));
        EXPECT_EQ(Read(kProgramFileName), kOldProgram);
    }
}

TEST_F(UpdateDialogTest, NewerVersionInstallsTheVerifiedPackageAsTheUpdater)
{
    struct Case {
        const char *name;
        QByteArray versionFile;
        int hashStatus;
    };
    const Case cases[] = {
        {"record on the version file's second line", "1.008\r\n" + HashRecord(kPackage) + "\r\n", 404},
        {"record beside the package", "1.008\n", 200},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        m_server.SetFile(S(kVersionPath), c.versionFile);
        m_server.SetFile(S(kPackagePath), kPackage);
        m_server.SetRoute(S(kHashPath), {c.hashStatus, HashRecord(kPackage) + " corvana.bin\n",
                                         CTestHttpServer::Delivery::Whole});
        const tagRUN run = Run(Setup());
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
    m_server.SetFile(S(kVersionPath), "1.008\n" + HashRecord(kPackage));
    m_server.SetFile(S(kPackagePath), kPackage);
    m_answers = {PromptAnswer::No};
    tagRUN run = Run(Setup());
    EXPECT_EQ(run.result, QDialog::Rejected);
    EXPECT_EQ(run.messages, QStringList{S(kMsgAskUpdate)});
    EXPECT_FALSE(m_server.Requests().contains(QStringLiteral("GET ") + S(kPackagePath)));

    m_server.SetFile(S(kVersionPath), "1.007\n");
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

TEST_F(UpdateDialogTest, StalledTransferFailsAndLeavesNothing)
{
    m_server.SetFile(S(kVersionPath), "1.008\n" + HashRecord(kPackage));
    m_server.SetRoute(S(kPackagePath), {200, kPackage, CTestHttpServer::Delivery::Stalled});
    const tagRUN run = Run(Setup(500));
    EXPECT_EQ(run.result, QDialog::Rejected);
    EXPECT_EQ(run.messages, (QStringList{S(kMsgAskUpdate), S(kMsgDownloadFailed)}));
    EXPECT_FALSE(Exists(kLocalPackageFile));
    EXPECT_FALSE(Exists(kUpdaterFileName));
}

TEST_F(UpdateDialogTest, CancelDuringTheTransferEndsAtOnceAndLeavesNoFile)
{
    m_server.SetFile(S(kVersionPath), "1.008\n" + HashRecord(kPackage));
    m_server.SetRoute(S(kPackagePath), {200, kPackage, CTestHttpServer::Delivery::Stalled});
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
