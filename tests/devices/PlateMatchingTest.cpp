// Which definition a detected platform gets: a standard model by its model
// text or its size, else a custom definition by name or size.
#include "DevicesTestSupport.h"

#include "definitions/CustomDefinitions.h"

#include <cmath>
#include <limits>

using namespace devtest;

namespace {

struct ModelCase
{
    const char* name;
    const char* model;
    const char* length; ///< inches
    const char* width;
    int row;
};

void PrintTo(const ModelCase& c, std::ostream* os) { *os << c.name; }

class MatchModel : public ::testing::TestWithParam<ModelCase>
{};

const ModelCase ModelCases[] = {
    {"TextAtStart", "Pendra-600", "", "", 1},
    {"TextAnywhere", "XYZ Pendra rev B", "1", "1", 1},
    {"TextWinsOverSize", "Gorvin", "23.622", "15.748", 10},
    {"RowsWithoutSize", "Talvo 2", "", "", 4},
    {"TreadMillMixedCase", "TreadMill-7", "", "", 17},
    {"TreadmillUpperCaseInside", "split TREADMILL unit", "", "", 17},
    {"TextCaseCounts", "pendra", "", "", 5}, // no text: 19.7 x 19.7 in
    {"FirstRowTextWins", "Zibbet Pendra", "", "", 1},
    {"SizePendra", "", "23.622", "15.748", 1},
    // 900 x 600 mm fits row 7 and row 9 (900 x 603): the earlier row wins.
    {"SizeInRowOrder", "", "35.433", "23.622", 7},
    // 606.3 mm wide is too far from row 7 (600) but near row 9 (603).
    {"SizeFennik", "", "35.433", "23.87", 9},
    {"SizeTreadmillPair", "", "30", "24.488", 17}, // 762 x 622 mm
    {"SizeLengthIsY", "", "15.748", "23.622", 0},  // 400 x 600: no row
    // Empty or unreadable texts stand for 19.7 inches (500.38 mm): row 5.
    {"EmptySize", "", "", "", 5},
    {"UnreadableSize", "Unknown", "n/a", "wide", 5},
    {"ZeroSize", "", "0", "0.0", 5},
    // No NaN reaches the comparison: "nan" is no decimal number.
    {"NanText", "", "nan", "nan", 5},
    // 1 % of the measured size: 606.04 mm is 6.04 from 600, within 1 % of
    // itself (6.06) though not of 600 (6.0).
    {"ToleranceOfMeasuredSize", "", "23.86", "15.748", 1},
    {"JustOutsideTolerance", "", "23.87", "15.748", 0},
    {"NoMatch", "Custom", "10", "10", 0},
};

TEST_P(MatchModel, MatchPlateModel_Platform_Row)
{
    const ModelCase& c = GetParam();
    DeviceInfo info = Unit("A", "P", 0, 100, c.model);
    info.platformLength = c.length;
    info.platformWidth = c.width;
    EXPECT_EQ(ZORVA::MatchPlateModel(info), c.row);
}

INSTANTIATE_TEST_SUITE_P(Cases, MatchModel, ::testing::ValuesIn(ModelCases),
                         [](const ::testing::TestParamInfo<ModelCase>& info) { return info.param.name; });

struct NumberCase
{
    const char* name;
    const char* text;
    double value;
};

void PrintTo(const NumberCase& c, std::ostream* os) { *os << c.name; }

class LeadingNumberText : public ::testing::TestWithParam<NumberCase>
{};

const NumberCase NumberCases[] = {
    {"Plain", "23.622", 23.622},
    {"LeadingWhiteSpace", " \t\n12.5", 12.5},
    {"StopsAtUnit", "23.6in", 23.6},
    {"StopsAtSecondPoint", "2.5.3", 2.5},
    {"DecimalCommaIsNoPoint", "1,5", 1.0},
    {"Exponent", "1e3", 1000.0},
    {"NoLeadingDigit", ".5", 0.5},
    {"Negative", "-3", -3.0},
    {"Empty", "", 0.0},
    {"Word", "abc", 0.0},
    {"Nan", "nan", 0.0},
    {"Hexadecimal", "0x10", 0.0},
    {"PlusSign", "+7.5", 7.5},
    {"TrailingPoint", "5.", 5.0},
    {"PointAlone", ".", 0.0},
    {"SignAlone", "-", 0.0},
    {"ExponentWithUnit", "1e+2mm", 100.0},
    // Regression: a stream read the whole token and failed, giving 0; an
    // exponent without a digit is not part of the number.
    {"ExponentWithoutDigit", "23.6e", 23.6},
    {"ExponentSignWithoutDigit", "23.6E+", 23.6},
    {"ExponentFollowedByLetter", "23.6e-x", 23.6},
    {"Overflow", "1e999", std::numeric_limits<double>::infinity()},
    {"NegativeOverflow", "-1e999", -std::numeric_limits<double>::infinity()},
    {"Underflow", "1e-999", 0.0},
};

TEST_P(LeadingNumberText, LeadingNumber_Text_Value)
{
    EXPECT_DOUBLE_EQ(ZORVA::LeadingNumber(GetParam().text), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(Cases, LeadingNumberText, ::testing::ValuesIn(NumberCases),
                         [](const ::testing::TestParamInfo<NumberCase>& info) { return info.param.name; });

/// The custom list as configuration files would leave it, released after the test.
class CustomList : public ::testing::Test
{
protected:
    struct Entry
    {
        const char* name;
        double x, y;
    };

    void Use(std::initializer_list<Entry> entries)
    {
        ZORVA::ReleaseCustomDefinitions();
        ZORVA::customDefinitions = new ZORVA::VZORVAGenericPlateDefinition[entries.size()];
        int i = 0;
        for (const Entry& entry : entries) {
            ZORVA::customDefinitions[i].Name = entry.name;
            ZORVA::customDefinitions[i].DimensionX = entry.x;
            ZORVA::customDefinitions[i].DimensionY = entry.y;
            ++i;
        }
        ZORVA::customDefinitionCount = i;
    }
    void TearDown() override { ZORVA::ReleaseCustomDefinitions(); }
};

TEST_F(CustomList, FindCustomDefinition_EmptyList_None)
{
    EXPECT_EQ(ZORVA::FindCustomDefinition("Walkway", "23.6", "15.7"), nullptr);
}

TEST_F(CustomList, FindCustomDefinition_TwoEqualNames_LastWinsOverEarlierSizeFit)
{
    Use({{"Walkway", 0.4, 0.6}, {"Walkway", 1.0, 2.0}, {"Other", 0.4, 0.6}});
    std::unique_ptr<ZORVA::VZORVAGenericPlateDefinition> found = ZORVA::FindCustomDefinition("Walkway", "23.6", "15.7");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->Name, "Walkway");
    EXPECT_DOUBLE_EQ(found->DimensionX, 1.0);
    EXPECT_DOUBLE_EQ(found->DimensionY, 2.0);
    // A copy: the list's entry is never handed out.
    EXPECT_NE(found.get(), &ZORVA::customDefinitions[1]);
}

TEST_F(CustomList, FindCustomDefinition_SizeWithinOnePercent_LastFitWins)
{
    // 23.6 x 15.7 in is 0.59944 x 0.39878 m: length against Y, width against X.
    Use({{"First", 0.4, 0.6}, {"Swapped", 0.6, 0.4}, {"Second", 0.401, 0.601}, {"Far", 0.45, 0.6}});
    std::unique_ptr<ZORVA::VZORVAGenericPlateDefinition> found = ZORVA::FindCustomDefinition("Unknown", "23.6", "15.7");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->Name, "Second");
    EXPECT_DOUBLE_EQ(found->DimensionX, 0.401);
    EXPECT_DOUBLE_EQ(found->DimensionY, 0.601);
}

TEST_F(CustomList, FindCustomDefinition_NameDiffersInCase_MatchesBySizeOnly)
{
    Use({{"walkway", 2.0, 2.0}});
    EXPECT_EQ(ZORVA::FindCustomDefinition("Walkway", "23.6", "15.7"), nullptr);
    Use({{"walkway", 0.4, 0.6}});
    EXPECT_NE(ZORVA::FindCustomDefinition("Walkway", "23.6", "15.7"), nullptr);
}

TEST_F(CustomList, FindCustomDefinition_NameLengthDiffers_NoNameMatch)
{
    Use({{"Walk", 2.0, 2.0}, {"Walkway ", 2.0, 2.0}});
    EXPECT_EQ(ZORVA::FindCustomDefinition("Walkway", "23.6", "15.7"), nullptr);
}

TEST_F(CustomList, FindCustomDefinition_UnreadableSize_TakenAsHalfMetreSquare)
{
    Use({{"Square", 0.5, 0.5}});
    for (const char* text : {"", "0", "n/a"}) {
        std::unique_ptr<ZORVA::VZORVAGenericPlateDefinition> found = ZORVA::FindCustomDefinition("X", text, text);
        ASSERT_NE(found, nullptr) << '"' << text << '"';
        EXPECT_EQ(found->Name, "Square");
    }
}

TEST_F(CustomList, FindCustomDefinition_ZeroDimension_NeverMatchesBySize)
{
    Use({{"NoX", 0.0, 0.6}, {"NoY", 0.4, 0.0}, {"None", 0.0, 0.0}});
    EXPECT_EQ(ZORVA::FindCustomDefinition("X", "23.6", "15.7"), nullptr);
    EXPECT_EQ(ZORVA::FindCustomDefinition("X", "0", "0"), nullptr);
    // By name it still matches.
    EXPECT_NE(ZORVA::FindCustomDefinition("None", "0", "0"), nullptr);
}

} // namespace
