// Copying and hashing a package's files, its SHA256SUMS and manifest.json, the recorder's clock
// offset and time zone, and the "Evidence" pages of the report.
#include "export/evidence.h"

#include "base/clocktime.h"
#include "base/sha256.h"
#include "catalogue/datafileinfo.h"
#include "device_config/deviceconfig.h"
#include "device_config/regiontable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <memory>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// ---------------------------------------------------------------------------------------
// Files

QString ErrnoText(int err)
{
    return QString::fromStdString(std::generic_category().message(err));
}

bool Cancelled(const std::atomic<bool> *cancel)
{
    return cancel && cancel->load(std::memory_order_relaxed);
}

QString WriteFailure(const QString &path, int err)
{
    // A file-size limit (EFBIG) and a used-up quota stop a copy the way a full disk does, and the
    // driver's remedy is the same: another, larger target.
    if (err == ENOSPC || err == EFBIG || err == EDQUOT)
        return QStringLiteral("cannot write %1: the disk is full").arg(path);
    return QStringLiteral("cannot write %1: %2").arg(path, ErrnoText(err));
}

// A file descriptor that is closed when it goes out of scope.
class CFileDescriptor
{
public:
    explicit CFileDescriptor(int fd) : m_fd(fd) {}
    ~CFileDescriptor() { Close(); }
    CFileDescriptor(const CFileDescriptor &) = delete;
    CFileDescriptor &operator=(const CFileDescriptor &) = delete;

    int Get() const { return m_fd; }
    bool IsOpen() const { return m_fd >= 0; }
    // 0, or the errno of a failed close (where a delayed write error may show). Linux releases
    // the descriptor even then, so a close is never repeated.
    int Close()
    {
        if (m_fd < 0)
            return 0;
        const int result = ::close(m_fd);
        m_fd = -1;
        return result == 0 ? 0 : errno;
    }

private:
    int m_fd;
};

// Opens a regular file for reading; a folder, pipe or device named like a clip would fail late
// or block.
int OpenForReading(const QString &path, QString *why)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *why = QStringLiteral("cannot read %1: %2").arg(path, ErrnoText(errno));
        return -1;
    }
    struct stat st = {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        *why = QStringLiteral("cannot read %1: it is not a regular file").arg(path);
        ::close(fd);
        return -1;
    }
    return fd;
}

// Reads the file to its end in blocks, hashing each one and handing it to `sink` (which says why
// when it fails). Cancel is polled before every block.
bool ReadAndHash(int fd, const QString &path, const std::atomic<bool> *cancel,
                 const std::function<bool(const char *, qint64, QString *)> &sink, tagEVIDENCEFILE *out,
                 QString *why)
{
    const std::unique_ptr<char[]> block(new char[kEvidenceBlockSize]);
    CSha256 hash;
    if (!hash.IsValid()) {
        *why = QStringLiteral("no SHA-256");
        return false;
    }
    qint64 done = 0;
    for (;;) {
        if (Cancelled(cancel)) {
            *why = QStringLiteral("cancelled");
            return false;
        }
        const ssize_t got = ::read(fd, block.get(), static_cast<size_t>(kEvidenceBlockSize));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            *why = QStringLiteral("cannot read %1: %2").arg(path, ErrnoText(errno));
            return false;
        }
        if (got == 0)
            break;
        hash.Add(block.get(), got);
        if (sink && !sink(block.get(), got, why))
            return false;
        done += got;
    }
    const QByteArray digest = hash.Result();
    if (digest.isEmpty()) {
        *why = QStringLiteral("no SHA-256");
        return false;
    }
    out->llSize = done;
    out->hexSha256 = digest.toHex();
    return true;
}

bool WriteAll(int fd, const char *data, qint64 size, int *err)
{
    while (size > 0) {
        const ssize_t put = ::write(fd, data, static_cast<size_t>(size));
        if (put < 0) {
            if (errno == EINTR)
                continue;
            *err = errno;
            return false;
        }
        data += put;
        size -= put;
    }
    return true;
}

// ---------------------------------------------------------------------------------------
// manifest.json: written by hand because QJsonDocument orders an object's keys by name.

constexpr int kJsonIndent = 4;

QByteArray JsonString(const QString &text)
{
    QByteArray out("\"");
    for (const char c : text.toUtf8()) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20)
                out += "\\u00" + QByteArray::number(static_cast<int>(c) + 0x100, 16).right(2);
            else
                out += c;
        }
    }
    return out + '"';
}

using tagJSONMEMBER = std::pair<const char *, QByteArray>;

// An object or array whose values are already written for the depth below `depth`.
QByteArray JsonObject(const QList<tagJSONMEMBER> &members, int depth)
{
    if (members.isEmpty())
        return "{}";
    const QByteArray inner((depth + 1) * kJsonIndent, ' ');
    QByteArray out("{\n");
    for (qsizetype i = 0; i < members.size(); ++i) {
        out += inner + JsonString(QString::fromLatin1(members.at(i).first)) + ": " + members.at(i).second;
        out += i + 1 < members.size() ? ",\n" : "\n";
    }
    return out + QByteArray(depth * kJsonIndent, ' ') + '}';
}

QByteArray JsonArray(const QList<QByteArray> &items, int depth)
{
    if (items.isEmpty())
        return "[]";
    const QByteArray inner((depth + 1) * kJsonIndent, ' ');
    QByteArray out("[\n");
    for (qsizetype i = 0; i < items.size(); ++i) {
        out += inner + items.at(i);
        out += i + 1 < items.size() ? ",\n" : "\n";
    }
    return out + QByteArray(depth * kJsonIndent, ' ') + ']';
}

// ---------------------------------------------------------------------------------------
// Data files

constexpr qint64 kUnixEpochJulianDay = 2440588;
constexpr qint64 kMsPerDay = 24 * 3600 * 1000;
constexpr int kDateDigits = 6;

// The fields of a line that a comma follows; the text after the last comma is not one.
QList<QByteArrayView> CommaFields(QByteArrayView line)
{
    QList<QByteArrayView> fields;
    qsizetype start = 0;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == ',') {
            fields.append(line.sliced(start, i - start));
            start = i + 1;
        }
    }
    return fields;
}

bool Digits(QByteArrayView text, qsizetype from, qsizetype count, int *value)
{
    if (from + count > text.size())
        return false;
    *value = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        *value = *value * 10 + (text[i] - '0');
    }
    return true;
}

bool ParseClockTime(QByteArrayView field, QTime *time)
{
    const int ms = ClockTimeMs(field.data(), static_cast<int>(field.size()), false);
    if (ms < 0)
        return false;
    *time = QTime::fromMSecsSinceStartOfDay(ms);
    return true;
}

// Six digits in the order the line writes them: yymmdd for the recorder's lines, ddmmyy for a fix.
bool ParseClockDate(QByteArrayView field, bool dayFirst, QDate *date)
{
    int a, b, c;
    if (field.size() != kDateDigits || !Digits(field, 0, 2, &a) || !Digits(field, 2, 2, &b) ||
        !Digits(field, 4, 2, &c))
        return false;
    const int year = 2000 + (dayFirst ? c : a);
    const int day = dayFirst ? a : c;
    if (!QDate::isValid(year, b, day))
        return false;
    *date = QDate(year, b, day);
    return true;
}

// Milliseconds of a calendar date and time counted as if it were UTC: the computer's own zone and
// daylight saving never enter.
qint64 CalendarMs(const QDate &date, const QTime &time)
{
    return (date.toJulianDay() - kUnixEpochJulianDay) * kMsPerDay + time.msecsSinceStartOfDay();
}

bool ParseFieldsTime(const QList<QByteArrayView> &f, int timeField, int dateField, bool dayFirst, qint64 *ms)
{
    QTime time;
    QDate date;
    if (f.size() <= std::max(timeField, dateField) || !ParseClockTime(f.at(timeField), &time) ||
        !ParseClockDate(f.at(dateField), dayFirst, &date))
        return false;
    *ms = CalendarMs(date, time);
    return true;
}

// ---------------------------------------------------------------------------------------
// Evidence pages. Sizes are pixels of an A4 page at 96 dpi; the painter scales them to the page's
// width, so the layout depends only on the page's proportions.

constexpr qreal kPageLogicalWidth = 794;
constexpr qreal kMargin = 48;
constexpr qreal kTitleGap = 14;
constexpr qreal kFactGap = 4;
constexpr qreal kTableGap = 18;
constexpr qreal kLabelWidth = 170;
constexpr qreal kSizeColumnWidth = 130;
constexpr qreal kHashIndent = 12;
constexpr qreal kCellPadding = 3;
constexpr qreal kRulePenWidth = 0.75;
constexpr int kTitlePx = 24;
constexpr int kFactPx = 11;
constexpr int kTablePx = 10;
constexpr int kHashPx = 10;
constexpr int kFooterPx = 9;
constexpr int kMaxValueLines = 4;
// A wrapped value is measured a little narrower than it is drawn: text laid out for a 1200-dpi
// printer may come out a little wider than measured here, and must not wrap onto a line that the
// layout has not made room for.
constexpr qreal kWrapSlack = 0.96;
const QColor kRuleColour(140, 140, 140);

QFont SansFont(int px, bool bold = false)
{
    QFont f(QStringLiteral("Arial"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(px);
    f.setBold(bold);
    return f;
}

// The hashes must read unambiguously and line up: a fixed-pitch face.
QFont HashFont()
{
    QFont f(QStringLiteral("Courier New"));
    f.setStyleHint(QFont::TypeWriter);
    f.setFixedPitch(true);
    f.setPixelSize(kHashPx);
    return f;
}

QStringList FactLabels(const tagEVIDENCEFACTS &facts)
{
    QStringList labels{QStringLiteral("Program"),   QStringLiteral("Version"), QStringLiteral("Exported (UTC)"),
                       QStringLiteral("Time zone"), QStringLiteral("Range"),   QStringLiteral("Recorder clock offset")};
    if (!facts.strClockCorrection.isEmpty())
        labels << QStringLiteral("Clock correction");
    if (!facts.strNotes.isEmpty())
        labels << QStringLiteral("Notes");
    return labels;
}

QStringList FactValues(const tagEVIDENCEFACTS &facts)
{
    const QString exported = facts.exportUtc.isValid()
                                 ? facts.exportUtc.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                                 : QStringLiteral("unknown");
    const QString offset = facts.strClockOffset.isEmpty()
                               ? ClockOffsetText(facts.bClockOffsetKnown, facts.llClockOffsetMs)
                               : facts.strClockOffset;
    QStringList values{facts.strProgram, facts.strVersion, exported, facts.strTimeZone, facts.strRange, offset};
    if (!facts.strClockCorrection.isEmpty())
        values << facts.strClockCorrection;
    if (!facts.strNotes.isEmpty())
        values << facts.strNotes;
    return values;
}

// Where everything of the pages lies, in logical pixels; both the page count and the drawing
// read it, so they always agree.
struct tagEVIDENCELAYOUT {
    qreal scale = 0;
    qreal height = 0;
    qreal innerWidth = 0;
    qreal titleHeight = 0;
    QList<qreal> factHeights;
    qreal firstTableTop = 0;
    qreal otherTableTop = 0;
    qreal headerHeight = 0;
    qreal sansLine = 0;
    qreal rowHeight = 0;
    qreal footerTop = 0;
    int firstRows = 0;
    int otherRows = 1;
    int pages = 0;

    int FirstFile(int page) const { return page == 0 ? 0 : firstRows + (page - 1) * otherRows; }
    int RowsOn(int page) const { return page == 0 ? firstRows : otherRows; }
};

tagEVIDENCELAYOUT EvidenceLayout(const QSize &pageSize, const tagEVIDENCEFACTS &facts)
{
    tagEVIDENCELAYOUT l;
    if (pageSize.width() <= 0 || pageSize.height() <= 0)
        return l;
    l.scale = pageSize.width() / kPageLogicalWidth;
    l.height = pageSize.height() / l.scale;
    l.innerWidth = kPageLogicalWidth - 2 * kMargin;
    l.titleHeight = QFontMetricsF(SansFont(kTitlePx, true)).height();

    const QFontMetricsF fact(SansFont(kFactPx));
    const qreal valueWidth = l.innerWidth - kLabelWidth;
    qreal y = kMargin + l.titleHeight + kTitleGap;
    for (const QString &value : FactValues(facts)) {
        const qreal wrapped =
            fact.boundingRect(QRectF(0, 0, valueWidth * kWrapSlack, 1e6), Qt::TextWordWrap, value).height();
        const qreal h = std::clamp(wrapped, fact.height(), kMaxValueLines * fact.lineSpacing());
        l.factHeights.append(h);
        y += h + kFactGap;
    }
    l.firstTableTop = y + kTableGap;
    l.otherTableTop = kMargin + l.titleHeight + kTitleGap;

    l.sansLine = QFontMetricsF(SansFont(kTablePx)).height();
    l.headerHeight = QFontMetricsF(SansFont(kTablePx, true)).height() + 2 * kCellPadding;
    l.rowHeight = l.sansLine + QFontMetricsF(HashFont()).height() + 2 * kCellPadding;
    l.footerTop = l.height - kMargin;
    const auto rowsBetween = [&](qreal top) {
        return static_cast<int>(std::floor((l.footerTop - kTableGap - top - l.headerHeight) / l.rowHeight));
    };
    l.firstRows = std::max(0, rowsBetween(l.firstTableTop));
    // A page too short for a row still takes one, so that every file is drawn somewhere.
    l.otherRows = std::max(1, rowsBetween(l.otherTableTop));
    const qsizetype rest = std::max<qsizetype>(0, facts.files.size() - l.firstRows);
    l.pages = 1 + static_cast<int>((rest + l.otherRows - 1) / l.otherRows);
    return l;
}

void DrawRule(QPainter &p, qreal y, qreal width)
{
    p.setPen(QPen(kRuleColour, kRulePenWidth));
    p.drawLine(QPointF(kMargin, y), QPointF(kMargin + width, y));
    p.setPen(Qt::black);
}

void DrawFacts(QPainter &p, const tagEVIDENCELAYOUT &l, const tagEVIDENCEFACTS &facts)
{
    const QStringList labels = FactLabels(facts);
    const QStringList values = FactValues(facts);
    const qreal valueWidth = l.innerWidth - kLabelWidth;
    qreal y = kMargin + l.titleHeight + kTitleGap;
    for (qsizetype i = 0; i < labels.size(); ++i) {
        const qreal h = l.factHeights.at(i);
        p.setFont(SansFont(kFactPx, true));
        p.drawText(QRectF(kMargin, y, kLabelWidth, h), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                   labels.at(i));
        p.setFont(SansFont(kFactPx));
        p.drawText(QRectF(kMargin + kLabelWidth, y, valueWidth, h),
                   Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, values.at(i));
        y += h + kFactGap;
    }
}

void DrawFileTable(QPainter &p, const tagEVIDENCELAYOUT &l, const tagEVIDENCEFACTS &facts, int page)
{
    const qreal top = page == 0 ? l.firstTableTop : l.otherTableTop;
    const qreal pathWidth = l.innerWidth - kSizeColumnWidth;
    const qreal sizeLeft = kMargin + pathWidth;
    p.setFont(SansFont(kTablePx, true));
    p.drawText(QRectF(kMargin, top + kCellPadding, pathWidth, l.sansLine),
               Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, QStringLiteral("File and SHA-256"));
    p.drawText(QRectF(sizeLeft, top + kCellPadding, kSizeColumnWidth, l.sansLine),
               Qt::AlignRight | Qt::AlignTop | Qt::TextSingleLine, QStringLiteral("Size (bytes)"));
    DrawRule(p, top + l.headerHeight, l.innerWidth);

    const QFont sans = SansFont(kTablePx);
    const QFont mono = HashFont();
    // The path is cut in its middle only when it cannot fit: the whole of it is in SHA256SUMS and
    // the manifest, and a fixed row height keeps the pages' count predictable.
    const QFontMetricsF pathMetrics(sans);
    const int first = l.FirstFile(page);
    const int last = std::min<int>(static_cast<int>(facts.files.size()), first + l.RowsOn(page));
    qreal y = top + l.headerHeight;
    for (int i = first; i < last; ++i) {
        const tagEVIDENCEFILE &f = facts.files.at(i);
        p.setFont(sans);
        QString camera = f.strCamera.isEmpty() ? QString() : QStringLiteral(" (%1 camera)").arg(f.strCamera);
        if (!f.strDerived.isEmpty())
            camera += QStringLiteral(" (derived: %1)").arg(f.strDerived);
        const QString path =
            pathMetrics.elidedText(f.strPath, Qt::ElideMiddle, pathWidth - kHashIndent - pathMetrics.horizontalAdvance(camera)) +
            camera;
        p.drawText(QRectF(kMargin, y + kCellPadding, pathWidth, l.sansLine),
                   Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip, path);
        p.drawText(QRectF(sizeLeft, y + kCellPadding, kSizeColumnWidth, l.sansLine),
                   Qt::AlignRight | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip,
                   QString::number(f.llSize));
        p.setFont(mono);
        p.drawText(QRectF(kMargin + kHashIndent, y + kCellPadding + l.sansLine, l.innerWidth - kHashIndent,
                          l.rowHeight - l.sansLine - 2 * kCellPadding),
                   Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip,
                   QString::fromLatin1(f.hexSha256));
        y += l.rowHeight;
        DrawRule(p, y, l.innerWidth);
    }
}

} // namespace

// ---------------------------------------------------------------------------------------

bool CopyAndHashFile(const QString &src, const QString &dst, const std::atomic<bool> *cancel,
                     const std::function<void(qint64)> &progress, tagEVIDENCEFILE *out, QString *why)
{
    QString reason;
    if (Cancelled(cancel)) {
        *why = QStringLiteral("cancelled");
        return false;
    }
    CFileDescriptor in(OpenForReading(src, &reason));
    if (!in.IsOpen()) {
        *why = reason;
        return false;
    }
    const QByteArray dstName = QFile::encodeName(dst);
    CFileDescriptor outFile(::open(dstName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!outFile.IsOpen()) {
        const int err = errno;
        *why = err == EEXIST ? QStringLiteral("cannot create %1: it already exists").arg(dst)
                             : QStringLiteral("cannot create %1: %2").arg(dst, ErrnoText(err));
        return false;
    }
    qint64 done = 0;
    const auto sink = [&](const char *data, qint64 size, QString *sinkWhy) {
        int err = 0;
        if (!WriteAll(outFile.Get(), data, size, &err)) {
            *sinkWhy = WriteFailure(dst, err);
            return false;
        }
        done += size;
        if (progress)
            progress(done);
        return true;
    };
    tagEVIDENCEFILE result;
    bool ok = ReadAndHash(in.Get(), src, cancel, sink, &result, &reason);
    // A copy counts only once it is on the disk: a full disk may show no earlier than here.
    if (ok && ::fsync(outFile.Get()) != 0) {
        reason = WriteFailure(dst, errno);
        ok = false;
    }
    const int closeErr = outFile.Close();
    if (ok && closeErr != 0) {
        reason = WriteFailure(dst, closeErr);
        ok = false;
    }
    if (!ok) {
        ::unlink(dstName.constData());
        *why = reason;
        return false;
    }
    out->llSize = result.llSize;
    out->hexSha256 = result.hexSha256;
    return true;
}

bool HashFile(const QString &path, const std::atomic<bool> *cancel, tagEVIDENCEFILE *out, QString *why)
{
    CFileDescriptor in(OpenForReading(path, why));
    if (!in.IsOpen())
        return false;
    tagEVIDENCEFILE result;
    if (!ReadAndHash(in.Get(), path, cancel, {}, &result, why))
        return false;
    out->llSize = result.llSize;
    out->hexSha256 = result.hexSha256;
    return true;
}

QByteArray Sha256SumsText(const QList<tagEVIDENCEFILE> &files)
{
    QByteArray out;
    for (const tagEVIDENCEFILE &f : files) {
        const QByteArray name = QFile::encodeName(f.strPath);
        if (name.contains('\\') || name.contains('\n') || name.contains('\r'))
            out += '\\';
        out += f.hexSha256.toLower() + "  ";
        for (const char c : name) {
            switch (c) {
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            default: out += c;
            }
        }
        out += '\n';
    }
    return out;
}

QByteArray ManifestJson(const tagEVIDENCEFACTS &facts)
{
    QList<QByteArray> segments;
    for (const tagEVIDENCESEGMENT &s : facts.segments)
        segments.append(JsonObject({{"clip", JsonString(s.strClip)},
                                    {"from", QByteArray::number(s.llFrom)},
                                    {"to", QByteArray::number(s.llTo)}},
                                   2));
    QList<QByteArray> files;
    for (const tagEVIDENCEFILE &f : facts.files) {
        QList<tagJSONMEMBER> members{{"path", JsonString(f.strPath)},
                                     {"size", QByteArray::number(f.llSize)},
                                     {"sha256", JsonString(QString::fromLatin1(f.hexSha256))}};
        if (!f.strCamera.isEmpty())
            members.append({"camera", JsonString(f.strCamera)});
        if (!f.strDerived.isEmpty())
            members.append({"derived", JsonString(f.strDerived)});
        files.append(JsonObject(members, 2));
    }
    const QByteArray exported =
        facts.exportUtc.isValid() ? JsonString(facts.exportUtc.toUTC().toString(Qt::ISODate)) : "null";
    const QByteArray offsetMs = facts.bClockOffsetKnown ? QByteArray::number(facts.llClockOffsetMs) : "null";
    QList<tagJSONMEMBER> members{{"program", JsonString(facts.strProgram)},
                                 {"version", JsonString(facts.strVersion)},
                                 {"export_time_utc", exported},
                                 {"time_zone", JsonString(facts.strTimeZone)},
                                 {"range", JsonString(facts.strRange)},
                                 {"segments", JsonArray(segments, 1)},
                                 {"clock_offset", JsonString(facts.strClockOffset)},
                                 {"clock_offset_ms", offsetMs}};
    if (!facts.strClockCorrection.isEmpty()) {
        members.append({"clock_correction", JsonString(facts.strClockCorrection)});
        members.append({"clock_correction_ms", QByteArray::number(facts.llClockCorrectionMs)});
    }
    members.append({"files", JsonArray(files, 1)});
    return JsonObject(members, 0) + '\n';
}

bool RecorderClockOffsetMs(const QByteArray &dataFileText, double tzHours, qint64 *offsetMs)
{
    if (!std::isfinite(tzHours))
        return false;
    const qint64 zoneMs = std::llround(tzHours * 3600000.0);
    const QByteArrayView text =
        QByteArrayView(dataFileText).first(std::min<qsizetype>(dataFileText.size(), kClockOffsetScanLimit));
    bool haveRecorderTime = false;
    qint64 recorderMs = 0;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        QByteArrayView line = text.sliced(start, end - start);
        start = end + 1;
        if (line.endsWith('\r'))
            line.chop(1);
        const DataLineKind kind = CDataFileInfo::Classify(line.data(), static_cast<int>(line.size()));
        if (kind == DL_OTHER)
            continue;
        const QList<QByteArrayView> f = CommaFields(line);
        qint64 ms = 0;
        if (kind == DL_SYNCTIME || kind == DL_ACCELERATOR) {
            // $SYNCTIME and $ACCELERATOR: tag, hhmmss.fff, yymmdd.
            if (ParseFieldsTime(f, 1, 2, false, &ms)) {
                recorderMs = ms;
                haveRecorderTime = true;
            }
            continue;
        }
        // $GPRMC: tag, hhmmss.fff, status, latitude, N/S, longitude, E/W, knots, course, ddmmyy.
        if (haveRecorderTime && f.size() > 2 && f.at(2) == "A" && ParseFieldsTime(f, 1, 9, true, &ms)) {
            *offsetMs = recorderMs - (ms + zoneMs);
            return true;
        }
    }
    return false;
}

QString ClockOffsetText(bool known, qint64 offsetMs)
{
    if (!known)
        return QStringLiteral("unknown");
    const quint64 magnitude =
        offsetMs < 0 ? 0 - static_cast<quint64>(offsetMs) : static_cast<quint64>(offsetMs);
    QString text = QString::asprintf("%c%llu.%03u s", offsetMs < 0 ? '-' : '+',
                                     static_cast<unsigned long long>(magnitude / 1000),
                                     static_cast<unsigned>(magnitude % 1000));
    if (offsetMs > 0)
        text += QStringLiteral(" (the recorder's clock is ahead of GPS time)");
    else if (offsetMs < 0)
        text += QStringLiteral(" (the recorder's clock is behind GPS time)");
    return text;
}

QString UtcOffsetText(double hours)
{
    const long long minutes = std::isfinite(hours) ? std::llround(hours * 60.0) : 0;
    const long long magnitude = minutes < 0 ? -minutes : minutes;
    return QString::asprintf("UTC%c%02lld:%02lld", minutes < 0 ? '-' : '+', magnitude / 60, magnitude % 60);
}

int EvidencePageCount(const QSize &pageSize, const tagEVIDENCEFACTS &facts)
{
    return EvidenceLayout(pageSize, facts).pages;
}

void DrawEvidencePage(QPainter &p, const QSize &pageSize, const tagEVIDENCEFACTS &facts, int page)
{
    const tagEVIDENCELAYOUT l = EvidenceLayout(pageSize, facts);
    if (page < 0 || page >= l.pages)
        return;
    p.save();
    p.setRenderHint(QPainter::TextAntialiasing);
    p.scale(l.scale, l.scale);
    p.setPen(Qt::black);
    p.setBrush(Qt::NoBrush);
    p.setFont(SansFont(kTitlePx, true));
    p.drawText(QRectF(kMargin, kMargin, l.innerWidth, l.titleHeight), Qt::AlignLeft | Qt::AlignTop,
               page == 0 ? QStringLiteral("Evidence") : QStringLiteral("Evidence (continued)"));
    if (page == 0)
        DrawFacts(p, l, facts);
    DrawFileTable(p, l, facts, page);
    p.setFont(SansFont(kFooterPx));
    p.drawText(QRectF(kMargin, l.footerTop, l.innerWidth, kMargin), Qt::AlignHCenter | Qt::AlignTop,
               QStringLiteral("Evidence page %1 of %2").arg(page + 1).arg(l.pages));
    p.restore();
}
