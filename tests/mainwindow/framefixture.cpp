// Clips, test folders and the main-frame fixture.
#include "framefixture.h"

#include "fixtures/clipmaker.h"
#include "fixtures/stepping.h"
#include "fixtures/testfiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QThread>

namespace frametest {

namespace {

QString ClipDir()
{
    return testfiles::BinaryDir() + QStringLiteral("/tests/mainwindow/clips");
}

} // namespace

// Made once per clip and build tree; parallel test processes wait for each other.
QString MakeClip(const QString &name, const QStringList &args)
{
    return clipmaker::Make(ClipDir(), name, args);
}

QString ClipPath(ClipKind kind)
{
    switch (kind) {
    case ClipKind::Mp4:
        return MakeClip(QStringLiteral("clip15.mp4"),
                        {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                         QStringLiteral("testsrc=size=160x120:rate=10:duration=1.5"), QStringLiteral("-f"),
                         QStringLiteral("lavfi"), QStringLiteral("-i"),
                         QStringLiteral("sine=frequency=440:duration=1.5"), QStringLiteral("-c:v"),
                         QStringLiteral("libx264"), QStringLiteral("-g"), QStringLiteral("5"),
                         QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), QStringLiteral("-c:a"),
                         QStringLiteral("aac"), QStringLiteral("-shortest")});
    case ClipKind::Avi:
        return MakeClip(QStringLiteral("clip12.avi"),
                        {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                         QStringLiteral("testsrc=size=160x120:rate=10:duration=1.2"), QStringLiteral("-c:v"),
                         QStringLiteral("mjpeg"), QStringLiteral("-q:v"), QStringLiteral("5"),
                         QStringLiteral("-an")});
    case ClipKind::Tone:
        return MakeClip(QStringLiteral("tone12s.mp4"),
                        QStringLiteral("-f lavfi -i testsrc2=size=160x120:rate=30:duration=12 "
                                       "-f lavfi -i sine=frequency=%1:sample_rate=48000:duration=12 "
                                       "-c:v libx264 -preset ultrafast -g 30 -bf 0 -pix_fmt yuv420p "
                                       "-c:a aac -b:a 128k -shortest")
                            .arg(kToneHz)
                            .split(QLatin1Char(' ')));
    case ClipKind::Broken: {
        const QString path = ClipDir() + QStringLiteral("/broken.avi");
        if (!QFileInfo::exists(path))
            testfiles::Write(path, QByteArray("RIFF....AVI LIST this is not a clip at all ").repeated(64));
        return path;
    }
    }
    return QString();
}

CTestCard::CTestCard(const std::vector<tagTESTCLIP> &clips)
{
    m_valid = m_dir.isValid();
    for (const tagTESTCLIP &clip : clips) {
        const QString source = ClipPath(clip.kind);
        const QString target = ClipFile(clip.name);
        QDir().mkpath(QFileInfo(target).path());
        if (source.isEmpty() || !QFile::copy(source, target)) {
            m_valid = false;
            continue;
        }
        if (!clip.syncTime.isEmpty() &&
            !testfiles::WriteSynced(
                DataFile(clip.name), clip.syncTime, QStringLiteral("130512"),
                QStringList{QStringLiteral("$ACCELERATOR,%1,130512,0.1,0.2,0.9,").arg(clip.syncTime)} +
                    clip.extraLines))
            m_valid = false;
    }
}

QString CTestCard::DataFile(const QString &name) const
{
    const QFileInfo clip(ClipFile(name));
    return clip.path() + QStringLiteral("/data/") + clip.completeBaseName() + QStringLiteral(".dat");
}

std::vector<tagTESTCLIP> ThreeRecordings()
{
    return {
        {QStringLiteral("20130512_083000N.mp4"), ClipKind::Mp4, QStringLiteral("083000.000")},
        {QStringLiteral("20130512_083010N.avi"), ClipKind::Avi, QStringLiteral("083010.000")},
        {QStringLiteral("20130512_083020N.mp4"), ClipKind::Mp4, QStringLiteral("083020.000")},
    };
}

void FrameTest::SetUp()
{
    m_scope = std::make_unique<CPromptScope>(m_prompt);
    m_doc = std::make_unique<CCorvanaDoc>();
    m_root = std::make_unique<CCompositionRoot>(m_doc.get());
    m_frame = m_root->Frame();
    m_ctl = m_root->Playback();
    m_frame->show();
    m_play = m_frame->PlayView();
    m_ctl->SetStepClock(&m_clock);
    m_list = m_frame->ListView();
    QObject::connect(m_ctl, &CPlaybackController::PositionChanged, m_frame, [this](const tagPLAYPOSITION &p) {
        m_origins.push_back(p.pOrigin);
        if (p.pOrigin == m_ctl->MainSession())
            m_published.push_back(p.llFrame);
    });
}

void FrameTest::TearDown()
{
    m_root.reset();
    m_frame = nullptr;
    m_ctl = nullptr;
    m_doc.reset();
    m_scope.reset();
}

void FrameTest::LoadCard(const CTestCard &card)
{
    m_prompt.QueueFolder(card.Path());
    ASSERT_TRUE(m_frame->Command(32791));
}

bool FrameTest::OpenRow(int row)
{
    return m_list->Open(row);
}

int64_t FrameTest::ShownFrame() const
{
    int64_t frame = -1;
    if (FAILED(m_play->Graph()->CurrentFrame(&frame)))
        return -1;
    return frame;
}

bool FrameTest::WaitUntilNotRunning(int limitMs)
{
    return stepping::RunToRest(*m_play->Session(), m_clock, limitMs);
}

} // namespace frametest
