// Check and installation of the update package.
#include "update/updatepackage.h"

#include "base/sha256.h"

#include <QFile>
#include <QFileInfo>

#include <cstdio>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

// The folder's entries to the disk, so that a rename in it survives a crash. Windows has no
// such step: MoveFileEx with MOVEFILE_WRITE_THROUGH returns only once the rename is on disk.
bool SyncFolder(const QString &folder)
{
#ifdef Q_OS_WIN
    Q_UNUSED(folder);
    return true;
#else
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
#endif
}

} // namespace

bool PackageMatches(const QString &path, const tagPACKAGEHASH &hash)
{
    if (!hash.IsValid())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() != hash.size)
        return false;
    CSha256 sha;
    if (!sha.AddDevice(&file))
        return false;
    return sha.Result() == hash.sha256;
}

bool SyncFile(const QString &path)
{
    QFile file(path);
#ifdef Q_OS_WIN
    return file.open(QIODevice::ReadWrite) && ::_commit(file.handle()) == 0;
#else
    // Read-only is enough for fsync, and works for a copy of a program file without write
    // permission.
    return file.open(QIODevice::ReadOnly) && ::fsync(file.handle()) == 0;
#endif
}

bool ReplaceFile(const QString &source, const QString &target)
{
#ifdef Q_OS_WIN
    return MoveFileExW(reinterpret_cast<const wchar_t *>(source.utf16()),
                       reinterpret_cast<const wchar_t *>(target.utf16()),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
    if (std::rename(QFile::encodeName(source).constData(), QFile::encodeName(target).constData()) != 0)
        return false;
    // The new file is in place already; a folder that cannot be synced changes nothing in that.
    SyncFolder(QFileInfo(target).absolutePath());
    return true;
#endif
}

bool InstallPackage(const QString &packagePath, const QString &updaterPath)
{
    QFile package(packagePath);
    const QFile::Permissions exec = QFile::ExeOwner | QFile::ExeUser | QFile::ExeGroup | QFile::ExeOther;
    if (!package.setPermissions(package.permissions() | exec) || !SyncFile(packagePath))
        return false;
    return ReplaceFile(packagePath, updaterPath);
}
