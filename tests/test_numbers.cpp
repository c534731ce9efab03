#include "platform/errors.h"
#include "platform/numbers.h"
#include "support/error_number.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <string>

using namespace platform;

namespace {

constexpr int32_t kInt32Min = std::numeric_limits<int32_t>::min();
constexpr int32_t kInt32Max = std::numeric_limits<int32_t>::max();

} // namespace

TEST(NumbersErrors, TextOfEachNumber)
{
    const struct {
        int number;
        const char* text;
    } cases[] = {
        {Overflow, "Overflow"},
        {OutOfMemory, "Out of memory"},
        {DivisionByZero, "Division by zero"},
        {TypeMismatch, "Type mismatch"},
        {FileNotFound, "File not found"},
        {PathFileAccessError, "Path/File access error"},
        {PathNotFound, "Path not found"},
        {InvalidPicture, "Invalid picture"},
        {DialogCancelled, "Cancel was selected."},
        {5, "Application-defined or object-defined error"},
        {0, "Application-defined or object-defined error"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(errorText(c.number), c.text) << c.number;
        const RuntimeError error(c.number);
        EXPECT_EQ(error.description(), c.text) << c.number;
        EXPECT_STREQ(error.what(), c.text) << c.number;
    }
}

TEST(NumbersErrors, GivenDescriptionIsKept)
{
    const RuntimeError error(FileNotFound, "File not found: /tmp/a.bmp");
    EXPECT_EQ(error.number(), FileNotFound);
    EXPECT_EQ(error.description(), "File not found: /tmp/a.bmp");
    EXPECT_STREQ(error.what(), "File not found: /tmp/a.bmp");
}

TEST(NumbersWhole, NearestWithHalvesToEven)
{
    const struct {
        double v;
        int32_t expected;
    } cases[] = {
        {0.5, 0},       {1.5, 2},         {2.5, 2},          {-0.5, 0},
        {-1.5, -2},     {-2.5, -2},       {1234.5, 1234},    {1235.5, 1236},
        {0.49, 0},      {2.51, 3},        {-2.51, -3},       {7.5, 8},
        {2147483647.4, kInt32Max},        {-2147483648.4, kInt32Min},
    };
    for (const auto& c : cases)
        EXPECT_EQ(whole(c.v), c.expected) << c.v;
}

TEST(NumbersWhole, OutsideInt32IsOverflow)
{
    const double cases[] = {2147483647.5, -2147483648.6, 1e10, -1e10,
                            std::numeric_limits<double>::infinity(),
                            std::numeric_limits<double>::quiet_NaN()};
    for (double v : cases)
        EXPECT_EQ(errorNumberOf([&] { whole(v); }), Overflow) << v;
}

TEST(NumbersNarrow, Int16Range)
{
    const struct {
        int64_t v;
        int error;
    } cases[] = {
        {0, 0}, {32767, 0}, {-32768, 0}, {32768, Overflow}, {-32769, Overflow}, {40000, Overflow},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(errorNumberOf([&] { EXPECT_EQ(narrowToInt16(c.v), c.v); }), c.error) << c.v;
    }
}

TEST(NumbersProduct, Int32Range)
{
    const struct {
        int32_t a;
        int32_t b;
        int64_t product;
    } cases[] = {
        {46340, 46340, 2147395600}, {-65536, 32768, kInt32Min}, {32767, 16, 524272},
        {65536, 32768, 2147483648LL}, {65536, -32769, -2147549184LL}, {32767, 70000, 2293690000LL},
    };
    for (const auto& c : cases) {
        const bool fits = c.product >= kInt32Min && c.product <= kInt32Max;
        EXPECT_EQ(errorNumberOf([&] { EXPECT_EQ(checkedProduct(c.a, c.b), c.product); }), fits ? 0 : Overflow)
            << c.a << " * " << c.b;
    }
}

TEST(NumbersIntDiv, TruncatesTowardZero)
{
    const struct {
        int32_t a;
        int32_t b;
        int32_t quotient;
    } cases[] = {
        {7, 2, 3}, {-7, 2, -3}, {7, -2, -3}, {-7, -2, 3}, {0, 5, 0}, {-1, 16, 0}, {kInt32Min, 1, kInt32Min},
    };
    for (const auto& c : cases)
        EXPECT_EQ(intDiv(c.a, c.b), c.quotient) << c.a << " \\ " << c.b;
}

TEST(NumbersIntDiv, ByZeroAndMinByMinusOne)
{
    EXPECT_EQ(errorNumberOf([] { intDiv(1, 0); }), DivisionByZero);
    EXPECT_EQ(errorNumberOf([] { intDiv(0, 0); }), DivisionByZero);
    EXPECT_EQ(errorNumberOf([] { intDiv(kInt32Min, -1); }), Overflow);
}

TEST(NumbersToText, Integers)
{
    EXPECT_EQ(toText(int16_t(-1)), "-1");
    EXPECT_EQ(toText(int16_t(0)), "0");
    EXPECT_EQ(toText(int16_t(32767)), "32767");
    EXPECT_EQ(toText(int16_t(-32768)), "-32768");
    EXPECT_EQ(toText(int32_t(kInt32Max)), "2147483647");
    EXPECT_EQ(toText(int32_t(kInt32Min)), "-2147483648");
}

TEST(NumbersToText, Singles)
{
    const struct {
        float v;
        const char* text;
    } cases[] = {
        {7335, "7335"},       {-1, "-1"},          {0, "0"},
        {-0.0f, "0"},         {32767, "32767"},    {1234.5f, "1234.5"},
        {0.1f, "0.1"},        {-7.5f, "-7.5"},     {1234.567f, "1234.567"},
        {1e10f, "1E+10"},     {1.5e-5f, "1.5E-05"}, {16777216, "1.677722E+07"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(toText(c.v), c.text) << c.v;
}

TEST(NumbersToText, IgnoresTheUsersLocale)
{
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "fr_FR.UTF-8"))
        GTEST_SKIP() << "no locale with a decimal comma installed";
    const std::string text = toText(1234.5f);
    int16_t fromText = 0;
    const int error = errorNumberOf([&] { fromText = toInt16("2.5"); });
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(text, "1234.5");
    EXPECT_EQ(error, 0);
    EXPECT_EQ(fromText, 2);
}

TEST(NumbersFromText, Int16)
{
    const struct {
        const char* text;
        int16_t v;
    } cases[] = {
        {"42", 42},     {"  42  ", 42},    {"\t5\t", 5},      {"-7", -7},        {"+3", 3},
        {"2.5", 2},     {"3.5", 4},        {"-2.5", -2},      {"1E3", 1000},     {"1e-1", 0},
        {".5", 0},      {"32767", 32767},  {"-32768", -32768}, {"32767.4", 32767}, {"0", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(errorNumberOf([&] { EXPECT_EQ(toInt16(c.text), c.v) << c.text; }), 0) << c.text;
    }
}

TEST(NumbersFromText, Single)
{
    const struct {
        const char* text;
        float v;
    } cases[] = {
        {"1234.5", 1234.5f}, {" -0.1 ", -0.1f}, {"1.5E-05", 1.5e-5f}, {"7335", 7335},
        {"+.5", 0.5f},       {"1E+10", 1e10f},  {"3.402823E+38", 3.402823e38f},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(errorNumberOf([&] { EXPECT_EQ(toSingle(c.text), c.v) << c.text; }), 0) << c.text;
    }
}

TEST(NumbersFromText, NotANumberOrTooLarge)
{
    const struct {
        const char* text;
        int int16Error;
        int singleError;
    } cases[] = {
        {"", TypeMismatch, TypeMismatch},        {"   ", TypeMismatch, TypeMismatch},
        {"abc", TypeMismatch, TypeMismatch},     {"12abc", TypeMismatch, TypeMismatch},
        {"1,5", TypeMismatch, TypeMismatch},     {"1 2", TypeMismatch, TypeMismatch},
        {"--1", TypeMismatch, TypeMismatch},     {"+-1", TypeMismatch, TypeMismatch},
        {"-", TypeMismatch, TypeMismatch},       {".", TypeMismatch, TypeMismatch},
        {"1e", TypeMismatch, TypeMismatch},      {"0x10", TypeMismatch, TypeMismatch},
        {"inf", TypeMismatch, TypeMismatch},     {"nan", TypeMismatch, TypeMismatch},
        {"32768", Overflow, 0},                  {"-32769", Overflow, 0},
        {"32767.5", Overflow, 0},                {"1e10", Overflow, 0},
        {"1e39", Overflow, Overflow},            {"-1e39", Overflow, Overflow},
        {"1e400", Overflow, Overflow},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(errorNumberOf([&] { toInt16(c.text); }), c.int16Error) << '"' << c.text << '"';
        EXPECT_EQ(errorNumberOf([&] { toSingle(c.text); }), c.singleError) << '"' << c.text << '"';
    }
}

TEST(NumbersFromText, SingleTextRoundTrips)
{
    // Window positions are stored as text and read back at the next start.
    const float values[] = {0, 7335, -120, 1234.5f, 0.1f, 9637.5f, -7.5f, 1e10f, 1.5e-5f};
    for (float v : values)
        EXPECT_EQ(toSingle(toText(v)), v) << v;
}
