/// Small text helpers of the development host's output.
#pragma once

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

/// How a number may be written where the program reads one (ParseNumber).
struct NumberForm
{
    bool fraction = false; ///< a point with digits after it, or before it, or both
    bool negative = false; ///< a leading '-'
};

/// The one way the program reads a number, from its command line and from the
/// plugin's log: decimal digits written plainly, with what `form` allows and
/// nothing else (no blank, '+', exponent, inf or nan), at most 32 characters.
/// False, `value` untouched, for anything else.
bool ParseNumber(const std::string& text, NumberForm form, double& value);
/// A whole number (ParseNumber without a fraction) that fits `int`.
bool ParseInteger(const std::string& text, int& value, bool negative = false);

/// The lines of a reader's error text (lines end in "\r\n"), each trimmed,
/// empty ones dropped; wide characters are taken as Windows-1252 bytes.
std::vector<std::string> ErrorLines(const std::wstring& errorText);

} // namespace zorvahost
