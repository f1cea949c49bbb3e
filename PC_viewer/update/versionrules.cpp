// Version rules of the update check.
#include "update/versionrules.h"

#include "version.h"

#include <QStringList>

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

bool ParseFourPartVersion(const QString &text, std::array<quint32, 4> *parts)
{
    const QStringList fields = text.split(QLatin1Char('.'));
    if (fields.size() != 4)
        return false;
    std::array<quint32, 4> numbers{};
    for (int i = 0; i < 4; ++i) {
        const QString &field = fields.at(i);
        if (field.isEmpty() || field.size() > 5)
            return false;
        quint32 value = 0;
        for (const QChar c : field) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return false;
            value = value * 10 + quint32(c.unicode() - '0');
        }
        if (value > 65535)
            return false;
        numbers[size_t(i)] = value;
    }
    *parts = numbers;
    return true;
}

bool IsVersionNewer(const QString &offered, const QString &own)
{
    std::array<quint32, 4> theirs{};
    std::array<quint32, 4> ours{};
    if (!ParseFourPartVersion(offered, &theirs))
        return false;
    if (!ParseFourPartVersion(own.trimmed(), &ours))
        ours = {};
    return theirs > ours;
}
