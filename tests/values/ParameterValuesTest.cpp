#include "values/ParameterValues.h"
#include "values/VParameter.h"

#include "tests/support/BlockCapture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <new>

using namespace MoldraDigitalDevice;

namespace {

using zorvatest::BlockCapture;
using zorvatest::Bytes;

Bytes BlockOf(IParameterValue& value)
{
    BlockCapture capture;
    EXPECT_TRUE(value.CopyTo(capture));
    return capture.block;
}

void Append(Bytes& b, std::uint32_t v)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(&v);
    b.insert(b.end(), p, p + 4);
}

void Append(Bytes& b, const std::string& text)
{
    Append(b, static_cast<std::uint32_t>(text.size()));
    b.insert(b.end(), text.begin(), text.end());
}

} // namespace

TEST(ParameterValueBlock, CopyTo_BoolTrueWithFlagB_EightBytes)
{
    IParameterValueBool value;
    value.SetValue(true);
    value.SetFlagB(true);
    EXPECT_EQ(BlockOf(value), (Bytes{0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00}));
}

TEST(ParameterValueBlock, CopyTo_StringAbc_FourteenBytes)
{
    IParameterValueString value;
    value.SetValue("abc");
    EXPECT_EQ(BlockOf(value), (Bytes{0x04, 0, 0, 0, 0x03, 0, 0, 0, 'a', 'b', 'c', 0, 0, 0}));
}

TEST(ParameterValueBlock, CopyTo_DefaultDouble_ThirtyTwoBytesWithFullRange)
{
    IParameterValueDouble value;
    const Bytes block = BlockOf(value);
    ASSERT_EQ(block.size(), 32u);
    std::uint64_t minimumBits = 0, maximumBits = 0;
    std::memcpy(&minimumBits, &block[15], 8);
    std::memcpy(&maximumBits, &block[23], 8);
    EXPECT_EQ(minimumBits, 0xffefffffffffffffull);
    EXPECT_EQ(maximumBits, 0x7fefffffffffffffull);
    EXPECT_EQ(block[31], 0); // LimitsSet
}

TEST(ParameterValueBlock, CopyTo_EnumAndAction_Layout)
{
    IParameterValueEnum enumeration;
    enumeration.SetEnumValues({"a", "bc"});
    enumeration.SetValue("bc");
    enumeration.SetFlagA(true);
    Bytes expected;
    Append(expected, 7u);
    Append(expected, std::string("bc"));
    expected.insert(expected.end(), {1, 0, 0});
    Append(expected, 2u);
    Append(expected, std::string("a"));
    Append(expected, std::string("bc"));
    EXPECT_EQ(BlockOf(enumeration), expected);

    IParameterValueAction action;
    action.SetValue(0x01020304u);
    EXPECT_EQ(BlockOf(action), (Bytes{0, 0, 0, 0, 0x04, 0x03, 0x02, 0x01, 0, 0, 0}));
}

TEST(ParameterValueBlock, CopyTo_EveryClass_RoundTripsAllFields)
{
    IParameterValueDouble source;
    source.SetValue(20.0);
    source.Minimum = 0.0;
    source.Maximum = 50.0;
    source.LimitsSet = true;
    source.SetFlagC(true);
    IParameterValueDouble target;
    ASSERT_TRUE(source.CopyTo(target));
    EXPECT_EQ(target.Value, 20.0);
    EXPECT_EQ(target.Minimum, 0.0);
    EXPECT_EQ(target.Maximum, 50.0);
    EXPECT_TRUE(target.LimitsSet);
    EXPECT_TRUE(target.GetFlagC());
    EXPECT_TRUE(source.IsEqual(target));

    IParameterValueEnum rates;
    rates.SetEnumValues({"2000", "1000", "10"});
    rates.SetValue("1000");
    IParameterValueEnum ratesCopy;
    ASSERT_TRUE(rates.CopyTo(ratesCopy));
    EXPECT_EQ(ratesCopy.EnumValues, rates.EnumValues);
    EXPECT_EQ(ratesCopy.GetValue(), "1000");
    EXPECT_TRUE(rates.IsEqual(ratesCopy));
}

TEST(ParameterValueCopy, CopyTo_BoolIntoDouble_FailsAndLeavesTargetUnchanged)
{
    IParameterValueBool source;
    source.SetValue(true);
    IParameterValueDouble target;
    target.SetValue(3.5);
    EXPECT_FALSE(source.CopyTo(target));
    EXPECT_EQ(target.Value, 3.5);
    EXPECT_FALSE(target.GetFlagA());
}

// The host calls CopyTo: running out of memory there must not throw into it.
TEST(ParameterValueCopy, CopyTo_OutOfMemory_FailsWithoutThrowing)
{
    IParameterValueEnum source;
    source.SetEnumValues({"Software trigger", "Hardware trigger", "Genlock"});
    BlockCapture target;
    target.exhausted = true; // runs out of memory while it reads the block
    bool copied = true;
    EXPECT_NO_THROW(copied = source.CopyTo(target));
    EXPECT_FALSE(copied);
    EXPECT_FALSE(source.IsEqual(target));
}

TEST(ParameterValueCopy, CopyTo_StringIntoEnum_FailsDespiteSameValueType)
{
    IParameterValueString source;
    source.SetValue("Genlock");
    IParameterValueEnum target;
    EXPECT_FALSE(source.CopyTo(target));
    EXPECT_EQ(target.GetValue(), "");
}

// ---------------------------------------------------------------- malformed blocks

namespace {

struct MalformedCase
{
    const char* name;
    int type; ///< class that reads the block
    Bytes block;
};

std::unique_ptr<IParameterValue, HostObjectDeleter> NewValue(int type)
{
    switch (type) {
    case ParameterTypeBool: return std::unique_ptr<IParameterValue, HostObjectDeleter>(new IParameterValueBool());
    case ParameterTypeDouble: return std::unique_ptr<IParameterValue, HostObjectDeleter>(new IParameterValueDouble());
    case ParameterTypeString: return std::unique_ptr<IParameterValue, HostObjectDeleter>(new IParameterValueString());
    case ParameterTypeEnum: return std::unique_ptr<IParameterValue, HostObjectDeleter>(new IParameterValueEnum());
    default: return std::unique_ptr<IParameterValue, HostObjectDeleter>(new IParameterValueAction());
    }
}

Bytes ValidBlock(int type)
{
    std::unique_ptr<IParameterValue, HostObjectDeleter> value = NewValue(type);
    if (type == ParameterTypeEnum)
        static_cast<IParameterValueEnum&>(*value).SetEnumValues({"one", "two", "three"});
    return BlockOf(*value);
}

Bytes Cut(Bytes block, std::size_t size)
{
    block.resize(size);
    return block;
}

Bytes Plus(Bytes block, unsigned char extra)
{
    block.push_back(extra);
    return block;
}

Bytes EnumWithCount(std::uint32_t count)
{
    Bytes b;
    Append(b, 7u);
    Append(b, std::string(""));
    b.insert(b.end(), {0, 0, 0});
    Append(b, count);
    return b;
}

class MalformedBlock : public ::testing::TestWithParam<MalformedCase>
{};

} // namespace

TEST_P(MalformedBlock, ReadFrom_Malformed_ReturnsFalse)
{
    const MalformedCase& c = GetParam();
    std::unique_ptr<IParameterValue, HostObjectDeleter> value = NewValue(c.type);
    EXPECT_FALSE(
        value->ReadFrom(c.block.empty() ? nullptr : c.block.data(), static_cast<unsigned int>(c.block.size())));
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, MalformedBlock,
    ::testing::Values(
        MalformedCase{"Empty", ParameterTypeBool, {}}, MalformedCase{"ShorterThanType", ParameterTypeBool, {1, 0}},
        MalformedCase{"OtherType", ParameterTypeDouble, ValidBlock(ParameterTypeBool)},
        MalformedCase{"EnumBlockIntoString", ParameterTypeString, ValidBlock(ParameterTypeEnum)},
        MalformedCase{"BoolMissingValue", ParameterTypeBool, Cut(ValidBlock(ParameterTypeBool), 4)},
        MalformedCase{"BoolMissingFlagC", ParameterTypeBool, Cut(ValidBlock(ParameterTypeBool), 7)},
        MalformedCase{"BoolTrailingByte", ParameterTypeBool, Plus(ValidBlock(ParameterTypeBool), 0)},
        MalformedCase{"ActionShortValue", ParameterTypeAction, Cut(ValidBlock(ParameterTypeAction), 6)},
        MalformedCase{"DoubleShortValue", ParameterTypeDouble, Cut(ValidBlock(ParameterTypeDouble), 9)},
        MalformedCase{"DoubleMissingLimitsSet", ParameterTypeDouble, Cut(ValidBlock(ParameterTypeDouble), 31)},
        MalformedCase{"DoubleTrailingByte", ParameterTypeDouble, Plus(ValidBlock(ParameterTypeDouble), 1)},
        MalformedCase{"StringLengthBeyondEnd", ParameterTypeString, Bytes{4, 0, 0, 0, 200, 0, 0, 0, 'a', 0, 0, 0}},
        MalformedCase{"StringHugeLength", ParameterTypeString, Bytes{4, 0, 0, 0, 0xff, 0xff, 0xff, 0xff, 0, 0, 0}},
        MalformedCase{"StringTrailingByte", ParameterTypeString, Plus(ValidBlock(ParameterTypeString), 'x')},
        MalformedCase{"EnumMissingCount", ParameterTypeEnum, Cut(ValidBlock(ParameterTypeEnum), 12)},
        MalformedCase{"EnumCountBeyondEnd", ParameterTypeEnum, EnumWithCount(4)},
        MalformedCase{"EnumHugeCount", ParameterTypeEnum, EnumWithCount(0xffffffffu)},
        MalformedCase{"EnumTrailingByte", ParameterTypeEnum, Plus(ValidBlock(ParameterTypeEnum), 0)}),
    [](const ::testing::TestParamInfo<MalformedCase>& info) { return std::string(info.param.name); });

TEST(ParameterValueRead, ReadFrom_NullWithSize_ReturnsFalse)
{
    IParameterValueBool value;
    EXPECT_FALSE(value.ReadFrom(nullptr, 8));
}

TEST(ParameterValueRead, ReadFrom_EnumEndingInsideThirdText_FailsWithListResized)
{
    Bytes block = ValidBlock(ParameterTypeEnum); // "one", "two", "three"
    block.resize(block.size() - 2);              // cut inside "three"
    IParameterValueEnum value;
    EXPECT_FALSE(value.ReadFrom(block.data(), static_cast<unsigned int>(block.size())));
    ASSERT_EQ(value.EnumValues.size(), 3u);
    EXPECT_EQ(value.EnumValues[0], "one");
    EXPECT_EQ(value.EnumValues[1], "two");
}

// Regression: a count of 2^32-1 used to resize the list before any text was
// read, asking for ~100 GB; now the count is checked against the bytes left.
TEST(ParameterValueRead, ReadFrom_EnumHugeCount_LeavesListUntouched)
{
    IParameterValueEnum value;
    value.SetEnumValues({"kept"});
    const Bytes block = EnumWithCount(0xffffffffu);
    EXPECT_FALSE(value.ReadFrom(block.data(), static_cast<unsigned int>(block.size())));
    EXPECT_EQ(value.EnumValues, std::vector<std::string>{"kept"});
}

TEST(ParameterValueRead, ReadFrom_FailureAfterValue_KeepsFieldsAlreadyRead)
{
    IParameterValueString source;
    source.SetValue("new");
    Bytes block = BlockOf(source);
    block.resize(block.size() - 1); // FlagC missing
    IParameterValueString value;
    value.SetValue("old");
    EXPECT_FALSE(value.ReadFrom(block.data(), static_cast<unsigned int>(block.size())));
    EXPECT_EQ(value.GetValue(), "new");
}

// ---------------------------------------------------------------- equality

TEST(ParameterValueEqual, IsEqual_TwoNaNDoubles_False)
{
    IParameterValueDouble a, b;
    a.SetValue(std::numeric_limits<double>::quiet_NaN());
    b.SetValue(std::numeric_limits<double>::quiet_NaN());
    EXPECT_FALSE(a.IsEqual(b));
    EXPECT_FALSE(a.IsEqual(a));
}

TEST(ParameterValueEqual, IsEqual_DiffersInOneField_False)
{
    IParameterValueBool plain, flagged;
    flagged.SetFlagA(true);
    EXPECT_FALSE(plain.IsEqual(flagged));

    IParameterValueDouble narrow, wide;
    narrow.Minimum = 0.0;
    EXPECT_FALSE(narrow.IsEqual(wide));

    IParameterValueEnum one, other;
    one.SetEnumValues({"a", "b"});
    other.SetEnumValues({"a", "c"});
    EXPECT_FALSE(one.IsEqual(other));

    IParameterValueString text;
    IParameterValueEnum enumeration;
    EXPECT_FALSE(text.IsEqual(enumeration)); // same value type, other class
}

TEST(ParameterValueEqual, IsEqual_SameContent_True)
{
    IParameterValueAction a, b;
    a.SetValue(7);
    b.SetValue(7);
    EXPECT_TRUE(a.IsEqual(b));
    IParameterValueString s, t;
    s.SetValue(std::string("a\0b", 3));
    t.SetValue(std::string("a\0b", 3));
    EXPECT_TRUE(s.IsEqual(t)); // byte-wise, embedded NUL included
}

TEST(ParameterValueEnum, SetValue_TextNotInList_Accepted)
{
    IParameterValueEnum value;
    value.SetEnumValues({"Software trigger", "Genlock"});
    value.SetValue("Free run");
    EXPECT_EQ(value.GetValue(), "Free run");
}

TEST(VParameterRecord, Defaults_DefinitionFlagTrueAndDefaultValue)
{
    ZORVA::VParameter<IParameterValueDouble> parameter;
    EXPECT_TRUE(parameter.DefinitionFlag);
    EXPECT_EQ(parameter.Id, 0u);
    EXPECT_EQ(parameter.Value.GetType(), ParameterTypeDouble);
    EXPECT_FALSE(parameter.Value.LimitsSet);
    ZORVA::VParameter<IParameterValueDouble> copy(parameter);
    EXPECT_TRUE(copy.Value.IsEqual(parameter.Value));
}
