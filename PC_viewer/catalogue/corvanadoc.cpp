// Loading a recording folder into the document and keeping the three arrays in step.
#include "catalogue/corvanadoc.h"

#include "catalogue/cameraclock.h"
#include "catalogue/channeloffsets.h"
#include "catalogue/cliptelemetry.h"
#include "catalogue/nmealog.h"
#include "device_config/configstore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <QThread>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <numeric>
#include <filesystem>
#include <utility>
#include <vector>


namespace {

// The recording's channels with the card's offsets of the cameras after the main one.
tagRECORDINGCLIPS WithOffsets(tagRECORDINGCLIPS clips, const QHash<QString, int> &offsets)
{
    for (int i = 1; i < clips.channels.size(); ++i)
        clips.channels[i].nOffsetFrames = offsets.value(clips.channels[i].strName);
    return clips;
}

namespace fs = std::filesystem;

// What one folder holds, read once per load. Names are in the order the recorder's users see on
// their card (by name, without regard to case); matching of clip patterns, the data folder and
// data files ignores case, as on the card's FAT file system.
struct CFolderListing {
    QString path;
    QString root; // the canonical folder nothing is listed outside of
    QStringList files; // everything that is not a directory
    QStringList dirs;
    QHash<QString, QString> dirByLowerName;
    bool dataListed = false;
    QSet<QString> dataFileExact; // files of its "data" folder
    QHash<QString, QString> dataFileByLowerName;
    bool filesIndexed = false;
    QSet<QString> fileExact; // `files` again, for the logs beside a clip
    QHash<QString, QString> fileByLowerName;
};

bool NameLess(const QString &a, const QString &b)
{
    const int ci = QString::compare(a, b, Qt::CaseInsensitive);
    return ci != 0 ? ci < 0 : a < b;
}

QString FromNative(const fs::path &p)
{
#ifdef _WIN32
    return QString::fromStdWString(p.native());
#else
    return QFile::decodeName(QByteArray::fromStdString(p.native()));
#endif
}

fs::path ToNative(const QString &s)
{
#ifdef _WIN32
    return fs::path(s.toStdWString());
#else
    return fs::path(QFile::encodeName(s).toStdString());
#endif
}

// Lists one folder; a folder that vanished or cannot be read lists as empty. A link to a folder
// is listed only when it leads to a place inside `root` (a canonical path), so the catalogue
// never walks into, and never offers to delete, a tree outside the folder the user chose. A
// link to a file outside is listed (it plays), but delete and copy leave it alone.
void ListFolder(const QString &path, const QString &root, QStringList *files, QStringList *dirs)
{
    std::error_code ec;
    fs::directory_iterator it(ToNative(path), ec);
    if (ec)
        return;
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec)
            break;
        std::error_code typeEc;
        const QString name = FromNative(it->path().filename());
        const bool dir = it->is_directory(typeEc);
        if (dir && it->is_symlink(typeEc) && !IsInsideFolder(FromNative(it->path()), root))
            continue;
        if (dir)
            dirs->append(name);
        else
            files->append(name);
    }
    std::sort(files->begin(), files->end(), NameLess);
    std::sort(dirs->begin(), dirs->end(), NameLess);
}

void IndexDirs(CFolderListing *listing)
{
    for (const QString &d : listing->dirs) {
        if (d == QLatin1String("data") || !listing->dirByLowerName.contains(d.toLower()))
            listing->dirByLowerName.insert(d.toLower(), d);
    }
}

QString Join(const QString &folder, const QString &name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

// The folder and all its subfolders, depth first, each folder followed at once by its own
// subfolders. Links that lead back into the tree are followed only once; links that lead out of
// it (below `root`) are not followed at all.
void CollectFolders(const QString &folder, const QString &root, std::vector<CFolderListing> *out,
                    QSet<QString> *seen)
{
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    if (!canonical.isEmpty()) {
        if (seen->contains(canonical))
            return;
        seen->insert(canonical);
    }
    CFolderListing listing;
    listing.path = folder;
    listing.root = root;
    ListFolder(folder, root, &listing.files, &listing.dirs);
    IndexDirs(&listing);
    const QStringList dirs = listing.dirs;
    out->push_back(std::move(listing));
    for (const QString &d : dirs)
        CollectFolders(Join(folder, d), root, out, seen);
}

bool MatchesPattern(const QString &name, const QLatin1String &suffix)
{
    return name.endsWith(suffix, Qt::CaseInsensitive);
}

// The data folder's files, listed once.
bool ListDataFolder(CFolderListing &folder, QString *dataPath)
{
    const auto dataDir = folder.dirByLowerName.constFind(QStringLiteral("data"));
    if (dataDir == folder.dirByLowerName.constEnd())
        return false;
    *dataPath = Join(folder.path, *dataDir);
    if (!folder.dataListed) {
        QStringList files, dirs;
        ListFolder(*dataPath, folder.root, &files, &dirs);
        for (const QString &f : files) {
            folder.dataFileExact.insert(f);
            folder.dataFileByLowerName.insert(f.toLower(), f);
        }
        folder.dataListed = true;
    }
    return true;
}

// A name among listed files: the exact spelling first, else any spelling of it.
QString FindListed(const QSet<QString> &exact, const QHash<QString, QString> &byLowerName, const QString &name)
{
    if (exact.contains(name))
        return name;
    return byLowerName.value(name.toLower());
}

// The data file of a clip in this folder, or "" when there is none. An exact spelling wins over
// other spellings of the same name.
QString FindDataFile(CFolderListing &folder, const QString &clipPath)
{
    const QString expected = DataFilePathForClip(clipPath);
    const QString expectedName = expected.mid(expected.lastIndexOf(QLatin1Char('/')) + 1);
    QString dataPath;
    if (!ListDataFolder(folder, &dataPath))
        return QString();
    const QString found = FindListed(folder.dataFileExact, folder.dataFileByLowerName, expectedName);
    return found.isEmpty() ? QString() : Join(dataPath, found);
}

// A log beside a clip: <base>.<suffix> in the clip's folder, else in its data folder, for the
// first suffix that has one (any case of the name and the suffix).
QString FindClipLog(CFolderListing &folder, const QString &clipPath, std::initializer_list<const char *> suffixes)
{
    if (!folder.filesIndexed) {
        for (const QString &f : folder.files) {
            folder.fileExact.insert(f);
            folder.fileByLowerName.insert(f.toLower(), f);
        }
        folder.filesIndexed = true;
    }
    const QString name = FileNameOfPath(clipPath);
    const QString base = name.left(name.lastIndexOf(QLatin1Char('.')));
    QString dataPath;
    const bool hasData = ListDataFolder(folder, &dataPath);
    for (const char *suffix : suffixes) {
        const QString wanted = base + QLatin1Char('.') + QLatin1String(suffix);
        QString found = FindListed(folder.fileExact, folder.fileByLowerName, wanted);
        if (!found.isEmpty())
            return Join(folder.path, found);
        found = hasData ? FindListed(folder.dataFileExact, folder.dataFileByLowerName, wanted) : QString();
        if (!found.isEmpty())
            return Join(dataPath, found);
    }
    return QString();
}

tagCLIPSOURCES SourcesOfClip(CFolderListing &folder, const QString &clipPath)
{
    tagCLIPSOURCES sources;
    sources.clipPath = clipPath;
    sources.nmeaPath = FindClipLog(folder, clipPath, {kNmeaLogSuffixes[0], kNmeaLogSuffixes[1], kNmeaLogSuffixes[2]});
    sources.gpxPath = FindClipLog(folder, clipPath, {"gpx"});
    sources.accelPath = FindClipLog(folder, clipPath, {"3gf"});
    return sources;
}

// The time-zone setting: the recorder's configured time difference when the folder (or one of
// its parents) holds the recorder's configuration, else this computer's time zone.
CLocalClock ClockOfFolder(const QString &folder)
{
    double hours = 0.0;
    return CardTimeZoneHours(folder, &hours, nullptr) ? CLocalClock(hours) : CLocalClock();
}

struct CParsedClip {
    QString clipPath;
    QString dataPath;
    tagCLIPSOURCES sources;
    tagCLIPCLOCK clipClock;
    tagDATAFILEINFO info;
    QString moreDataPath; // a file that gave telemetry with the data path (a .3gf beside a .gps)
    bool openFailed = false;
    bool readAnyFix = false;
    bool firstFixUsedCarry = false;
    CDataFileInfo::GpsCarry endCarry;
};

// The telemetry of one clip: its data file when that gives a record, else the first of the other
// sources that does.
void ParseClip(CParsedClip *clip, const CLocalClock &clock)
{
    CDataFileInfo reader;
    reader.Load(clip->dataPath);
    clip->info = reader.Info();
    clip->openFailed = reader.OpenFailed();
    clip->readAnyFix = reader.ReadAnyFix();
    clip->firstFixUsedCarry = reader.FirstFixUsedCarry();
    clip->endCarry = reader.Carry();
    if (clip->info.bValid == 1) {
        clip->info.nSource = TS_DAT;
        return;
    }
    tagCLIPTELEMETRY other = ReadClipTelemetry(clip->sources, clock);
    if (other.info.bValid != 1) {
        clip->clipClock = other.clipClock;
        return;
    }
    // The log read is the recording's data file for copying and deleting; a track inside the
    // clip has none.
    clip->info = std::move(other.info);
    clip->dataPath = other.strSourcePath;
    if (clip->info.nSource == TS_BLACKVUE && !clip->sources.accelPath.isEmpty() &&
        clip->sources.accelPath != clip->dataPath)
        clip->moreDataPath = clip->sources.accelPath;
    clip->openFailed = false;
    clip->readAnyFix = clip->firstFixUsedCarry = false;
}

// Reads the data files of clips on a few threads. progress(n) is called on the calling thread,
// in order, once the first n clips are read (n from 0 to count - 1).
void ParseClips(std::vector<CParsedClip> *clips, const CLocalClock &clock, const std::function<void(int)> &progress)
{
    const int count = static_cast<int>(clips->size());
    if (count == 0)
        return;
    std::mutex mutex;
    std::condition_variable doneChanged;
    std::vector<char> done(static_cast<size_t>(count), 0);
    // Parses clip i. Every clip starts from a fresh reader so that the result never depends on
    // which thread read which clip before; the caller hands the carried fix on in scan order
    // afterwards.
    const auto parseOne = [&](int i) {
        CParsedClip &clip = (*clips)[static_cast<size_t>(i)];
        try {
            ParseClip(&clip, clock);
        } catch (const std::exception &) {
            // Out of memory on this file (the reader's limits keep one file small, but many at
            // once can still meet a full machine): the clip stays, as one without data.
            const QString clipPath = clip.clipPath;
            clip = CParsedClip();
            clip.clipPath = clipPath;
        }
        std::lock_guard<std::mutex> lock(mutex);
        done[static_cast<size_t>(i)] = 1;
        doneChanged.notify_all();
    };
    QVector<int> indexes(count);
    std::iota(indexes.begin(), indexes.end(), 0);
    // A pool of the load's own, so that work queued elsewhere never holds the load up.
    QThreadPool pool;
    pool.setMaxThreadCount(qBound(1, QThread::idealThreadCount(), 4));
    QFuture<void> reading = QtConcurrent::map(&pool, indexes, parseOne);

    // The progress of the finished prefix, as the clips come in.
    int reported = 0;
    progress(reported++);
    {
        std::unique_lock<std::mutex> lock(mutex);
        while (reported < count) {
            if (done[static_cast<size_t>(reported - 1)]) {
                lock.unlock();
                progress(reported++);
                lock.lock();
            } else {
                doneChanged.wait(lock);
            }
        }
    }
    reading.waitForFinished();
}

// One row of the catalogue before the clips of one moment are joined.
struct CCatalogueRow {
    QString mediaPath;
    QString dataPath;
    QString moreDataPath;
    tagDATAFILEINFO info;
    tagRECORDINGCLIPS clips;
};

// What another maker's clip name tells goes into its record where the telemetry said nothing:
// the kind when no recorder's data file gave one, the time for a record without a clock.
void ApplyClipName(const tagCAMERACLIPNAME &name, tagDATAFILEINFO *info)
{
    if (info->nSource != TS_DAT && name.nType != RT_UNKNOWN)
        info->nType = name.nType;
    info->bHasNameTime = 1;
    info->stNameTime = name.stTime;
    // The name is the camera's time: the card's correction moves it as it moved the rest.
    tagDATAFILEINFO named;
    named.bHasNameTime = 1;
    named.stNameTime = name.stTime;
    if (ShiftRecordTimes(&named, info->nClockCorrectionMs))
        info->stNameTime = named.stNameTime;
}

// A clip's record on its camera's clock, then corrected by the card's correction. A record taken
// from the user's track holds true times and keeps them.
void SetClockOfClip(const QString &clipPath, int64_t correctionMs, bool fromTrack, tagDATAFILEINFO *info)
{
    if (fromTrack)
        return;
    tagCAMERACLIPNAME name;
    if (info->nSource != TS_DAT && ReadCameraClipName(clipPath, &name))
        ApplyCameraClock(name.stTime, info);
    ApplyClockCorrection(correctionMs, info);
}

// A clip without telemetry of its own takes the track's points of its (corrected) time; true when
// it did.
bool TakeFromTrack(const QVector<tagGPXPOINT> &track, tagCLIPCLOCK clipClock, int64_t correctionMs,
                   const CLocalClock &clock, const QString &clipPath, tagDATAFILEINFO *info)
{
    if (info->bValid == 1 || track.isEmpty())
        return false;
    clipClock.nStartUtcMs += correctionMs;
    return RecordFromTrack(track, clipClock, clock, clipPath, info);
}

// Joins the rows of clips of one moment into one row per recording, in the order of their first
// clip; the main channel's clip gives the row its paths and record.
std::vector<CCatalogueRow> JoinChannels(std::vector<CCatalogueRow> rows)
{
    std::vector<CCatalogueRow> joined;
    joined.reserve(rows.size());
    QHash<QString, size_t> rowOfMoment;
    for (CCatalogueRow &row : rows) {
        tagCAMERACLIPNAME name;
        if (!ReadCameraClipName(row.mediaPath, &name)) {
            row.clips.channels = {{QLatin1String(kChannelFront), row.mediaPath}};
            joined.push_back(std::move(row));
            continue;
        }
        ApplyClipName(name, &row.info);
        const tagCHANNELCLIP channel{name.strChannel, row.mediaPath};
        const auto found = rowOfMoment.constFind(name.strMoment);
        if (found != rowOfMoment.constEnd()) {
            CCatalogueRow &into = joined[*found];
            QVector<tagCHANNELCLIP> &channels = into.clips.channels;
            const bool taken = std::any_of(channels.cbegin(), channels.cend(),
                                           [&](const tagCHANNELCLIP &c) { return c.strName == channel.strName; });
            if (!taken) {
                const int rank = ChannelRank(channel.strName);
                auto at = std::find_if(channels.begin(), channels.end(),
                                       [&](const tagCHANNELCLIP &c) { return ChannelRank(c.strName) > rank; });
                const bool main = at == channels.begin();
                channels.insert(at, channel);
                if (main) {
                    into.mediaPath = row.mediaPath;
                    into.dataPath = row.dataPath;
                    into.info = std::move(row.info);
                }
                continue;
            }
        }
        row.clips.channels = {channel};
        row.clips.strTip = name.strTip;
        row.clips.bEventTime = name.bEventTime;
        row.clips.stEventTime = name.stEventTime;
        rowOfMoment.insert(name.strMoment, joined.size());
        joined.push_back(std::move(row));
    }
    return joined;
}

} // namespace

CCorvanaDoc::CCorvanaDoc(QObject *parent) : QObject(parent) {}

void CCorvanaDoc::LoadFolder(const ProgressCallback &progress)
{
    const auto report = [&progress](int percent) {
        if (progress)
            progress(percent);
    };
    m_mediaPaths.clear();
    m_dataPaths.clear();
    m_moreDataPaths.clear();
    m_records.clear();
    m_clips.clear();
    m_offsets = ChannelOffsetsOfCard(m_folder);
    m_notes.Load(m_folder);
    const CLocalClock clock = ClockOfFolder(m_folder);
    const int64_t correction = ClockCorrectionOfCard(m_folder);
    std::vector<CCatalogueRow> rows;

    // The tree is read once; both clip patterns scan the same listings.
    std::vector<CFolderListing> folders;
    QSet<QString> seen;
    CollectFolders(m_folder, QFileInfo(m_folder).canonicalFilePath(), &folders, &seen);
    const int folderCount = static_cast<int>(folders.size());
    CDataFileInfo::GpsCarry carry = m_reader.Carry();

    for (const QLatin1String suffix : {QLatin1String(".avi"), QLatin1String(".mp4")}) {
        report(10);
        int total = 0;
        for (int h = 0; h < folderCount; ++h) {
            for (const QString &f : folders[h].files)
                total += MatchesPattern(f, suffix) ? 1 : 0;
            report((20 / folderCount) * h + 10);
        }
        // Pair every clip of this pattern with its data file, in scan order; then read the
        // data files on all cores.
        std::vector<CParsedClip> clips;
        clips.reserve(static_cast<size_t>(total));
        for (CFolderListing &folder : folders) {
            for (const QString &f : folder.files) {
                if (!MatchesPattern(f, suffix))
                    continue;
                CParsedClip clip;
                clip.clipPath = Join(folder.path, f);
                clip.dataPath = FindDataFile(folder, clip.clipPath);
                clip.sources = SourcesOfClip(folder, clip.clipPath);
                clips.push_back(std::move(clip));
            }
        }
        ParseClips(&clips, clock, [&](int collected) { report(collected * 40 / total + 30); });
        for (CParsedClip &clip : clips) {
            // A clip whose first fix stops early takes the previous clip's last position, as
            // one reader going through the clips in order would give it.
            if (clip.firstFixUsedCarry) {
                m_reader.SetCarry(carry);
                m_reader.Load(clip.dataPath);
                clip.info = m_reader.Info();
                clip.endCarry = m_reader.Carry();
            }
            if (clip.readAnyFix)
                carry = clip.endCarry;
            const bool fromTrack =
                TakeFromTrack(m_trackPoints, clip.clipClock, correction, clock, clip.clipPath, &clip.info);
            SetClockOfClip(clip.clipPath, correction, fromTrack, &clip.info);
            CCatalogueRow row;
            row.mediaPath = clip.clipPath;
            row.dataPath = clip.openFailed ? QString() : clip.dataPath; // unreadable counts as missing
            row.moreDataPath = clip.moreDataPath;
            row.info = std::move(clip.info);
            rows.push_back(std::move(row));
        }
    }
    for (CCatalogueRow &row : JoinChannels(std::move(rows))) {
        m_mediaPaths.append(row.mediaPath);
        m_dataPaths.append(row.dataPath);
        m_moreDataPaths.append(row.moreDataPath);
        m_records.append(std::move(row.info));
        m_clips.append(std::move(row.clips));
    }
    m_reader.SetCarry(carry);
    Sort(2);
}

QString CCorvanaDoc::DataFileOfClip(const QString &clipPath)
{
    const QFileInfo clip(clipPath);
    CFolderListing folder;
    folder.path = clip.path();
    folder.root = QFileInfo(folder.path).canonicalFilePath();
    QStringList files;
    ListFolder(folder.path, folder.root, &files, &folder.dirs);
    IndexDirs(&folder);
    return FindDataFile(folder, Join(folder.path, clip.fileName()));
}

tagDATAFILEINFO CCorvanaDoc::RecordOfClip(const QString &clipPath, const QVector<tagGPXPOINT> &track)
{
    const QFileInfo info(clipPath);
    CFolderListing folder;
    folder.path = info.path();
    folder.root = QFileInfo(folder.path).canonicalFilePath();
    ListFolder(folder.path, folder.root, &folder.files, &folder.dirs);
    IndexDirs(&folder);
    const CLocalClock clock = ClockOfFolder(folder.path);
    CParsedClip clip;
    clip.clipPath = Join(folder.path, info.fileName());
    clip.dataPath = FindDataFile(folder, clip.clipPath);
    clip.sources = SourcesOfClip(folder, clip.clipPath);
    ParseClip(&clip, clock);
    const int64_t correction = ClockCorrectionOfClip(clip.clipPath);
    const bool fromTrack = TakeFromTrack(track, clip.clipClock, correction, clock, clip.clipPath, &clip.info);
    SetClockOfClip(clip.clipPath, correction, fromTrack, &clip.info);
    tagCAMERACLIPNAME name;
    if (ReadCameraClipName(clip.clipPath, &name))
        ApplyClipName(name, &clip.info);
    return clip.info;
}

tagRECORDINGCLIPS CCorvanaDoc::RecordingOfClip(const QString &clipPath)
{
    const QFileInfo info(clipPath);
    const QString clip = Join(info.path(), info.fileName());
    tagCAMERACLIPNAME name;
    if (!ReadCameraClipName(clip, &name)) {
        tagRECORDINGCLIPS single;
        single.channels = {{QLatin1String(kChannelFront), clip}};
        return single;
    }
    // The clip's own folder, and for makers with a folder per camera the folders beside it.
    QStringList folders{info.path()};
    if (name.bFolderPerCamera) {
        const QString parent = QFileInfo(info.path()).path();
        const QString root = QFileInfo(parent).canonicalFilePath();
        QStringList files, dirs;
        ListFolder(parent, root, &files, &dirs);
        for (const QString &d : dirs)
            if (Join(parent, d) != info.path())
                folders << Join(parent, d);
    }
    std::vector<CCatalogueRow> rows;
    for (const QString &folder : folders) {
        QStringList files, dirs;
        ListFolder(folder, QFileInfo(folder).canonicalFilePath(), &files, &dirs);
        for (const QString &f : files) {
            tagCAMERACLIPNAME other;
            if (!MatchesPattern(f, QLatin1String(".avi")) && !MatchesPattern(f, QLatin1String(".mp4")))
                continue;
            const QString path = Join(folder, f);
            if (path == clip || (ReadCameraClipName(path, &other) && other.strMoment == name.strMoment)) {
                CCatalogueRow row;
                row.mediaPath = path;
                rows.push_back(std::move(row));
            }
        }
    }
    for (CCatalogueRow &row : JoinChannels(std::move(rows)))
        for (const tagCHANNELCLIP &c : row.clips.channels)
            if (c.strMediaPath == clip)
                return WithOffsets(row.clips, ChannelOffsetsOfClip(clip));
    tagRECORDINGCLIPS single;
    single.channels = {{name.strChannel, clip}};
    return single;
}

bool CCorvanaDoc::SetTrackFile(const QString &path, QString *error)
{
    if (path.isEmpty()) {
        m_trackPath.clear();
        m_trackPoints.clear();
        return true;
    }
    QVector<tagGPXPOINT> points;
    if (!ReadTrackFile(path, &points, error))
        return false;
    m_trackPath = path;
    m_trackPoints = std::move(points);
    return true;
}

bool CCorvanaDoc::ReadTrackFile(const QString &path, QVector<tagGPXPOINT> *points, QString *error)
{
    CGpxTrack track;
    if (!track.Load(path) || track.Points().isEmpty()) {
        if (error) {
            *error = track.OpenFailed() ? QStringLiteral("cannot read %1").arg(path)
                     : !track.Error().isEmpty()
                         ? QStringLiteral("%1 holds no track point with a time (%2)").arg(path, track.Error())
                         : QStringLiteral("%1 holds no track point with a time").arg(path);
        }
        return false;
    }
    *points = track.Points();
    return true;
}

tagDATAFILEINFO CCorvanaDoc::RecordAt(int index) const
{
    if (index < 0 || index >= Count())
        return tagDATAFILEINFO();
    return m_records.at(index);
}

const tagDATAFILEINFO &CCorvanaDoc::RecordRef(int index) const
{
    static const tagDATAFILEINFO kEmpty;
    if (index < 0 || index >= Count())
        return kEmpty;
    return m_records.at(index);
}

QString CCorvanaDoc::MediaPathAt(int index) const
{
    return m_mediaPaths.value(index);
}

QString CCorvanaDoc::DataPathAt(int index) const
{
    return m_dataPaths.value(index);
}

QStringList CCorvanaDoc::DataFilesAt(int index) const
{
    QStringList files;
    for (const QString &f : {m_dataPaths.value(index), m_moreDataPaths.value(index)})
        if (!f.isEmpty())
            files << f;
    return files;
}

tagRECORDINGCLIPS CCorvanaDoc::ClipsAt(int index) const
{
    return WithOffsets(m_clips.value(index), m_offsets);
}

void CCorvanaDoc::SetChannelOffset(const QString &channel, int frames)
{
    KeepChannelOffset(m_folder, channel, frames);
    m_offsets = ChannelOffsetsOfCard(m_folder);
}

bool CCorvanaDoc::SetNote(const tagMOMENTNOTE &note, QString *why)
{
    if (!m_notes.Set(note, why))
        return false;
    emit NotesChanged();
    return true;
}

void CCorvanaDoc::Swap(int i, int j)
{
    if (i < 0 || j < 0 || i >= Count() || j >= Count() || i == j)
        return;
    m_mediaPaths.swapItemsAt(i, j);
    m_dataPaths.swapItemsAt(i, j);
    m_moreDataPaths.swapItemsAt(i, j);
    m_records.swapItemsAt(i, j);
    m_clips.swapItemsAt(i, j);
}

void CCorvanaDoc::Sort(int mode)
{
    // Exchange sort over all pairs, as the recorder's users have always seen it ordered: equal
    // times never swap, so equal keys end up in an order of the exchanges' making.
    struct Key {
        bool valid;
        int64_t ms;
    };
    const int n = Count();
    std::vector<Key> keys(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        int64_t ms = 0;
        // A record whose sync time is outside the calendar has no place in time; it sorts with
        // the recordings without data.
        keys[i].valid = OrderingKey(m_records.at(i), &ms);
        keys[i].ms = ms;
    }
    for (int k = 0; k < n; ++k) {
        for (int l = k + 1; l < n; ++l) {
            bool swap = false;
            if (keys[k].valid && keys[l].valid)
                swap = mode == 1 ? keys[l].ms > keys[k].ms : (mode == 2 && keys[l].ms < keys[k].ms);
            else if (!keys[k].valid && keys[l].valid)
                swap = true;
            if (swap) {
                Swap(k, l);
                std::swap(keys[k], keys[l]);
            }
        }
    }
}

int CCorvanaDoc::ExportGpx(int index, const QString &outputPath) const
{
    if (index < 0 || index >= Count())
        return 0;
    return CDataFileInfo::WriteGpx(outputPath, FixesInUtc(m_records.at(index)));
}
