// The notes on moments of a card: their file, and the settings for a card that cannot take it.
#include "catalogue/momentnotes.h"

#include "base/frametime.h"
#include "catalogue/channeloffsets.h"
#include "catalogue/cliptelemetry.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QSettings>
#include <QTimeZone>
#include <QVariantMap>

#include <algorithm>
#include <cmath>

namespace {

const char kSettingNotes[] = "notes/cards";
constexpr int kFormatVersion = 1;
// A clip's path on a card is never longer than this.
constexpr int kMaxClipPathLength = 1024;
// The largest integer a JSON number holds exactly.
constexpr double kMaxJsonInteger = 9007199254740992.0;

bool NoteLess(const tagMOMENTNOTE &a, const tagMOMENTNOTE &b)
{
    const int c = QString::compare(a.strClip, b.strClip);
    return c != 0 ? c < 0 : a.llFrame < b.llFrame;
}

bool IsRelativeClipPath(const QString &clip)
{
    if (clip.isEmpty() || clip.size() > kMaxClipPathLength || clip.startsWith(QLatin1Char('/')) ||
        clip.contains(QLatin1Char('\\')) || QDir::isAbsolutePath(clip))
        return false;
    const QStringList parts = clip.split(QLatin1Char('/'));
    return std::none_of(parts.cbegin(), parts.cend(), [](const QString &part) {
        return part.isEmpty() || part == QLatin1String(".") || part == QLatin1String("..");
    });
}

bool Integer(const QJsonValue &v, int64_t *out)
{
    if (!v.isDouble())
        return false;
    const double d = v.toDouble();
    if (!(d >= 0 && d <= kMaxJsonInteger) || std::floor(d) != d)
        return false;
    *out = static_cast<int64_t>(d);
    return true;
}

QString NoteName(int i)
{
    return QStringLiteral("note %1").arg(i + 1);
}

bool WriteFile(const QString &path, const QByteArray &bytes, QString *why)
{
    QSaveFile file(path);
    // Never written in place: a card that cannot take the file beside it keeps the one it has.
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        *why = file.errorString();
        return false;
    }
    return true;
}

} // namespace

QString MomentTimeText(const tagDATAFILEINFO &rec, int64_t frame, int64_t frameTime)
{
    int64_t wallMs = 0;
    if (rec.bValid != 1 || rec.bNoClock || !WallClockMs(rec.stSyncTime, &wallMs))
        return QString();
    wallMs += FrameStartMs(0, std::max<int64_t>(frameTime, 0), std::max<int64_t>(frame, 0));
    const bool utc = rec.bHasUtcOffset != 0;
    const QDateTime t = QDateTime::fromMSecsSinceEpoch(utc ? wallMs - rec.nUtcOffsetMs : wallMs, QTimeZone::utc());
    return t.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) + (utc ? QStringLiteral("Z") : QString());
}

QString MomentNoteText(const QString &text)
{
    QString line = text;
    for (QChar &c : line)
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = QLatin1Char(' ');
    return line.trimmed();
}

QByteArray MomentNotesJson(const QVector<tagMOMENTNOTE> &notes)
{
    QJsonArray list;
    for (const tagMOMENTNOTE &n : notes) {
        QJsonObject o;
        o.insert(QStringLiteral("clip"), n.strClip);
        o.insert(QStringLiteral("frame"), static_cast<qint64>(n.llFrame));
        o.insert(QStringLiteral("offset_ms"), static_cast<qint64>(n.llOffsetMs));
        o.insert(QStringLiteral("time"), n.strTime.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(n.strTime));
        o.insert(QStringLiteral("text"), n.strText);
        list.append(o);
    }
    QJsonObject root;
    root.insert(QStringLiteral("version"), kFormatVersion);
    root.insert(QStringLiteral("notes"), list);
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

bool ParseMomentNotes(const QByteArray &json, QVector<tagMOMENTNOTE> *notes, QString *why)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (doc.isNull()) {
        *why = QStringLiteral("it is no JSON (%1 at byte %2)").arg(error.errorString()).arg(error.offset);
        return false;
    }
    const QJsonObject root = doc.object();
    if (!doc.isObject() || root.value(QStringLiteral("version")).toInt(-1) != kFormatVersion ||
        !root.value(QStringLiteral("notes")).isArray()) {
        *why = QStringLiteral("it is no notes file of version %1").arg(kFormatVersion);
        return false;
    }
    const QJsonArray list = root.value(QStringLiteral("notes")).toArray();
    if (list.size() > kMaxMomentNotes) {
        *why = QStringLiteral("it holds %1 notes, more than %2").arg(list.size()).arg(kMaxMomentNotes);
        return false;
    }
    QVector<tagMOMENTNOTE> out;
    out.reserve(list.size());
    for (int i = 0; i < list.size(); ++i) {
        const QJsonObject o = list.at(i).toObject();
        tagMOMENTNOTE n;
        n.strClip = o.value(QStringLiteral("clip")).toString();
        const QJsonValue timeValue = o.value(QStringLiteral("time"));
        const QJsonValue text = o.value(QStringLiteral("text"));
        n.strText = text.toString();
        n.strTime = timeValue.toString();
        if (!list.at(i).isObject() || !IsRelativeClipPath(n.strClip)) {
            *why = NoteName(i) + QStringLiteral(" names no clip inside the card");
            return false;
        }
        if (!Integer(o.value(QStringLiteral("frame")), &n.llFrame) ||
            !Integer(o.value(QStringLiteral("offset_ms")), &n.llOffsetMs)) {
            *why = NoteName(i) + QStringLiteral(" has no frame and offset_ms of 0 or more");
            return false;
        }
        if (!(timeValue.isString() || timeValue.isNull() || timeValue.isUndefined())) {
            *why = NoteName(i) + QStringLiteral(" has a time that is no text");
            return false;
        }
        if (!text.isString() || n.strText.isEmpty() || n.strText.size() > kMaxMomentNoteLength ||
            MomentNoteText(n.strText) != n.strText) {
            *why = NoteName(i) + QStringLiteral(" has no text of one line of 1 to %1 characters").arg(kMaxMomentNoteLength);
            return false;
        }
        out.append(n);
    }
    std::sort(out.begin(), out.end(), NoteLess);
    for (int i = 1; i < out.size(); ++i) {
        if (out[i].strClip == out[i - 1].strClip && out[i].llFrame == out[i - 1].llFrame) {
            *why = QStringLiteral("two notes are at frame %1 of %2").arg(out[i].llFrame).arg(out[i].strClip);
            return false;
        }
    }
    *notes = out;
    return true;
}

// --- CMomentNotes --------------------------------------------------------------------------------

QString CMomentNotes::FilePath() const
{
    return m_folder.isEmpty() ? QString() : QDir(m_folder).filePath(QLatin1String(kMomentNotesFileName));
}

void CMomentNotes::Load(const QString &cardFolder)
{
    m_folder = cardFolder;
    m_notes.clear();
    m_place = Place::None;
    m_problem.clear();
    m_writeError.clear();
    if (m_folder.isEmpty())
        return;

    // The file, unless something else has its name (which no save can replace either).
    QVector<tagMOMENTNOTE> fromFile;
    bool haveFile = false;
    const QString path = FilePath();
    const QFileInfo info(path);
    if (info.isFile()) {
        QFile file(path);
        QString why;
        if (info.size() > kMaxMomentNotesFileBytes) {
            why = QStringLiteral("it is larger than %1 bytes").arg(kMaxMomentNotesFileBytes);
        } else if (!file.open(QIODevice::ReadOnly)) {
            why = QStringLiteral("it cannot be read (%1)").arg(file.errorString());
        } else {
            // It may have grown since it was measured: the bound holds for what is read.
            const QByteArray bytes = file.read(kMaxMomentNotesFileBytes + 1);
            if (bytes.size() > kMaxMomentNotesFileBytes)
                why = QStringLiteral("it is larger than %1 bytes").arg(kMaxMomentNotesFileBytes);
            else if (ParseMomentNotes(bytes, &fromFile, &why))
                haveFile = true;
        }
        if (!haveFile)
            m_problem = QStringLiteral("The notes file '%1' cannot be used: %2. It is left as it is; the notes of "
                                       "this card are kept in this computer's settings.")
                            .arg(QDir::toNativeSeparators(path), why);
    }

    if (haveFile) {
        m_notes = fromFile;
        m_place = Place::File;
    }
    // The settings' set, when a save could not reach the file, is the newer one; a note the file
    // holds beside it (the card written elsewhere meanwhile) is kept too.
    const QVariantMap cards = QSettings().value(QString::fromLatin1(kSettingNotes)).toMap();
    const QString key = CardKey(m_folder);
    QVector<tagMOMENTNOTE> kept;
    QString why;
    if (!cards.contains(key) || !ParseMomentNotes(cards.value(key).toString().toUtf8(), &kept, &why))
        return;
    for (const tagMOMENTNOTE &n : fromFile) {
        const auto at = std::lower_bound(kept.begin(), kept.end(), n, NoteLess);
        if ((at == kept.end() || at->strClip != n.strClip || at->llFrame != n.llFrame) && kept.size() < kMaxMomentNotes)
            kept.insert(at, n);
    }
    m_notes = kept;
    m_place = Place::Settings;
}

QVector<tagMOMENTNOTE> CMomentNotes::NotesOfClip(const QString &clip) const
{
    QVector<tagMOMENTNOTE> out;
    for (const tagMOMENTNOTE &n : m_notes)
        if (n.strClip == clip)
            out.append(n);
    return out;
}

const tagMOMENTNOTE *CMomentNotes::Find(const QString &clip, int64_t frame) const
{
    tagMOMENTNOTE key;
    key.strClip = clip;
    key.llFrame = frame;
    const auto it = std::lower_bound(m_notes.cbegin(), m_notes.cend(), key, NoteLess);
    return it != m_notes.cend() && it->strClip == clip && it->llFrame == frame ? &*it : nullptr;
}

QString CMomentNotes::ClipOf(const QString &mediaPath) const
{
    const QString absolute = QFileInfo(mediaPath).absoluteFilePath();
    QString rel = m_folder.isEmpty() ? QString() : QDir::cleanPath(QDir(m_folder).relativeFilePath(absolute));
    if (!IsRelativeClipPath(rel))
        rel = QFileInfo(mediaPath).fileName();
    return rel;
}

bool CMomentNotes::Set(tagMOMENTNOTE note, QString *why)
{
    note.strText = MomentNoteText(note.strText);
    if (note.strText.size() > kMaxMomentNoteLength) {
        *why = QStringLiteral("A note holds at most %1 characters.").arg(kMaxMomentNoteLength);
        return false;
    }
    if (m_folder.isEmpty() || !IsRelativeClipPath(note.strClip) || note.llFrame < 0) {
        *why = QStringLiteral("The note belongs to no recording of the loaded folder.");
        return false;
    }
    const QVector<tagMOMENTNOTE> before = m_notes;
    const auto it = std::lower_bound(m_notes.begin(), m_notes.end(), note, NoteLess);
    const bool there = it != m_notes.end() && it->strClip == note.strClip && it->llFrame == note.llFrame;
    if (note.strText.isEmpty()) {
        if (!there)
            return true;
        m_notes.erase(it);
    } else if (there) {
        *it = note;
    } else {
        if (m_notes.size() >= kMaxMomentNotes) {
            *why = QStringLiteral("This card holds %1 notes, the most it can keep.").arg(kMaxMomentNotes);
            return false;
        }
        m_notes.insert(it, note);
    }
    if (!Save(why)) {
        m_notes = before;
        return false;
    }
    return true;
}

bool CMomentNotes::Save(QString *why)
{
    const QByteArray json = MomentNotesJson(m_notes);
    const QString key = CardKey(m_folder);
    QSettings settings;
    QVariantMap cards = settings.value(QString::fromLatin1(kSettingNotes)).toMap();
    m_writeError.clear();
    if (m_problem.isEmpty()) {
        const QString path = FilePath();
        // Nothing to keep and no file to empty: the card is left as it was.
        const bool nothingToWrite = m_notes.isEmpty() && !QFileInfo(path).exists();
        QString failure;
        if (nothingToWrite || WriteFile(path, json, &failure)) {
            if (cards.remove(key) > 0)
                settings.setValue(QString::fromLatin1(kSettingNotes), cards);
            m_place = nothingToWrite ? Place::None : Place::File;
            return true;
        }
        m_writeError = QStringLiteral("The notes file '%1' cannot be written (%2); the notes of this card are kept "
                                      "in this computer's settings.")
                           .arg(QDir::toNativeSeparators(path), failure);
    } else {
        m_writeError = m_problem;
    }
    cards.insert(key, QString::fromUtf8(json));
    settings.setValue(QString::fromLatin1(kSettingNotes), cards);
    settings.sync();
    if (settings.status() != QSettings::NoError) {
        *why = QStringLiteral("The note could not be kept: neither the card nor this computer's settings can be written.");
        return false;
    }
    m_place = Place::Settings;
    return true;
}
