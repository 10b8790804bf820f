/// Parameter values as a host keeps them: its own copies, made through the
/// plugin's CopyTo, their one-line descriptions, and reading one as the class
/// its type code names (one type check and cast, written here only).
#pragma once

#include "values/ParameterValues.h"

#include <memory>
#include <string>
#include <vector>

namespace hostkit {

using MoldraDigitalDevice::IParameterValue;

/// A value object the host owns, destroyed through its interface.
typedef std::unique_ptr<IParameterValue, MoldraDigitalDevice::HostObjectDeleter> ValuePtr;

/// The type code of each value class.
template <typename T>
struct ValueClass;
template <>
struct ValueClass<MoldraDigitalDevice::IParameterValueBool>
{
    static constexpr int type = MoldraDigitalDevice::ParameterTypeBool;
};
template <>
struct ValueClass<MoldraDigitalDevice::IParameterValueDouble>
{
    static constexpr int type = MoldraDigitalDevice::ParameterTypeDouble;
};
template <>
struct ValueClass<MoldraDigitalDevice::IParameterValueString>
{
    static constexpr int type = MoldraDigitalDevice::ParameterTypeString;
};
template <>
struct ValueClass<MoldraDigitalDevice::IParameterValueEnum>
{
    static constexpr int type = MoldraDigitalDevice::ParameterTypeEnum;
};
template <>
struct ValueClass<MoldraDigitalDevice::IParameterValueAction>
{
    static constexpr int type = MoldraDigitalDevice::ParameterTypeAction;
};

/// `value` as the value class T when its type code names T; null otherwise
/// (and for null).
template <typename T>
T* As(IParameterValue* value)
{
    return value && value->GetType() == ValueClass<T>::type ? static_cast<T*>(value) : nullptr;
}

/// The text an enumeration or a text value holds; empty for another value or null.
std::string TextOf(IParameterValue* value);
/// The number a double value holds; 0 for another value or null.
double NumberOf(IParameterValue* value);
/// The flag a bool value holds; false for another value or null.
bool FlagOf(IParameterValue* value);
/// The texts an enumeration value offers; none for another value or null.
std::vector<std::string> OfferedOf(IParameterValue* value);

/// A new default value of the class with this type code, or null.
ValuePtr NewValueOfType(int type);
/// A copy made through CopyTo, as a host keeps it; null if the copy fails.
ValuePtr CopyValue(IParameterValue& value);
/// One-line description of a value: class, content, flags, extras.
std::string DescribeValue(IParameterValue& value);
/// A text quoted as a C string literal; "null" for null.
std::string Quote(const char* text);

} // namespace hostkit
