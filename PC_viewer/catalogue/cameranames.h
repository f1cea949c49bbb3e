// The names other makers' cameras give their clips: which moment a clip belongs to, which
// camera of the car recorded it, its kind and the camera's own clock time. Clips of one moment
// become one recording of several channels.
#pragma once

#include "catalogue/recordinfo.h"

#include <QString>
#include <QVector>

// The channels of a recording, in the order a recording lists them; the main one is the first
// of them present.
inline constexpr const char *kChannelOrder[] = {"front", "rear", "interior", "left", "right", "left_pillar",
                                                "right_pillar"};
inline constexpr char kChannelFront[] = "front";
// Place of a channel name in kChannelOrder; -1 for a name that is none of them.
int ChannelRank(const QString &name);

// What a clip's name (and its folder) tells.
struct tagCAMERACLIPNAME {
    QString strMaker;    // "Viofo", "BlackVue", "Thinkware", "70mai", "Nextbase", "Tesla"
    QString strChannel;  // one of kChannelOrder
    QString strMoment;   // equal for the clips of one recording of a card
    int nType = RT_UNKNOWN;
    SYSTEMTIME stTime;   // the camera's clock; two-digit year as the recorder's own times
    QString strTip;      // the maker's own letter or folder, for the row's tip
    bool bFolderPerCamera = false; // the other cameras' clips are in folders beside this one's
    bool bEventTime = false;       // the maker tells the moment of the event the clip was kept for
    SYSTEMTIME stEventTime;        // then: that moment, on the camera's clock as stTime
};

// Reads the clip's name by the makers' rules; false when none of them names it (the recorder's
// own clips and any other name).
bool ReadCameraClipName(const QString &clipPath, tagCAMERACLIPNAME *out);

// One channel of a recording in the catalogue.
struct tagCHANNELCLIP {
    QString strName;
    QString strMediaPath;
    int nOffsetFrames = 0; // the channel starts this many of its frames after the main one
};

// The channels of one row of the catalogue, the main one first; a clip of the recorder's own is
// one front channel. The tip says how the clips were told apart ("" for the recorder's own).
struct tagRECORDINGCLIPS {
    QVector<tagCHANNELCLIP> channels;
    QString strTip;
    bool bEventTime = false; // the moment of the maker's event (tagCAMERACLIPNAME), when told
    SYSTEMTIME stEventTime;
    // The channels' names joined by "+" in kChannelOrder ("front", "front+rear").
    QString ChannelList() const;
};
