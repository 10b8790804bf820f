/// Small text helpers of the development host's output.
#pragma once

#include "hostkit/Numbers.h"

#include <string>
#include <vector>

namespace zorvahost {

/// `value` with `decimals` digits after the point ("0.600"); -0 shows as 0.
std::string Fixed(double value, int decimals);
/// `value` with at most `decimals` digits after the point, trailing zeros
/// dropped ("2", "2.5").
std::string Short(double value, int decimals = 3);
/// `text` padded with blanks to `width` characters (not cut).
std::string Pad(const std::string& text, std::size_t width);
/// The texts with `separator` between them ("a, b, c").
std::string Joined(const std::vector<std::string>& texts, const std::string& separator);

/// Rows of cells printed as columns, two blanks apart; the last column is not padded.
class Table
{
public:
    void Add(std::vector<std::string> row) { rows_.push_back(std::move(row)); }
    /// Each row with `indent` before it, ending in a newline.
    std::string Render(const std::string& indent) const;

private:
    std::vector<std::vector<std::string>> rows_;
};

/// Numbers are read the host kit's one way (hostkit/Numbers.h).
using hostkit::NumberForm;
using hostkit::ParseInteger;
using hostkit::ParseNumber;

/// A time in seconds written as a plain decimal number ("2", "0.5"); false
/// for anything else (signs, exponents, inf, trailing text).
bool ParseSeconds(const std::string& text, double& seconds);

/// The lines of a reader's error text (lines end in "\r\n"), each trimmed,
/// empty ones dropped; wide characters are taken as Windows-1252 bytes.
std::vector<std::string> ErrorLines(const std::wstring& errorText);

} // namespace zorvahost
