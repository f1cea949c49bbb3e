// The update package's integrity record and its installation: the server publishes the
// package's SHA-256 and size beside it (the version file's second line, or corvana.bin.sha256),
// and a downloaded package becomes the updater program only when both match.
//
// Record: "<64 hexadecimal digits> <size in bytes>", anything after that ignored.
#pragma once

#include <QByteArray>
#include <QString>

struct tagPACKAGEHASH {
    QByteArray sha256; // 32 bytes; empty when the record was unusable
    qint64 size = -1;

    bool IsValid() const { return sha256.size() == 32 && size >= 0; }
};

tagPACKAGEHASH ParsePackageHash(const QString &record);

// True when the file at `path` has exactly the recorded size and SHA-256.
bool PackageMatches(const QString &path, const tagPACKAGEHASH &hash);

// Makes the verified package at `packagePath` the executable `updaterPath` in the same folder,
// replacing an older one. False (the package left where it was) when that fails.
bool InstallPackage(const QString &packagePath, const QString &updaterPath);

// The file `target` replaced by `source` in one step (a rename over it), so that `target` is
// at every moment either the old or the new file; `source` is gone afterwards on success.
bool ReplaceFile(const QString &source, const QString &target);
