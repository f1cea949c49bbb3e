// The update package's check and installation: a downloaded package becomes the updater program
// only when its size and SHA-256 are those of the signed update record (updaterecord.h), and
// every file that replaces another is made durable before and after the rename.
#pragma once

#include <QByteArray>
#include <QString>

struct tagPACKAGEHASH {
    QByteArray sha256; // 32 bytes; empty when unknown
    qint64 size = -1;

    bool IsValid() const { return sha256.size() == 32 && size >= 0; }
};

// True when the file at `path` has exactly the recorded size and SHA-256.
bool PackageMatches(const QString &path, const tagPACKAGEHASH &hash);

// Makes the verified package at `packagePath` the executable `updaterPath` in the same folder,
// replacing an older one. False (the package left where it was) when that fails.
bool InstallPackage(const QString &packagePath, const QString &updaterPath);

// The file `target` replaced by `source` in one step (a rename over it), so that `target` is
// at every moment either the old or the new file; `source` is gone afterwards on success.
// The folder is synced after the rename, so that the new entry survives a crash.
bool ReplaceFile(const QString &source, const QString &target);

// Writes the contents of the file at `path` to the disk (before it is renamed into place, so
// that a crash cannot leave a renamed but empty file).
bool SyncFile(const QString &path);
