// Locale-independent number conversion for the recorder's text files. The recorder writes plain
// decimals ("0.02", "083015.300"); they are read exactly as the C library's strtod reads them in
// the "C" locale (leading blanks skipped, conversion stops at the first character that does not
// fit, nothing convertible gives 0), whatever locale the viewer runs in.
#pragma once

#include <climits>
#include <cstdint>

namespace pellister {

// Decimal-to-double conversion of the text [begin, end).
double TextToDouble(const char *begin, const char *end);

// Truncation toward zero to int, the way the recorder's tools store numbers in integer fields.
// A value outside the int range (or NaN) gives INT_MIN, the result of the processor's
// conversion instruction, so that a broken field cannot make the conversion undefined.
inline int TruncToInt(double v)
{
    if (!(v > -2147483649.0 && v < 2147483648.0))
        return INT_MIN;
    return static_cast<int>(v);
}

} // namespace pellister
