// The makers' naming rules, one table row each.
#include "catalogue/cameranames.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <functional>
#include <utility>

namespace {

// The parts of a name a rule's expression gives: the date and time in named groups ("y" four
// digits or "yy" two, "mo", "d", "h", "mi", "s"), "cam" the camera's letter or word, "mode" the
// kind's letter or word.
struct tagNAMEPARTS {
    QRegularExpressionMatch match;
    QString folder;       // the clip's folder's name
    QString parentFolder; // the folder above it
    QString folderPath;   // the clip's folder
};

struct tagKINDANDTIP {
    tagKINDANDTIP() = default;
    tagKINDANDTIP(int type, QString tip) : nType(type), strTip(std::move(tip)) {}
    int nType = RT_UNKNOWN;
    QString strTip;
    bool bEventTime = false;
    SYSTEMTIME stEventTime{};
};

struct tagCAMERARULE {
    const char *pMaker;
    const char *pPattern;
    // The camera's letter or word to a channel name ("" when it names none).
    QString (*channel)(const QString &cam);
    std::function<tagKINDANDTIP(const tagNAMEPARTS &)> kind;
    // Clips of one recording live in one folder (true) or in a folder per camera (false).
    bool bOneFolder;
};

QString LetterChannel(const QString &cam)
{
    const QString c = cam.toUpper();
    if (c.isEmpty() || c == QLatin1String("F"))
        return QStringLiteral("front");
    if (c == QLatin1String("R") || c == QLatin1String("B"))
        return QStringLiteral("rear");
    if (c == QLatin1String("I"))
        return QStringLiteral("interior");
    return QString();
}

QString TeslaChannel(const QString &cam)
{
    const QString c = cam.toLower();
    if (c == QLatin1String("front"))
        return QStringLiteral("front");
    if (c == QLatin1String("back"))
        return QStringLiteral("rear");
    if (c == QLatin1String("left_repeater"))
        return QStringLiteral("left");
    if (c == QLatin1String("right_repeater"))
        return QStringLiteral("right");
    if (c == QLatin1String("left_pillar") || c == QLatin1String("right_pillar"))
        return c;
    return QString();
}

bool Is(const QString &a, const char *b)
{
    return a.compare(QLatin1String(b), Qt::CaseInsensitive) == 0;
}

// The kind from the clip's folder: `folders` pairs a folder name with its kind.
tagKINDANDTIP FolderKind(const QString &maker, const QString &folder,
                         std::initializer_list<std::pair<const char *, int>> folders, int fallback)
{
    for (const auto &f : folders)
        if (Is(folder, f.first))
            return {f.second, QStringLiteral("%1: %2").arg(maker, folder)};
    return {fallback, folder.isEmpty() ? maker : QStringLiteral("%1: %2").arg(maker, folder)};
}

tagKINDANDTIP NovatekKind(const tagNAMEPARTS &p)
{
    return FolderKind(QStringLiteral("Viofo"), p.folder,
                      {{"Movie", RT_ORDINARY}, {"RO", RT_EVENT}, {"Parking", RT_PARKING}}, RT_ORDINARY);
}

tagKINDANDTIP BlackVueKind(const tagNAMEPARTS &p)
{
    static const struct {
        char cLetter;
        int nType;
        const char *pWhat;
    } kModes[] = {
        {'N', RT_ORDINARY, "normal"},   {'M', RT_USER, "manual"},      {'E', RT_EVENT, "impact"},
        {'O', RT_EVENT, "overspeed"},   {'A', RT_EVENT, "acceleration"}, {'T', RT_EVENT, "cornering"},
        {'B', RT_EVENT, "braking"},     {'I', RT_PARKING_MOTION, "impact while parked"},
        {'P', RT_PARKING, "parking"},
    };
    const QChar mode = p.match.captured(QStringLiteral("mode")).at(0).toUpper();
    for (const auto &m : kModes)
        if (mode == QLatin1Char(m.cLetter))
            return {m.nType, QStringLiteral("BlackVue %1: %2").arg(mode).arg(QLatin1String(m.pWhat))};
    return {RT_UNKNOWN, QStringLiteral("BlackVue %1").arg(mode)};
}

tagKINDANDTIP ThinkwareKind(const tagNAMEPARTS &p)
{
    const QString mode = p.match.captured(QStringLiteral("mode")).toUpper();
    const int type = mode == QLatin1String("REC")   ? RT_ORDINARY
                     : mode == QLatin1String("EVT") ? RT_EVENT
                     : mode == QLatin1String("MOT") ? RT_PARKING_MOTION
                     : mode == QLatin1String("MAN") ? RT_USER
                                                    : RT_PARKING;
    return {type, p.folder.isEmpty() ? QStringLiteral("Thinkware %1").arg(mode)
                                     : QStringLiteral("Thinkware %1: %2").arg(mode, p.folder)};
}

tagKINDANDTIP SeventyMaiKind(const tagNAMEPARTS &p)
{
    const QString mode = p.match.captured(QStringLiteral("mode")).toUpper();
    const int type = mode == QLatin1String("NO") ? RT_ORDINARY : mode == QLatin1String("EV") ? RT_EVENT : RT_PARKING;
    return {type, QStringLiteral("70mai %1: %2/%3").arg(mode, p.parentFolder, p.folder)};
}

tagKINDANDTIP NextbaseKind(const tagNAMEPARTS &p)
{
    return FolderKind(QStringLiteral("Nextbase"), p.folder,
                      {{"Protected", RT_EVENT}, {"Event", RT_EVENT}, {"Parking", RT_PARKING}}, RT_ORDINARY);
}

// What the event.json of a Tesla event folder tells: when, why and where the clips were kept
// (no text without one). A file of its own only (no link out of the card), small, its texts cut
// short.
struct tagTESLAEVENT {
    QString strText;
    bool bTime = false;
    SYSTEMTIME stTime; // the camera's clock, two-digit year
};

tagTESLAEVENT ReadTeslaEvent(const QString &folderPath)
{
    constexpr qint64 kLimit = 64 * 1024;
    tagTESLAEVENT event;
    const QFileInfo info(folderPath + QStringLiteral("/event.json"));
    QFile file(info.filePath());
    if (folderPath.isEmpty() || info.isSymLink() || !info.isFile() || info.size() > kLimit ||
        !file.open(QIODevice::ReadOnly))
        return event;
    const QJsonDocument json = QJsonDocument::fromJson(file.read(kLimit));
    if (!json.isObject())
        return event;
    const QJsonObject o = json.object();
    const auto text = [&o](const char *key) {
        return o.value(QLatin1String(key)).toString().simplified().left(80);
    };
    QStringList parts;
    if (const QString when = text("timestamp"); !when.isEmpty()) {
        parts << QStringLiteral("event at %1").arg(QString(when).replace(QLatin1Char('T'), QLatin1Char(' ')));
        static const QRegularExpression kTime(
            QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})[T ](\\d{2}):(\\d{2}):(\\d{2})"));
        const QRegularExpressionMatch m = kTime.match(when);
        const auto field = [&m](int i) { return static_cast<uint16_t>(m.captured(i).toUInt()); };
        if (m.hasMatch() && field(2) >= 1 && field(2) <= 12 && field(3) >= 1 && field(3) <= 31 && field(4) <= 23 &&
            field(5) <= 59 && field(6) <= 59) {
            event.bTime = true;
            event.stTime.wYear = static_cast<uint16_t>(field(1) % 100);
            event.stTime.wMonth = field(2);
            event.stTime.wDay = field(3);
            event.stTime.wHour = field(4);
            event.stTime.wMinute = field(5);
            event.stTime.wSecond = field(6);
        }
    }
    if (const QString reason = text("reason"); !reason.isEmpty())
        parts << QString(reason).replace(QLatin1Char('_'), QLatin1Char(' '));
    if (const QString city = text("city"); !city.isEmpty())
        parts << city;
    event.strText = parts.join(QStringLiteral(", "));
    return event;
}

tagKINDANDTIP TeslaKind(const tagNAMEPARTS &p)
{
    // Saved and Sentry clips sit in a folder of their event.
    const QString category = Is(p.folder, "RecentClips") ? p.folder : p.parentFolder;
    const int type = Is(category, "RecentClips")   ? RT_ORDINARY
                     : Is(category, "SavedClips")  ? RT_USER
                     : Is(category, "SentryClips") ? RT_PARKING_MOTION
                                                   : RT_UNKNOWN;
    if (category == p.folder)
        return {type, QStringLiteral("Tesla: %1").arg(category)};
    const tagTESLAEVENT event = ReadTeslaEvent(p.folderPath);
    tagKINDANDTIP kind{type,
                       event.strText.isEmpty()
                           ? QStringLiteral("Tesla: %1/%2").arg(category, p.folder)
                           : QStringLiteral("Tesla: %1/%2 (%3)").arg(category, p.folder, event.strText)};
    kind.bEventTime = event.bTime;
    kind.stEventTime = event.stTime;
    return kind;
}

const tagCAMERARULE kRules[] = {
    // 2024_0315_081500_0012F, ..._0013R, ..._0014I (T: a clip of the camera's own parking time lapse)
    {"Viofo", "^(?<y>\\d{4})_(?<mo>\\d{2})(?<d>\\d{2})_(?<h>\\d{2})(?<mi>\\d{2})(?<s>\\d{2})_\\d{3,6}(?<cam>[FRI])T?$",
     LetterChannel, NovatekKind, true},
    // 20240315_081500_NF, _ER, _PI (S: a clip of the cloud's substream)
    {"BlackVue", "^(?<y>\\d{4})(?<mo>\\d{2})(?<d>\\d{2})_(?<h>\\d{2})(?<mi>\\d{2})(?<s>\\d{2})_(?<mode>[NMEIOATBP])(?<cam>[FRI])S?$",
     LetterChannel, BlackVueKind, true},
    // REC_2024_03_15_08_15_00_F
    {"Thinkware",
     "^(?<mode>REC|EVT|MOT|MAN|PAR)_(?<y>\\d{4})_(?<mo>\\d{2})_(?<d>\\d{2})_(?<h>\\d{2})_(?<mi>\\d{2})_(?<s>\\d{2})_(?<cam>[FRI])$",
     LetterChannel, ThinkwareKind, true},
    // NO20240315-081500-000123F, ...B; a front without letter
    {"70mai", "^(?<mode>NO|EV|PA)(?<y>\\d{4})(?<mo>\\d{2})(?<d>\\d{2})-(?<h>\\d{2})(?<mi>\\d{2})(?<s>\\d{2})-\\d{6}(?<cam>[FB]?)$",
     LetterChannel, SeventyMaiKind, false},
    // 240315_081500_012_FH: camera, then quality (high and low are recordings of their own)
    {"Nextbase", "^(?<yy>\\d{2})(?<mo>\\d{2})(?<d>\\d{2})_(?<h>\\d{2})(?<mi>\\d{2})(?<s>\\d{2})_\\d{3}_(?<cam>[FRI])(?<quality>[A-Z])$",
     LetterChannel, NextbaseKind, true},
    // 2024-03-15_08-15-00-front, -back, -left_repeater, -right_repeater, -left_pillar, -right_pillar
    {"Tesla",
     "^(?<y>\\d{4})-(?<mo>\\d{2})-(?<d>\\d{2})_(?<h>\\d{2})-(?<mi>\\d{2})-(?<s>\\d{2})-(?<cam>front|back|left_repeater|right_repeater|left_pillar|right_pillar)$",
     TeslaChannel, TeslaKind, true},
};

const QRegularExpression &RuleExpression(size_t i)
{
    static const std::vector<QRegularExpression> expressions = [] {
        std::vector<QRegularExpression> v;
        for (const tagCAMERARULE &r : kRules)
            v.emplace_back(QString::fromLatin1(r.pPattern), QRegularExpression::CaseInsensitiveOption);
        return v;
    }();
    return expressions[i];
}

} // namespace

int ChannelRank(const QString &name)
{
    for (int i = 0; i < static_cast<int>(std::size(kChannelOrder)); ++i)
        if (name == QLatin1String(kChannelOrder[i]))
            return i;
    return -1;
}

bool ReadCameraClipName(const QString &clipPath, tagCAMERACLIPNAME *out)
{
    const QString path = QString(clipPath).replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QStringList parts = path.split(QLatin1Char('/'));
    const QString name = parts.last();
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const QString base = dot > 0 ? name.left(dot) : name;
    tagNAMEPARTS p;
    p.folder = parts.size() > 1 ? parts.at(parts.size() - 2) : QString();
    p.parentFolder = parts.size() > 2 ? parts.at(parts.size() - 3) : QString();
    p.folderPath = parts.mid(0, parts.size() - 1).join(QLatin1Char('/'));
    for (size_t i = 0; i < std::size(kRules); ++i) {
        p.match = RuleExpression(i).match(base);
        if (!p.match.hasMatch())
            continue;
        const tagCAMERARULE &rule = kRules[i];
        const QString channel = rule.channel(p.match.captured(QStringLiteral("cam")));
        if (channel.isEmpty())
            continue;
        const auto number = [&p](const char *group) { return p.match.captured(QLatin1String(group)).toUShort(); };
        tagCAMERACLIPNAME n;
        n.strMaker = QLatin1String(rule.pMaker);
        n.strChannel = channel;
        const QString year = p.match.captured(QStringLiteral("y"));
        n.stTime.wYear = year.isEmpty() ? number("yy") : static_cast<uint16_t>(year.toInt() % 100);
        n.stTime.wMonth = number("mo");
        n.stTime.wDay = number("d");
        n.stTime.wHour = number("h");
        n.stTime.wMinute = number("mi");
        n.stTime.wSecond = number("s");
        const tagKINDANDTIP kind = rule.kind(p);
        n.nType = kind.nType;
        n.strTip = kind.strTip;
        n.bEventTime = kind.bEventTime;
        n.stEventTime = kind.stEventTime;
        n.bFolderPerCamera = !rule.bOneFolder;
        // The moment: the maker, the kind, the time and what else tells recordings of one time
        // apart (the quality; the event folder of clips kept in one folder each).
        n.strMoment = QStringLiteral("%1|%2|%3|%4|%5")
                          .arg(n.strMaker)
                          .arg(n.nType)
                          .arg(QString::asprintf("%02u%02u%02u%02u%02u%02u", n.stTime.wYear, n.stTime.wMonth,
                                                 n.stTime.wDay, n.stTime.wHour, n.stTime.wMinute, n.stTime.wSecond))
                          .arg(p.match.captured(QStringLiteral("quality")).toUpper())
                          .arg(rule.bOneFolder ? parts.mid(0, parts.size() - 1).join(QLatin1Char('/')) : p.parentFolder);
        *out = n;
        return true;
    }
    return false;
}

QString tagRECORDINGCLIPS::ChannelList() const
{
    QStringList names;
    for (const char *name : kChannelOrder)
        for (const tagCHANNELCLIP &c : channels)
            if (c.strName == QLatin1String(name))
                names << c.strName;
    return names.join(QLatin1Char('+'));
}
