// The block reader of the telemetry text files: lines handed over one by one, with a cap on the
// bytes read and on the length of a line, so that no file, however made, takes more memory than
// the caps.
#pragma once

#include <QtGlobal>

#include <cstddef>
#include <functional>

class QFile;
class QIODevice;
class QString;

// Opens `path` for reading when it is a regular file: a pipe or a device named like a telemetry
// file would block or never end, and a directory cannot be read.
bool OpenRegularFile(const QString &path, QFile *file);

// Reads `device` in blocks, at most maxBytes in all, and hands every line (without its '\n'; a
// longer line cut to its first maxLine bytes; the last line also without a '\n') to onLine, which
// returns false to stop reading. Returns true when the device held more than maxBytes: the line
// begun at the limit is then dropped, as it may go on beyond it.
bool ReadBoundedLines(QIODevice *device, qint64 maxBytes, size_t maxLine,
                      const std::function<bool(const char *line, int length)> &onLine);
