#include "ParameterValues.h"

namespace MoldraDigitalDevice {

bool IParameterValueBool::IsEqual(IParameterValue& other)
{
    IParameterValueBool local;
    return BaseEqual(local, other);
}

bool IParameterValueDouble::IsEqual(IParameterValue& other)
{
    IParameterValueDouble local;
    // Floating-point equality throughout: a NaN equals nothing.
    return BaseEqual(local, other) && local.Minimum == Minimum && local.Maximum == Maximum &&
           local.LimitsSet == LimitsSet;
}

void IParameterValueDouble::WriteExtra(ByteBuffer& buffer)
{
    ByteWriter::Double(buffer, Minimum);
    ByteWriter::Double(buffer, Maximum);
    ByteWriter::Bool(buffer, LimitsSet);
}

bool IParameterValueDouble::ReadExtra(BlockReader& reader)
{
    return reader.ReadDouble(Minimum) && reader.ReadDouble(Maximum) && reader.ReadBool(LimitsSet);
}

bool IParameterValueString::IsEqual(IParameterValue& other)
{
    IParameterValueString local;
    return BaseEqual(local, other);
}

bool IParameterValueEnum::IsEqual(IParameterValue& other)
{
    IParameterValueEnum local;
    return BaseEqual(local, other) && local.EnumValues == EnumValues;
}

void IParameterValueEnum::WriteExtra(ByteBuffer& buffer)
{
    ByteWriter::UInt32(buffer, static_cast<std::uint32_t>(EnumValues.size()));
    for (const std::string& text : EnumValues)
        ByteWriter::Text(buffer, text);
}

bool IParameterValueEnum::ReadExtra(BlockReader& reader)
{
    std::uint32_t count = 0;
    if (!reader.ReadUInt32(count))
        return false;
    if (count > reader.Remaining() / sizeof(std::uint32_t))
        return false;
    EnumValues.resize(count);
    for (std::string& text : EnumValues) {
        if (!reader.ReadText(text))
            return false;
    }
    return true;
}

void IParameterValueEnum::SetEnumValues(const std::vector<std::string>& values) { EnumValues = values; }

bool IParameterValueAction::IsEqual(IParameterValue& other)
{
    IParameterValueAction local;
    return BaseEqual(local, other);
}

} // namespace MoldraDigitalDevice
