// Cards made of temporary folders, and the golden files of the recorder's two files.
#pragma once

#include "device_config/deviceconfig.h"

#include "fixtures/testfiles.h"

#include <QFile>

namespace configtest {

// The expected bytes; the files were written from the recorder's template, independently of the
// viewer's code. After an intended change of the format, regenerate them the same way: never by
// copying what the viewer writes.
inline QByteArray Golden(const char *name)
{
    QFile f(testfiles::SourceDir() + QStringLiteral("/tests/device_config/golden/") + QLatin1String(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("missing golden file ") + name;
}

inline QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// `root`/configuration/qx310_blackbox.conf with `lines` (CR LF).
inline QString WriteCardConfig(const QString &root, const QStringList &lines)
{
    const QString path = root + QStringLiteral("/configuration/") + QLatin1String(kConfigFileName);
    return testfiles::WriteLines(path, lines) ? path : QString();
}

} // namespace configtest
