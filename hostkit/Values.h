/// Parameter values as a host keeps them: its own copies, made through the
/// plugin's CopyTo, and their one-line descriptions.
#pragma once

#include "values/ParameterValues.h"

#include <memory>
#include <string>

namespace hostkit {

using MoldraDigitalDevice::IParameterValue;

/// A value object the host owns, destroyed through its interface.
typedef std::unique_ptr<IParameterValue, MoldraDigitalDevice::HostObjectDeleter> ValuePtr;

/// A new default value of the class with this type code, or null.
ValuePtr NewValueOfType(int type);
/// A copy made through CopyTo, as a host keeps it; null if the copy fails.
ValuePtr CopyValue(IParameterValue& value);
/// One-line description of a value: class, content, flags, extras.
std::string DescribeValue(IParameterValue& value);
/// A text quoted as a C string literal; "null" for null.
std::string Quote(const char* text);

} // namespace hostkit
