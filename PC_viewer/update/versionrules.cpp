// Version rules of the update check.
#include "update/versionrules.h"

#include "version.h"

QString GetOwnVersionString(const QString &key)
{
    if (key == QLatin1String("FileVersion") || key == QLatin1String("ProductVersion"))
        return QStringLiteral(PELLISTER_VERSION_STRING);
    if (key == QLatin1String("ProductName"))
        return QStringLiteral("Pellister");
    return QString();
}

QString NormalizeVersion(const QString &version)
{
    if (version.isEmpty())
        return QString();
    QString text = version;
    while (!text.isEmpty() && text.back().isSpace())
        text.chop(1);
    if (!text.contains(QLatin1Char('.')))
        return QString();
    text = text.trimmed();
    int dot = text.indexOf(QLatin1Char('.'));
    QString result = text.left(dot) + QLatin1Char('.');
    for (;;) {
        QString rest = text.mid(dot + 1);
        int lead = 0;
        while (lead < rest.size() && rest.at(lead).isSpace())
            ++lead;
        text = rest.mid(lead);
        dot = text.indexOf(QLatin1Char('.'));
        if (dot < 0) {
            result += text;
            return result;
        }
        result += text.left(dot);
    }
}

float VersionValue(const QString &text)
{
    int i = 0;
    const int n = int(text.size());
    auto digitAt = [&](int at) { return at < n && text.at(at) >= QLatin1Char('0') && text.at(at) <= QLatin1Char('9'); };
    while (i < n && text.at(i).isSpace())
        ++i;
    const int start = i;
    if (i < n && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-')))
        ++i;
    int digits = 0;
    while (digitAt(i)) {
        ++i;
        ++digits;
    }
    if (i < n && text.at(i) == QLatin1Char('.')) {
        ++i;
        while (digitAt(i)) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return 0.0f;
    int end = i;
    // An exponent counts only when digits follow it.
    if (i < n && (text.at(i) == QLatin1Char('e') || text.at(i) == QLatin1Char('E'))) {
        int j = i + 1;
        if (j < n && (text.at(j) == QLatin1Char('+') || text.at(j) == QLatin1Char('-')))
            ++j;
        if (digitAt(j)) {
            while (digitAt(j))
                ++j;
            end = j;
        }
    }
    bool ok = false;
    const double value = text.mid(start, end - start).toDouble(&ok);
    return ok ? float(value) : 0.0f;
}

bool IsServerVersionNewer(const QString &serverLine, const QString &ownFileVersion)
{
    const float server = VersionValue(serverLine);
    const float local = VersionValue(NormalizeVersion(ownFileVersion));
    return server > local;
}
