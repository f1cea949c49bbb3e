// The cards' camera offsets in the settings: one map of card folder to "channel=frames" lists.
#include "catalogue/channeloffsets.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>
#include <QVariantMap>

#include <algorithm>

namespace {

const char kSettingOffsets[] = "channels/offsets";


QHash<QString, int> ParseOffsets(const QString &text)
{
    QHash<QString, int> offsets;
    for (const QString &item : text.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const int eq = item.indexOf(QLatin1Char('='));
        bool ok = false;
        const int frames = eq > 0 ? item.mid(eq + 1).toInt(&ok) : 0;
        if (ok && frames != 0)
            offsets.insert(item.left(eq), std::clamp(frames, -kMaxChannelOffsetFrames, kMaxChannelOffsetFrames));
    }
    return offsets;
}

} // namespace

QString CardKey(const QString &folder)
{
    const QFileInfo info(folder);
    const QString canonical = info.canonicalFilePath();
    return QDir::cleanPath(canonical.isEmpty() ? info.absoluteFilePath() : canonical);
}

QString CardKeyHolding(const QVariantMap &cards, const QString &path)
{
    const QString clip = CardKey(path);
    QString best;
    for (auto it = cards.cbegin(); it != cards.cend(); ++it) {
        const QString &card = it.key();
        const bool holds = clip.startsWith(card.endsWith(QLatin1Char('/')) ? card : card + QLatin1Char('/'));
        if (holds && card.size() > best.size())
            best = card;
    }
    return best;
}

QHash<QString, int> ChannelOffsetsOfCard(const QString &cardFolder)
{
    if (cardFolder.isEmpty())
        return {};
    return ParseOffsets(QSettings().value(QString::fromLatin1(kSettingOffsets)).toMap().value(CardKey(cardFolder)).toString());
}

void KeepChannelOffset(const QString &cardFolder, const QString &channel, int frames)
{
    if (cardFolder.isEmpty() || channel.isEmpty() || channel.contains(QLatin1Char(';')) ||
        channel.contains(QLatin1Char('=')))
        return;
    QSettings settings;
    QVariantMap cards = settings.value(QString::fromLatin1(kSettingOffsets)).toMap();
    const QString key = CardKey(cardFolder);
    QHash<QString, int> offsets = ParseOffsets(cards.value(key).toString());
    frames = std::clamp(frames, -kMaxChannelOffsetFrames, kMaxChannelOffsetFrames);
    if (frames == 0)
        offsets.remove(channel);
    else
        offsets.insert(channel, frames);
    QStringList items;
    for (auto it = offsets.cbegin(); it != offsets.cend(); ++it)
        items << it.key() + QLatin1Char('=') + QString::number(it.value());
    items.sort();
    if (items.isEmpty())
        cards.remove(key);
    else
        cards.insert(key, items.join(QLatin1Char(';')));
    settings.setValue(QString::fromLatin1(kSettingOffsets), cards);
}

QHash<QString, int> ChannelOffsetsOfClip(const QString &clipPath)
{
    const QVariantMap cards = QSettings().value(QString::fromLatin1(kSettingOffsets)).toMap();
    const QString card = CardKeyHolding(cards, clipPath);
    return card.isEmpty() ? QHash<QString, int>() : ParseOffsets(cards.value(card).toString());
}
