// Lets GoogleTest print a QString as text in failure messages.
#pragma once

#include <QString>
#include <ostream>

inline void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

inline void PrintTo(const QByteArray &b, std::ostream *os)
{
    *os << '"' << b.toStdString() << '"';
}
