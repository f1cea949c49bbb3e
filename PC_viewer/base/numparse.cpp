// Fast path for plain decimals, exact fallback to the C library for everything else.
#include "base/numparse.h"

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>
#if defined(_WIN32)
#include <locale.h>
#else
#include <locale.h>
#endif

namespace pellister {
namespace {

#if defined(_WIN32)
_locale_t CLocale()
{
    static _locale_t loc = _create_locale(LC_NUMERIC, "C");
    return loc;
}
double SlowToDouble(const char *s)
{
    return _strtod_l(s, nullptr, CLocale());
}
#else
locale_t CLocale()
{
    static locale_t loc = newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(nullptr));
    return loc;
}
double SlowToDouble(const char *s)
{
    return strtod_l(s, nullptr, CLocale());
}
#endif

double SlowToDouble(const char *begin, const char *end)
{
    char small[128];
    const size_t n = static_cast<size_t>(end - begin);
    if (n < sizeof small) {
        std::memcpy(small, begin, n);
        small[n] = '\0';
        return SlowToDouble(small);
    }
    // strtod stops at a NUL byte as well, so a copy is all a long field needs.
    return SlowToDouble(std::string(begin, n).c_str());
}

const double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                         1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

bool IsSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}
bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

double TextToDouble(const char *begin, const char *end)
{
    const char *p = begin;
    while (p < end && IsSpace(*p))
        ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    // Mantissa and scale; exact as long as the mantissa stays below 2^53 and the scale is an
    // exactly representable power of ten (one correctly rounded division then).
    uint64_t mantissa = 0;
    int digits = 0;
    int fraction = 0;
    const char *start = p;
    while (p < end && IsDigit(*p)) {
        mantissa = mantissa * 10 + static_cast<uint64_t>(*p - '0');
        ++digits;
        ++p;
    }
    if (p < end && *p == '.') {
        ++p;
        while (p < end && IsDigit(*p)) {
            mantissa = mantissa * 10 + static_cast<uint64_t>(*p - '0');
            ++digits;
            ++fraction;
            ++p;
        }
    }
    const bool plain = digits > 0 && digits <= 15 && fraction <= 22 &&
                       !(p < end && (*p == 'e' || *p == 'E' || *p == 'x' || *p == 'X'));
    if (!plain) {
        if (digits == 0 && p < end && (*p == 'e' || *p == 'E'))
            return 0.0; // "e5" and ".e5" convert nothing
        if (digits == 0 &&
            !(start < end && (*start == 'i' || *start == 'I' || *start == 'n' || *start == 'N')))
            return 0.0; // nothing converted: no sign either
        return SlowToDouble(begin, end);
    }
    double v = static_cast<double>(mantissa);
    if (fraction > 0)
        v /= kPow10[fraction];
    return negative ? -v : v;
}

} // namespace pellister
