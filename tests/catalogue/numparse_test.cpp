#include "base/numparse.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

using pellister::TextToDouble;
using pellister::TruncToInt;

namespace {

double Reference(const std::string &s)
{
    // strtod in the "C" locale is the conversion the data files were always read with.
    return std::strtod(s.c_str(), nullptr);
}

void ExpectSame(const std::string &s)
{
    const double want = Reference(s);
    const double got = TextToDouble(s.data(), s.data() + s.size());
    if (std::isnan(want)) {
        EXPECT_TRUE(std::isnan(got)) << '"' << s << '"';
        return;
    }
    // Bit-exact, including the sign of zero.
    EXPECT_EQ(0, std::memcmp(&want, &got, sizeof want)) << '"' << s << "\" want " << want << " got " << got;
}

} // namespace

TEST(TextToDouble, AgreesWithStrtodOnTheFieldsRecordersWrite)
{
    std::setlocale(LC_NUMERIC, "C");
    for (const char *s : {"0.02",
                          "-0.98",
                          "0.11",
                          "083015.300",
                          "130512",
                          "3733.1234",
                          "12658.5678",
                          "21.5",
                          "87.3",
                          "",
                          " ",
                          "-",
                          "+",
                          ".",
                          "-.",
                          "abc",
                          "  12.5xyz",
                          "\t-3",
                          "1e3",
                          "1E-2",
                          "1e",
                          "e5",
                          ".e5",
                          "0x1A",
                          "-0x10",
                          "inf",
                          "-Infinity",
                          "nan",
                          "0",
                          "-0",
                          "-0.0",
                          "00000000000000000001",
                          "123456789012345678901234",
                          "0.000000000000000000000000001",
                          "9007199254740993",
                          "1.7976931348623157e308",
                          "1e400",
                          "12,5",
                          "1.2.3",
                          "08",
                          "15.250",
                          ".2507",
                          "999999999999999.9"}) {
        ExpectSame(s);
    }
}

TEST(TextToDouble, AgreesWithStrtodOnRandomText)
{
    std::setlocale(LC_NUMERIC, "C");
    std::mt19937 rng(1234);
    const std::string alphabet = "0123456789.-+eE x";
    for (int i = 0; i < 20000; ++i) {
        std::string s;
        const int len = static_cast<int>(rng() % 24);
        for (int k = 0; k < len; ++k)
            s += alphabet[rng() % alphabet.size()];
        ExpectSame(s);
    }
}

TEST(TextToDouble, IgnoresTheProcessLocale)
{
    // A German desktop must still read "21.5" as twenty-one and a half.
    ASSERT_TRUE(std::setlocale(LC_NUMERIC, "de_DE.UTF-8"))
        << "no de_DE.UTF-8 locale (bash scripts/setup --tests makes it)";
    const std::string s = "21.5";
    EXPECT_EQ(21.5, TextToDouble(s.data(), s.data() + s.size()));
    std::setlocale(LC_NUMERIC, "C");
}

TEST(TruncToInt, TruncatesTowardZeroAndDefinesOverflow)
{
    EXPECT_EQ(39, TruncToInt(39.81));
    EXPECT_EQ(-2, TruncToInt(-2.9));
    EXPECT_EQ(0, TruncToInt(-0.5));
    EXPECT_EQ(INT_MIN, TruncToInt(1e300));
    EXPECT_EQ(INT_MIN, TruncToInt(-1e300));
    EXPECT_EQ(INT_MIN, TruncToInt(std::nan("")));
    EXPECT_EQ(2147483647, TruncToInt(2147483647.9));
}
