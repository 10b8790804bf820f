#include "hostkit/Values.h"

#include <sstream>

namespace hostkit {

using namespace MoldraDigitalDevice;

std::string TextOf(IParameterValue* value)
{
    if (const IParameterValueEnum* item = As<IParameterValueEnum>(value))
        return item->Value;
    if (const IParameterValueString* text = As<IParameterValueString>(value))
        return text->Value;
    return std::string();
}

double NumberOf(IParameterValue* value)
{
    const IParameterValueDouble* number = As<IParameterValueDouble>(value);
    return number ? number->Value : 0.0;
}

bool FlagOf(IParameterValue* value)
{
    const IParameterValueBool* flag = As<IParameterValueBool>(value);
    return flag && flag->Value;
}

std::vector<std::string> OfferedOf(IParameterValue* value)
{
    const IParameterValueEnum* item = As<IParameterValueEnum>(value);
    return item ? item->EnumValues : std::vector<std::string>();
}

ValuePtr NewValueOfType(int type)
{
    switch (type) {
    case ParameterTypeBool: return ValuePtr(new IParameterValueBool());
    case ParameterTypeDouble: return ValuePtr(new IParameterValueDouble());
    case ParameterTypeString: return ValuePtr(new IParameterValueString());
    case ParameterTypeEnum: return ValuePtr(new IParameterValueEnum());
    case ParameterTypeAction: return ValuePtr(new IParameterValueAction());
    default: return nullptr;
    }
}

ValuePtr CopyValue(IParameterValue& value)
{
    ValuePtr copy = NewValueOfType(value.GetType());
    if (!copy || !value.CopyTo(*copy))
        return nullptr;
    return copy;
}

std::string Quote(const char* text)
{
    if (!text)
        return "null";
    std::string quoted = "\"";
    for (const char* c = text; *c; ++c) {
        if (*c == '"' || *c == '\\')
            quoted += '\\';
        quoted += *c;
    }
    return quoted + "\"";
}

std::string DescribeValue(IParameterValue& value)
{
    ValuePtr copy = CopyValue(value);
    if (!copy)
        return "Unreadable(type " + std::to_string(value.GetType()) + ")";
    std::ostringstream text;
    text.precision(17);
    auto flags = [&](IParameterValue& v) { text << " flags " << v.GetFlagA() << v.GetFlagB() << v.GetFlagC(); };
    switch (copy->GetType()) {
    case ParameterTypeBool: {
        auto& v = static_cast<IParameterValueBool&>(*copy);
        text << "Bool(" << (v.Value ? "true" : "false");
        flags(v);
        break;
    }
    case ParameterTypeDouble: {
        auto& v = static_cast<IParameterValueDouble&>(*copy);
        text << "Double(" << v.Value;
        flags(v);
        if (v.LimitsSet)
            text << " limits " << v.Minimum << ".." << v.Maximum;
        break;
    }
    case ParameterTypeString: {
        auto& v = static_cast<IParameterValueString&>(*copy);
        text << "String(" << Quote(v.Value.c_str());
        flags(v);
        break;
    }
    case ParameterTypeEnum: {
        auto& v = static_cast<IParameterValueEnum&>(*copy);
        text << "Enum(" << Quote(v.Value.c_str()) << " of " << v.EnumValues.size();
        flags(v);
        break;
    }
    case ParameterTypeAction: {
        auto& v = static_cast<IParameterValueAction&>(*copy);
        text << "Action(" << v.Value;
        flags(v);
        break;
    }
    }
    text << ")";
    return text.str();
}

} // namespace hostkit
