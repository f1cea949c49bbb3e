// Bounded line reading shared by the data-file and NMEA readers.
#include "catalogue/boundedlines.h"

#include <QFile>
#include <QFileInfo>
#include <QIODevice>

#include <cstring>
#include <vector>

namespace {

constexpr qint64 kReadBlock = 64 * 1024;

} // namespace

bool OpenRegularFile(const QString &path, QFile *file)
{
    file->setFileName(path);
    return QFileInfo(path).isFile() && file->open(QIODevice::ReadOnly);
}

bool ReadBoundedLines(QIODevice *device, qint64 maxBytes, size_t maxLine,
                      const std::function<bool(const char *line, int length)> &onLine)
{
    std::vector<char> block(static_cast<size_t>(kReadBlock));
    std::vector<char> line; // a line that runs over a block boundary, or one cut to maxLine
    qint64 total = 0;
    bool go = true;
    bool cut = false;
    while (go) {
        if (total >= maxBytes) {
            char probe;
            cut = device->read(&probe, 1) == 1;
            break;
        }
        const qint64 got = device->read(block.data(), qMin(kReadBlock, maxBytes - total));
        if (got <= 0)
            break;
        total += got;
        const char *p = block.data();
        const char *end = p + got;
        while (go && p < end) {
            const char *nl = static_cast<const char *>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
            const char *stop = nl ? nl : end;
            if (line.empty() && nl && static_cast<size_t>(stop - p) <= maxLine) {
                go = onLine(p, static_cast<int>(stop - p));
            } else {
                line.insert(line.end(), p, p + qMin(maxLine - qMin(maxLine, line.size()), static_cast<size_t>(stop - p)));
                if (nl) {
                    go = onLine(line.data(), static_cast<int>(line.size()));
                    line.clear();
                }
            }
            p = nl ? nl + 1 : end;
        }
    }
    if (go && !cut && !line.empty())
        onLine(line.data(), static_cast<int>(line.size()));
    return cut;
}
