#include "hostkit/Numbers.h"

#include <climits>
#include <cmath>
#include <cstdlib>

namespace hostkit {

bool ParseNumber(const std::string& text, NumberForm form, double& value)
{
    if (text.empty() || text.size() > 32)
        return false;
    std::size_t i = form.negative && text[0] == '-' ? 1 : 0;
    bool digit = false, point = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9')
            digit = true;
        else if (c == '.' && form.fraction && !point)
            point = true;
        else
            return false;
    }
    if (!digit)
        return false;
    // strtod reads the C locale's decimal point; the program never changes it.
    const double read = std::strtod(text.c_str(), nullptr);
    if (!std::isfinite(read))
        return false;
    value = read;
    return true;
}

bool ParseInteger(const std::string& text, int& value, bool negative)
{
    double read = 0.0;
    if (!ParseNumber(text, NumberForm{false, negative}, read) || read > INT_MAX || read < INT_MIN)
        return false;
    value = static_cast<int>(read);
    return true;
}

} // namespace hostkit
