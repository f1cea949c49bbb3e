// pellister-cli as a script would use it.
#include "catalogue/recordinfo.h"

#include "fixtures/testfiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QString Cli()
{
    return testfiles::BinaryDir() + QStringLiteral("/PC_viewer/cli/pellister-cli");
}

class CliTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(testfiles::Write(root.filePath(QStringLiteral("Parking/X20130512083000M.avi")), "clip"));
        ASSERT_TRUE(testfiles::WriteSynced(
            root.filePath(QStringLiteral("Parking/data/X20130512083000M.dat")), QStringLiteral("083015.250"),
            QStringLiteral("130512"),
            {QStringLiteral("$ACCELERATOR,083015.300,130512,0.02,-0.98,0.11,"),
             QStringLiteral("$GPRMC,083015.000,A,3733.1234,N,12658.5678,E,21.5,87.3,120513,,")}));
        ASSERT_TRUE(testfiles::Write(root.filePath(QStringLiteral("nodata.mp4")), "clip"));
    }
    QTemporaryDir root;
};

TEST_F(CliTest, CatalogueListsTheViewersOrder)
{
    const auto r = testfiles::Run(Cli(), {QStringLiteral("catalogue"), root.path()});
    ASSERT_EQ(0, r.exitCode) << r.err.constData();
    const QList<QByteArray> lines = r.out.chopped(1).split('\n'); // columns may be empty
    ASSERT_EQ(2, lines.size()) << r.out.constData();
    EXPECT_EQ(QByteArray("0\tP-Motion\t2013/05/12 - 08:30:15.250\t") +
                  root.filePath(QStringLiteral("Parking/X20130512083000M.avi")).toUtf8() + "\t" +
                  root.filePath(QStringLiteral("Parking/data/X20130512083000M.dat")).toUtf8() + "\t1\t1\tdat\tfront",
              lines[0]);
    EXPECT_EQ(QByteArray("1\tUnknown\tFile name : nodata.mp4\t") +
                  root.filePath(QStringLiteral("nodata.mp4")).toUtf8() + "\t\t0\t0\t\tfront",
              lines[1]);
}

TEST_F(CliTest, GpxMessagesAndExitStatus)
{
    const QString out = root.filePath(QStringLiteral("out.gpx"));
    auto r = testfiles::Run(
        Cli(), {QStringLiteral("gpx"), root.filePath(QStringLiteral("Parking/X20130512083000M.avi")), out});
    EXPECT_EQ(0, r.exitCode);
    EXPECT_EQ("Success to convert the data.\n", r.out);
    EXPECT_TRUE(QFile::exists(out));

    r = testfiles::Run(Cli(), {QStringLiteral("gpx"), root.filePath(QStringLiteral("nodata.mp4")), out});
    EXPECT_EQ(1, r.exitCode);
    EXPECT_EQ("GPS data does not exist.\n", r.out);

    r = testfiles::Run(Cli(),
                       {QStringLiteral("gpx"), root.filePath(QStringLiteral("Parking/X20130512083000M.avi")),
                        root.filePath(QStringLiteral("missing/dir/out.gpx"))});
    EXPECT_EQ(1, r.exitCode);
    EXPECT_EQ("An error occured in converting.\n", r.out);
}

TEST_F(CliTest, WrongArgumentsExitTwoWithAMessage)
{
    const QList<QStringList> wrong = {{},
                                      {QStringLiteral("catalogue")},
                                      {QStringLiteral("catalogue"), QStringLiteral("a"), QStringLiteral("b")},
                                      {QStringLiteral("nosuchcommand")},
                                      {QStringLiteral("gpx"), QStringLiteral("x")},
                                      {QStringLiteral("catalogue"), QStringLiteral("a"), QStringLiteral("--track")}};
    for (const QStringList &args : wrong) {
        const auto r = testfiles::Run(Cli(), args);
        EXPECT_EQ(2, r.exitCode) << args.join(' ').toStdString();
        EXPECT_FALSE(r.err.isEmpty());
    }
    const auto help = testfiles::Run(Cli(), {QStringLiteral("--help")});
    EXPECT_EQ(0, help.exitCode);
    EXPECT_TRUE(help.out.contains("catalogue FOLDER"));
    const auto missing =
        testfiles::Run(Cli(), {QStringLiteral("catalogue"), root.filePath(QStringLiteral("gone"))});
    EXPECT_EQ(1, missing.exitCode);
    const auto noTrack = testfiles::Run(
        Cli(), {QStringLiteral("catalogue"), root.path(), QStringLiteral("--track"), root.filePath(QStringLiteral("gone.gpx"))});
    EXPECT_EQ(1, noTrack.exitCode);
    EXPECT_TRUE(noTrack.err.contains("gone.gpx")) << noTrack.err.constData();
}

} // namespace
