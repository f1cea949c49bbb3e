// Where the recorder's SD card can be: the removable volumes mounted on this machine. A card
// reader or USB stick shows up as one mounted volume whose root plays the part of a drive root.
// Everything that looks for the card asks an IRemovableVolumes, so that tests can put temporary
// folders in place of real cards.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

class IRemovableVolumes
{
public:
    virtual ~IRemovableVolumes() = default;
    // Root folders of the mounted removable volumes, in any order.
    virtual QStringList RemovableVolumeRoots() const = 0;
};

// The volumes of this machine. On Linux: the mounts of /proc/self/mountinfo whose block device
// (or the disk it is a partition of) has /sys/block/<disk>/removable set, and every block device
// mounted under /media or /run/media (where udisks mounts what the user plugs in).
class CSystemRemovableVolumes : public IRemovableVolumes
{
public:
    QStringList RemovableVolumeRoots() const override;
};

// A fixed list of folders, each one standing for a mounted card.
class CFixedVolumes : public IRemovableVolumes
{
public:
    CFixedVolumes() = default;
    explicit CFixedVolumes(QStringList roots) : m_roots(std::move(roots)) {}
    void SetRoots(const QStringList &roots) { m_roots = roots; }
    QStringList RemovableVolumeRoots() const override { return m_roots; }

private:
    QStringList m_roots;
};

// The mount points in the text of a mountinfo file that count as removable. `isRemovable` is
// asked with a device number "major:minor"; a mount below /media or /run/media counts whatever
// it answers, so long as it is a block device mount.
QStringList RemovableMountPoints(const QByteArray &mountinfo,
                                 const std::function<bool(const QString &device)> &isRemovable);

// The removable flag of the disk behind a block device number, read under `sysRoot` ("/sys").
bool IsRemovableBlockDevice(const QString &device, const QString &sysRoot = QStringLiteral("/sys"));
