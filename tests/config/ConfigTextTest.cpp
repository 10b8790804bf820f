// The number and text rules every configuration reader relies on.
#include "config/ConfigText.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

namespace ZORVA {
namespace {

struct IntegerCase
{
    const wchar_t* text;
    int expected;
};

class ReadIntegerTest : public ::testing::TestWithParam<IntegerCase>
{};

TEST_P(ReadIntegerTest, ReadInteger_Text_LeadingDecimalValue)
{
    EXPECT_EQ(ReadInteger(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadIntegerTest,
    ::testing::Values(IntegerCase{L"42", 42}, IntegerCase{L"  \t-7", -7}, IntegerCase{L"+5", 5},
                      IntegerCase{L"12abc", 12}, IntegerCase{L"abc", 0}, IntegerCase{L"", 0}, IntegerCase{L"-", 0},
                      IntegerCase{L"1.9", 1}, IntegerCase{L"1 2", 1}, IntegerCase{L"- 3", 0}, IntegerCase{L"0x1F", 0},
                      IntegerCase{L"2147483647", INT_MAX}, IntegerCase{L"99999999999999999999999", INT_MAX},
                      IntegerCase{L"-2147483648", INT_MIN}, IntegerCase{L"-99999999999999999999999", INT_MIN}));

struct RealCase
{
    const wchar_t* text;
    float expected;
};

class ReadRealTest : public ::testing::TestWithParam<RealCase>
{};

TEST_P(ReadRealTest, ReadReal_Text_LeadingDecimalValueAsFloat)
{
    const float value = ReadReal(GetParam().text);
    EXPECT_EQ(value, GetParam().expected) << "text " << ::testing::PrintToString(std::wstring(GetParam().text));
}

const float Infinity = std::numeric_limits<float>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadRealTest,
    ::testing::Values(RealCase{L"600", 600.0f}, RealCase{L" -2.5", -2.5f}, RealCase{L"+.5", 0.5f},
                      RealCase{L"5.", 5.0f}, RealCase{L"1.5e2x", 150.0f}, RealCase{L"1E-1", 0.1f},
                      RealCase{L"1e", 1.0f}, RealCase{L"1e+", 1.0f}, RealCase{L"2,5", 2.0f}, RealCase{L"abc", 0.0f},
                      RealCase{L".", 0.0f}, RealCase{L"0x10", 0.0f}, RealCase{L"inf", 0.0f}, RealCase{L"nan", 0.0f},
                      // The decimal value rounds to double first, then to float.
                      RealCase{L"0.1", static_cast<float>(0.1)}, RealCase{L"24.5", 24.5f}, RealCase{L"1e39", Infinity},
                      RealCase{L"-1e400", -Infinity}, RealCase{L"1e-400", 0.0f},
                      RealCase{L"0.0000001e99999999999", Infinity},
                      // Just below and exactly at halfway past the largest float.
                      RealCase{L"340282351709131260724621789471329746944", std::numeric_limits<float>::max()},
                      RealCase{L"340282356779733661637539395458142568448", Infinity}));

TEST(FormatTextTest, FormatText_Placeholders_ReplacedInOrder)
{
    EXPECT_EQ(FormatText(L"Semantic error (%s) in configuration file at line %d \r\n", {L"Bad units X", L"7"}),
              L"Semantic error (Bad units X) in configuration file at line 7 \r\n");
    EXPECT_EQ(FormatText(L"100%% %s %d", {L"a"}), L"100% a ");
    EXPECT_EQ(FormatText(L"%x %", {}), L"%x %");
}

TEST(NarrowTextTest, NarrowText_WideCharacters_LowEightBitsAndLimit)
{
    const std::wstring text = {L'A', static_cast<wchar_t>(0xE9), static_cast<wchar_t>(0x1E9), L'B'};
    EXPECT_EQ(NarrowText(text), std::string("A\xE9\xE9"
                                            "B"));
    EXPECT_EQ(NarrowText(text, 2), std::string("A\xE9"));
    EXPECT_EQ(WidenText("\xFF"), std::wstring(1, static_cast<wchar_t>(0xFF)));
}

TEST(TrimTextTest, TrimText_SurroundingWhiteSpace_Removed)
{
    std::wstring text = L" \t a b \r\v\f";
    TrimText(text);
    EXPECT_EQ(text, L"a b");
    std::wstring bom = {static_cast<wchar_t>(0xEF), static_cast<wchar_t>(0xBB), static_cast<wchar_t>(0xBF), L'X'};
    std::wstring copy = bom;
    TrimText(copy);
    EXPECT_EQ(copy, bom); // the mark's bytes are not white space
}

} // namespace
} // namespace ZORVA
