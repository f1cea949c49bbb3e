// Opening, closing and reopening recordings, and copying and deleting them with their data files.
#include "shell/recordingactions.h"

#include "catalogue/corvanadoc.h"
#include "catalogue/recordinfo.h"
#include "playback/playbackcontroller.h"
#include "skin/prompt.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

const char kTitleCopyDestination[] = "Specify the destination folder to copy data.";
const char kMsgCopyMediaError[] = "An error occured in copying the media filename \n[%1]\n.";
const char kMsgCreateDirError[] = "Fail to create the \n%1\n directory.";
const char kMsgCopyDataError[] = "An error occured in copying the data filename \n%1\n.";
const char kMsgCopySuccess[] = "Success to copy the contents.";
const char kMsgDeleteQuestion[] = "The associated media and data files will be deleted. Are you sure you "
                                  "want to delete \n selected contents?";
const char kMsgDeleteMediaError[] = "An error occured in deleting the media filename \n[%1]\n.";
const char kMsgDeleteDataError[] = "An error occured in deleting the data filename \n%1\n.";
const char kMsgDeleteSuccess[] = "Success to delete the contents.";

QString Text(const char *s)
{
    return QString::fromLatin1(s);
}

} // namespace

CRecordingActions::CRecordingActions(const CCorvanaDoc *doc, IRecordingActionsHost *host, CPlaybackController *playback,
                                     QWidget *dialogParent)
    : m_doc(doc), m_host(host), m_playback(playback), m_dialogParent(dialogParent)
{
}

bool CRecordingActions::CopyFileNoOverwrite(const QString &source, const QString &target)
{
    const QFileInfo targetInfo(target);
    if (targetInfo.exists() || targetInfo.isSymLink())
        return false;
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return false;

    // A hidden name of our own beside the target; NewOnly never opens somebody else's file.
    QFile out;
    for (int attempt = 0; attempt < 16 && !out.isOpen(); ++attempt) {
        out.setFileName(
            targetInfo.absolutePath() + QStringLiteral("/.") + targetInfo.fileName() +
            QStringLiteral(".%1.part").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
        if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly) && out.error() != QFileDevice::OpenError)
            return false;
    }
    if (!out.isOpen())
        return false;
    const auto discard = [&out] {
        out.close();
        out.remove();
        return false;
    };
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 n = in.read(buffer.data(), buffer.size());
        if (n < 0)
            return discard();
        if (n == 0)
            break;
        if (out.write(buffer.constData(), n) != n)
            return discard();
    }
    if (!out.flush())
        return discard();
#ifdef Q_OS_UNIX
    // The name appears only for bytes that are on the disk.
    if (::fsync(out.handle()) != 0)
        return discard();
#endif
    out.setPermissions(in.permissions() | QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    out.setFileTime(in.fileTime(QFileDevice::FileModificationTime), QFileDevice::FileModificationTime);
    out.close();
    if (out.error() != QFileDevice::NoError)
        return discard();
    // Renaming never replaces a file that appeared meanwhile.
    if (!QFile::rename(out.fileName(), target))
        return discard();
    return true;
}

void CRecordingActions::CopyRecordings(const QList<int> &rows)
{
    QString folder;
    if (!CurrentPrompt().ChooseTargetFolder(m_dialogParent, Text(kTitleCopyDestination), &folder))
        return;
    const QString dest = QDir::cleanPath(folder);
    const QString root = QFileInfo(m_doc->Folder()).canonicalFilePath();
    const int total = static_cast<int>(rows.size());
    bool error = false;

    m_host->SetProgress(0);
    m_host->ShowProgress();
    for (int n = 0; n < total; ++n) {
        const int row = rows[n];
        m_host->SetProgress(n * 100 / total);
        const QString media = m_doc->MediaPathAt(row);
        // Only what lies in the loaded folder is copied, whatever a link on the card points at.
        if (!IsInsideFolder(media, root) ||
            !CopyFileNoOverwrite(media, dest + QLatin1Char('/') + FileNameOfPath(media))) {
            error = true;
            CurrentPrompt().Info(m_dialogParent, Text(kMsgCopyMediaError).arg(media));
            continue;
        }
        // The recording's other cameras go with it.
        for (const QString &other : OtherChannelClips(row)) {
            if (!IsInsideFolder(other, root) ||
                !CopyFileNoOverwrite(other, dest + QLatin1Char('/') + FileNameOfPath(other))) {
                error = true;
                CurrentPrompt().Info(m_dialogParent, Text(kMsgCopyMediaError).arg(other));
            }
        }
        const QStringList data = m_doc->DataFilesAt(row);
        if (data.isEmpty())
            continue;
        const QString dataDir = dest + QStringLiteral("/data");
        // A link named data would take the files elsewhere.
        const QFileInfo dataDirInfo(dataDir);
        if (dataDirInfo.isSymLink() || (!dataDirInfo.isDir() && !QDir().mkdir(dataDir))) {
            error = true;
            CurrentPrompt().Info(m_dialogParent, Text(kMsgCreateDirError).arg(dataDir));
            continue;
        }
        for (const QString &file : data) {
            if (!IsInsideFolder(file, root) ||
                !CopyFileNoOverwrite(file, dataDir + QLatin1Char('/') + FileNameOfPath(file))) {
                error = true;
                CurrentPrompt().Info(m_dialogParent, Text(kMsgCopyDataError).arg(file));
            }
        }
    }
    m_host->HideProgress();
    if (!error)
        CurrentPrompt().Info(m_dialogParent, Text(kMsgCopySuccess));
}

QStringList CRecordingActions::OtherChannelClips(int row) const
{
    QStringList clips;
    const tagRECORDINGCLIPS recording = m_doc->ClipsAt(row);
    for (int i = 1; i < recording.channels.size(); ++i)
        clips << recording.channels[i].strMediaPath;
    return clips;
}

void CRecordingActions::DeleteRecordings(const QList<int> &rows)
{
    if (!CurrentPrompt().AskYesNo(m_dialogParent, Text(kMsgDeleteQuestion)))
        return;
    const int currentIndex = m_playback->CurrentIndex();
    const QString currentPath = m_playback->MediaPath();
    const qint64 currentPosition = m_playback->Position();
    // Nothing outside the loaded folder is ever removed: the catalogue does not list it, and a
    // link changed on the card since the load is caught here.
    const QString root = QFileInfo(m_doc->Folder()).canonicalFilePath();
    const int total = static_cast<int>(rows.size());
    bool currentGone = false;
    bool error = false;

    m_host->SetProgress(0);
    m_host->ShowProgress();
    for (int n = 0; n < total; ++n) {
        const int row = rows[n];
        m_host->SetProgress(n * 100 / total);
        const QString media = m_doc->MediaPathAt(row);
        if (row == currentIndex && currentIndex >= 0)
            m_playback->Close();
        if (!IsInsideFolder(media, root) || !QFile::remove(media)) {
            // The clip stays, so its data file stays with it.
            error = true;
            CurrentPrompt().Info(m_dialogParent, Text(kMsgDeleteMediaError).arg(media));
            continue;
        }
        if (row == currentIndex)
            currentGone = true;
        for (const QString &other : OtherChannelClips(row)) {
            if (!IsInsideFolder(other, root) || !QFile::remove(other)) {
                error = true;
                CurrentPrompt().Info(m_dialogParent, Text(kMsgDeleteMediaError).arg(other));
            }
        }
        for (const QString &data : m_doc->DataFilesAt(row)) {
            if (!IsInsideFolder(data, root) || !QFile::remove(data)) {
                error = true;
                CurrentPrompt().Info(m_dialogParent, Text(kMsgDeleteDataError).arg(data));
            }
        }
    }
    m_host->HideProgress();
    m_host->RunLoadSequence();

    // A current recording that is still on the card (not selected, or its delete failed) is
    // opened again where it was.
    if (!currentGone && !currentPath.isEmpty())
        m_playback->Reopen(currentPath, currentPosition);
    if (!error)
        CurrentPrompt().Info(m_dialogParent, Text(kMsgDeleteSuccess));
    // The load sequence has taken the routes of the deleted recordings off the map.
    if (m_doc->Count() == 0)
        m_host->SetMapPageDue(0);
}
