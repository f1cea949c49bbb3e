// Integrity record and installation of the update package.
#include "update/updatepackage.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cstdio>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

tagPACKAGEHASH ParsePackageHash(const QString &record)
{
    static const QRegularExpression pattern(QStringLiteral("^\\s*([0-9A-Fa-f]{64})\\s+([0-9]{1,15})(\\s|$)"));
    const QRegularExpressionMatch match = pattern.match(record);
    tagPACKAGEHASH hash;
    if (!match.hasMatch())
        return hash;
    hash.sha256 = QByteArray::fromHex(match.captured(1).toLatin1());
    hash.size = match.captured(2).toLongLong();
    return hash;
}

bool PackageMatches(const QString &path, const tagPACKAGEHASH &hash)
{
    if (!hash.IsValid())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() != hash.size)
        return false;
    QCryptographicHash sha(QCryptographicHash::Sha256);
    if (!sha.addData(&file))
        return false;
    return sha.result() == hash.sha256;
}

bool ReplaceFile(const QString &source, const QString &target)
{
#ifdef Q_OS_WIN
    return MoveFileExW(reinterpret_cast<const wchar_t *>(source.utf16()),
                       reinterpret_cast<const wchar_t *>(target.utf16()),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
    return std::rename(QFile::encodeName(source).constData(), QFile::encodeName(target).constData()) == 0;
#endif
}

bool InstallPackage(const QString &packagePath, const QString &updaterPath)
{
    QFile package(packagePath);
    const QFile::Permissions exec = QFile::ExeOwner | QFile::ExeUser | QFile::ExeGroup | QFile::ExeOther;
    if (!package.setPermissions(package.permissions() | exec))
        return false;
    return ReplaceFile(packagePath, updaterPath);
}
