// The options and the set-up of a moment of a clip, shared by `snapshot` and `report`.
#include "cli/climoment.h"

#include "cli/clicommands.h"

#include "playback/playbackpane.h"
#include "playback/playbackcontroller.h"
#include "playback/snapshot.h"

#include <QObject>

const QVector<CliOption> kMomentOptions = {{"frame", "N"}, {"grid", "K"}, {"marked", "i,j,..."}};

namespace {

bool ReadMomentOption(const QString &arg, const QString &value, tagCLIMOMENT *moment, QString *why)
{
    bool bNumber = false;
    if (arg == QLatin1String("--frame")) {
        moment->llFrame = value.toLongLong(&bNumber);
        if (!bNumber || moment->llFrame < 0) {
            *why = QStringLiteral("--frame must be a frame number, not '%1'").arg(value);
            return false;
        }
    } else if (arg == QLatin1String("--grid")) {
        moment->nGrid = value.toInt(&bNumber);
        if (!bNumber || (moment->nGrid != 4 && moment->nGrid != 9 && moment->nGrid != 16 && moment->nGrid != 25)) {
            *why = QStringLiteral("--grid must be 4, 9, 16 or 25, not '%1'").arg(value);
            return false;
        }
    } else {
        moment->bMarkedGiven = true;
        for (const QString &item : value.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const int nPane = item.trimmed().toInt(&bNumber);
            if (!bNumber || nPane < 0) {
                *why = QStringLiteral("--marked takes pane numbers, not '%1'").arg(item);
                return false;
            }
            moment->marked.append(nPane);
        }
    }
    return true;
}

bool CheckMoment(const tagCLIMOMENT &moment, QString *why)
{
    if (moment.llFrame < 0)
        return false;
    if (moment.bMarkedGiven && moment.nGrid == 0) {
        *why = QStringLiteral("--marked needs --grid");
        return false;
    }
    for (int nPane : moment.marked) {
        if (nPane >= moment.nGrid) {
            *why = QStringLiteral("a grid of %1 has no pane %2").arg(moment.nGrid).arg(nPane);
            return false;
        }
    }
    return true;
}

} // namespace

bool ReadMoment(const tagCLIARGS &args, tagCLIMOMENT *moment, QString *why)
{
    why->clear();
    for (const char *name : {"frame", "grid", "marked"}) {
        if (args.IsSet(name) &&
            !ReadMomentOption(QStringLiteral("--") + QLatin1String(name), args.Value(name), moment, why))
            return false;
    }
    return CheckMoment(*moment, why);
}

int ShowMoment(CPlaybackController &playback, const tagCLIMOMENT &moment, const QString &clip, const char *command,
               QTextStream &out, QTextStream &err)
{
    if (moment.llFrame > playback.FrameCount()) {
        err << "pellister-cli: " << command << ": " << moment.llFrame << " is past the end; '" << clip << "' has "
            << playback.FrameCount() << " frames\n";
        return kExitFailed;
    }
    // The position comes from elsewhere, as a frame step in the viewer: every view follows.
    playback.Seek(moment.llFrame, nullptr);
    if (moment.nGrid) {
        playback.SetLayout(1, moment.nGrid, false);
        for (int nPane : moment.marked)
            playback.MainSession()->Pane(nPane)->SetMarked(1);
    }
    const QString strPrecheck = SnapshotPrecheck(playback);
    if (!strPrecheck.isEmpty()) {
        out << strPrecheck << "\n";
        return kExitFailed;
    }
    return kExitOk;
}
