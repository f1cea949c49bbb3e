// The program's own version and the rules by which the update check compares it with the
// version file on the server.
#pragma once

#include <QString>

// A value of the program's own version block; "FileVersion" (and "ProductVersion") is the
// four-part version the build was given, "ProductName" "Pellister"; any other key is empty.
QString GetOwnVersionString(const QString &key);

// A dotted version as one decimal number: the part before the first "." and a ".", then the
// remaining parts run together ("1.0.0.7" -> "1.007", "2.1.3.0" -> "2.130"). Empty for an
// empty text or one without a ".".
QString NormalizeVersion(const QString &version);

// The number a version text stands for, read as the runtime's string-to-float conversion reads
// it: leading white space, a sign, digits with one decimal point and an exponent; reading stops
// at the first character that does not fit, and no digits at all give 0. "1.0.0.8" reads as 1.0.
float VersionValue(const QString &text);

// True when the server's first version-file line names a newer version than `ownFileVersion`
// (a four-part version); both are compared as single-precision numbers.
bool IsServerVersionNewer(const QString &serverLine, const QString &ownFileVersion);
