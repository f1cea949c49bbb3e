// The program's own version and the rules by which the update check compares it with the
// version the server's signed record names.
#pragma once

#include <QString>

#include <array>

// A value of the program's own version block; "FileVersion" (and "ProductVersion") is the
// four-part version the build was given, "ProductName" "Pellister"; any other key is empty.
QString GetOwnVersionString(const QString &key);

// A dotted version as one decimal number: the part before the first "." and a ".", then the
// remaining parts run together ("1.0.0.7" -> "1.007", "2.1.3.0" -> "2.130"). Empty for an
// empty text or one without a ".".
QString NormalizeVersion(const QString &version);

// A four-part version "a.b.c.d" as its four numbers: each part one to five decimal digits, at most
// 65535 (what a version resource holds), nothing else (no signs, spaces or other characters).
// False for anything else.
bool ParseFourPartVersion(const QString &text, std::array<quint32, 4> *parts);

// True when `offered` is a newer four-part version than `own`, compared part by part as whole
// numbers (1.0.0.10 > 1.0.0.9 > 1.0.0.1). An offered version that is not four-part is never
// newer; an own version that is not four-part counts as 0.0.0.0.
bool IsVersionNewer(const QString &offered, const QString &own);
