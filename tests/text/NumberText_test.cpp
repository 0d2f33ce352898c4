#include "text/NumberText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <ostream>
#include <vector>

// Readable failure messages for QString comparisons.
void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kMax = std::numeric_limits<double>::max();

TEST(PrefixValue, ReadsTheLeadingNumber)
{
    const struct { const char* text; double value; } cases[] = {
        {"1013.25", 1013.25}, {" -12.5", -12.5}, {"12abc", 12}, {"abc", 0}, {"", 0},
        {".5", 0.5}, {"5.", 5}, {"+7", 7}, {"1e3", 1000}, {"1E-2", 0.01}, {"1e", 1},
        {"1e+", 1}, {"2ex", 2}, {"--1", 0}, {"+-1", 0}, {"1.2.3", 1.2}, {"-", 0},
        {".", 0}, {".e5", 0}, {"1\n2", 1},
        // Beyond the range of a double, either way, reads as 0.
        {"1e999", 0}, {"-1e999", 0}, {"1e-999", 0}, {"1e99999999999999999999", 0},
        // Blanks count as nothing until the number has ended.
        {"\t 42", 42}, {"1 000", 1000}, {"- 3", -3}, {"1 . 5", 1.5}, {"2 e - 1", 0.2},
        {"3 e x", 3}, {"12 ab 3", 12},
    };
    for (const auto& c : cases) {
        const double v = vt::PrefixValue(QString::fromUtf8(c.text));
        EXPECT_DOUBLE_EQ(v, c.value) << '"' << c.text << '"';
    }
}

TEST(NumericValue, AcceptsOnlyAWholeDecimalNumber)
{
    // Beyond the range of a double written out in full, with no exponent to tell.
    const std::string allDigits = "1" + std::string(309, '0');
    const struct { const char* text; std::optional<double> value; } cases[] = {
        {" 42 ", 42}, {"007", 7}, {"1e3", 1000}, {"-0.4", -0.4}, {"+2.5E-1", 0.25},
        {"5.", 5}, {".5", 0.5}, {"\t1013.25", 1013.25}, {"1e-999", 0.0},
        {"abc", {}}, {"12abc", {}}, {"", {}}, {"   ", {}}, {"1e", {}}, {"1e+", {}},
        {"+", {}}, {".", {}}, {"1 2", {}}, {"- 1", {}}, {"0x10", {}}, {"1,000", {}},
        {"1.2.3", {}}, {"inf", {}}, {"nan", {}}, {"1e999", {}}, {"-1e999", {}},
        {allDigits.c_str(), {}},
    };
    for (const auto& c : cases) {
        const auto v = vt::NumericValue(QString::fromUtf8(c.text));
        ASSERT_EQ(v.has_value(), c.value.has_value()) << '"' << c.text << '"';
        if (v) {
            EXPECT_DOUBLE_EQ(*v, *c.value) << '"' << c.text << '"';
        }
    }
}

TEST(RoundHalfEven, HalvesGoToTheEvenNeighbour)
{
    const struct { double in, out; } cases[] = {
        {12.5, 12}, {13.5, 14}, {2.5, 2}, {999.5, 1000}, {-2.5, -2}, {-3.5, -4},
        {12.4999, 12}, {12.5001, 13}, {0.49999999999999994, 0},
        {4503599627370497.0, 4503599627370497.0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(vt::RoundHalfEven(c.in), c.out) << c.in;
    // Minus zero would print as "-0" wherever it is formatted.
    for (const double v : {-0.5, -0.4, -0.0})
        EXPECT_FALSE(std::signbit(vt::RoundHalfEven(v))) << v;
}

struct TextCase { double value; const char* text; };

TEST(NumberToText, Writes15SignificantDigits)
{
    const TextCase cases[] = {
        {0.25, "0.25"}, {-0.5, "-0.5"}, {12, "12"}, {1013.25 - 1013, "0.25"},
        {0.1 + 0.2, "0.3"}, {1013.2 - 1013, "0.200000000000045"}, {100000, "100000"},
        {2992, "2992"}, {-0.0, "0"}, {0.00001, "0.00001"}, {-0.000012345, "-0.000012345"},
        {123456789012345.0, "123456789012345"}, {2.0 / 3, "0.666666666666667"},
        // Outside 1e-5 .. 1e15 the exponent form takes over.
        {123456789012345678.0, "1.23456789012346E+17"}, {1e20, "1E+20"}, {1e15, "1E+15"},
        {999999999999999.9, "1E+15"}, {-2.5e15, "-2.5E+15"}, {1e-6, "1E-06"},
        {-1.5e-7, "-1.5E-07"}, {1e100, "1E+100"},
        {kInf, "0"}, {std::nan(""), "0"},
        // The largest doubles would round up past the range; they round toward zero.
        {kMax, "1.79769313486231E+308"}, {-kMax, "-1.79769313486231E+308"},
        {std::nextafter(kMax, 0.0), "1.79769313486231E+308"}, {1.797693134862315e308, "1.79769313486231E+308"},
        {1.7976931348623149e308, "1.79769313486231E+308"}, {1.7976931348623e308, "1.7976931348623E+308"},
        {std::numeric_limits<double>::denorm_min(), "4.94065645841247E-324"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(vt::NumberToText(c.value), QString::fromLatin1(c.text)) << c.value;
}

TEST(NumberToText, EveryTextReadsBackAsANumberCloseToIt)
{
    // Walk down from the largest double, and across the exponents, both signs.
    std::vector<double> values;
    for (double v = kMax; values.size() < 64; v = std::nextafter(v, 0.0))
        values.push_back(v);
    for (int e = -324; e <= 308; ++e)
        values.push_back(1.2345678901234567 * std::pow(10.0, e));
    for (const double v : values) {
        for (const double x : {v, -v}) {
            if (!std::isfinite(x))
                continue;
            const QString text = vt::NumberToText(x);
            const auto back = vt::NumericValue(text);
            ASSERT_TRUE(back.has_value()) << x << " gave " << text.toStdString();
            EXPECT_LE(std::fabs(*back - x), std::fabs(x) * 1e-14 + 1e-300) << x << " gave " << text.toStdString();
        }
    }
}

TEST(FormatFixed2, TwoDecimalsHalfAwayFromZero)
{
    const TextCase cases[] = {
        {12.345, "12.35"},  // its binary value is just below the half
        {12.344, "12.34"}, {12.346, "12.35"}, {-12.345, "-12.35"}, {-12.5, "-12.50"},
        {1.005, "1.01"}, {3, "3.00"}, {0.5, "0.50"}, {0.001, "0.00"}, {-0.001, "0.00"},
        {-0.0, "0.00"}, {0.005, "0.01"}, {-0.005, "-0.01"}, {0.0049, "0.00"},
        {9999.999, "10000.00"}, {99.995, "100.00"}, {1e-300, "0.00"},
        {1e20, "100000000000000000000.00"}, {-1.23456789012345e16, "-12345678901234500.00"},
        {kInf, "0.00"}, {std::nan(""), "0.00"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(vt::FormatFixed2(c.value), QString::fromLatin1(c.text)) << c.value;

    // The largest doubles keep a text that reads back as a number (the datum range
    // check reads it).
    const QString top = QStringLiteral("179769313486231") + QString(294, u'0') + QStringLiteral(".00");
    EXPECT_EQ(vt::FormatFixed2(kMax), top);
    EXPECT_EQ(vt::FormatFixed2(-kMax), u'-' + top);
    EXPECT_GT(vt::PrefixValue(vt::FormatFixed2(kMax)), 1e308);
}

} // namespace
