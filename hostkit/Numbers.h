/// How the host kit and the tools on it read a number, from a command line
/// and from the plugin's log: one way, written here.
#pragma once

#include <string>

namespace hostkit {

/// How a number may be written (ParseNumber).
struct NumberForm
{
    bool fraction = false; ///< a point with digits after it, or before it, or both
    bool negative = false; ///< a leading '-'
};

/// The one way a number is read, from a command line and from the plugin's
/// log: decimal digits written plainly, with what `form` allows and
/// nothing else (no blank, '+', exponent, inf or nan), at most 32 characters.
/// False, `value` untouched, for anything else.
bool ParseNumber(const std::string& text, NumberForm form, double& value);
/// A whole number (ParseNumber without a fraction) that fits `int`.
bool ParseInteger(const std::string& text, int& value, bool negative = false);

} // namespace hostkit
