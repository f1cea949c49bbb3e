// How many of its own frames a camera of a card starts late (or early, below 0) against the
// card's main camera: the user nudges it once and the card keeps it. Kept in the viewer's
// settings under the card's folder, never on the card itself.
#pragma once

#include <QHash>
#include <QString>
#include <QVariantMap>

// A card's folder as the settings key it: absolute, clean, links resolved where it exists.
QString CardKey(const QString &folder);
// Of the cards kept in `cards` (keyed by CardKey), the deepest whose folder holds `path`; "" when
// none does.
QString CardKeyHolding(const QVariantMap &cards, const QString &path);

// The most a camera can be nudged either way, in its frames.
inline constexpr int kMaxChannelOffsetFrames = 600;

// The offsets kept for the card in `cardFolder`, by channel name (channels kept at 0 are absent).
QHash<QString, int> ChannelOffsetsOfCard(const QString &cardFolder);
// Keeps the channel's offset for the card, clamped to +-kMaxChannelOffsetFrames; 0 forgets it.
void KeepChannelOffset(const QString &cardFolder, const QString &channel, int frames);
// The offsets of the card whose folder holds clipPath (the deepest such card when cards were
// kept inside each other); empty when none does.
QHash<QString, int> ChannelOffsetsOfClip(const QString &clipPath);
