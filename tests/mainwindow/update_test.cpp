// "Check for updates..." from the Help menu, end to end: a package published with
// server/scripts/publish-update (signed with a key made for the test, which the frame is given)
// into a folder that the viewer's own loopback server serves, the update dialog, the restart
// message and the start of the updater program (here a small script that leaves a mark,
// standing in for the new program).
#include "framefixture.h"

#include "skin/commandids.h"
#include "telemetry/localwebserver.h"
#include "telemetry/qstringprint.h"
#include "update/testsigner.h"
#include "update/updateconst.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

namespace frametest {
namespace {

class UpdateCommandTest : public FrameTest
{
protected:
    // Publishes `package` as version 1.0.0.9 (newer than any 1.0.0.x build up to 8) and points
    // the "server" setting at a loopback server for it.
    void Publish(const QByteArray &package)
    {
        ASSERT_TRUE(m_dir.isValid());
        const QString built = m_dir.filePath(QStringLiteral("built"));
        QFile f(built);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(package);
        f.close();
        const QString www = m_dir.filePath(QStringLiteral("www"));
        ASSERT_TRUE(QDir().mkpath(www));
        const CTestSigner signer;
        const QString key = m_dir.filePath(QStringLiteral("release.pem"));
        ASSERT_TRUE(signer.WritePrivateKey(key));
        m_root->SetReleaseKey(signer.PublicKey());
        QProcess publish;
        publish.start(QStringLiteral("bash"), {QStringLiteral(PELLISTER_SOURCE_DIR "/server/scripts/publish-update"),
                                               key, built, QStringLiteral("1.0.0.9"), www});
        ASSERT_TRUE(publish.waitForFinished(10000));
        ASSERT_EQ(publish.exitCode(), 0) << publish.readAllStandardError().toStdString();
        m_server = std::make_unique<CLocalWebServer>(www);
        ASSERT_TRUE(m_server->Start()) << m_server->ErrorString().toStdString();
        QSettings().setValue(QStringLiteral("server"), m_server->BaseUrl());
        m_app = m_dir.filePath(QStringLiteral("app")) + QLatin1Char('/');
        ASSERT_TRUE(QDir().mkpath(m_app));
        m_root->SetProgramFolder(m_app);
    }

    void TearDown() override
    {
        QSettings().remove(QStringLiteral("server"));
        FrameTest::TearDown();
        m_server.reset();
    }

    QTemporaryDir m_dir;
    std::unique_ptr<CLocalWebServer> m_server;
    QString m_app;
};

TEST_F(UpdateCommandTest, NewerVersionDownloadsRestartsThroughTheUpdaterAndCloses)
{
    Publish("#!/bin/sh\necho new > started\n");
    m_prompt.QueueAnswer(PromptAnswer::Yes);
    ASSERT_TRUE(m_frame->Command(ID_APP_UPDATE));
    EXPECT_EQ(m_prompt.MessageTexts(), (QStringList{QString::fromLatin1(kMsgAskUpdate),
                                                    QString::fromLatin1(kMsgRestarting)}));
    // The updater runs in its own folder and leaves its mark there.
    EXPECT_TRUE(WaitFor([&] { return QFile::exists(m_app + QStringLiteral("started")); }, 10000));
    EXPECT_FALSE(m_frame->isVisible());
    EXPECT_FALSE(QFile::exists(m_app + QString::fromLatin1(kLocalPackageFile)));
}

TEST_F(UpdateCommandTest, UpdaterThatCannotStartKeepsTheProgramRunning)
{
    Publish("no program at all");
    m_prompt.QueueAnswer(PromptAnswer::Yes);
    ASSERT_TRUE(m_frame->Command(ID_APP_UPDATE));
    EXPECT_EQ(m_prompt.MessageTexts(),
              (QStringList{QString::fromLatin1(kMsgAskUpdate), QString::fromLatin1(kMsgRestarting),
                           QString::fromLatin1(kMsgProcessFailed), QString::fromLatin1(kMsgUpdateError)}));
    EXPECT_TRUE(m_frame->isVisible());
}

TEST_F(UpdateCommandTest, CurrentVersionIsReported)
{
    // The source tree's own version file, signed with the release key built in, names the
    // version being built.
    m_root->SetProgramFolder(m_dir.path());
    ASSERT_TRUE(m_frame->Command(ID_APP_UPDATE));
    EXPECT_EQ(m_prompt.MessageTexts(), QStringList{QString::fromLatin1(kMsgMostRecent)});
    EXPECT_TRUE(m_frame->isVisible());
}

} // namespace
} // namespace frametest
