#include "ConfigText.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <limits>
#include <system_error>

namespace ZORVA {

namespace {

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

std::size_t SkipSpace(const std::wstring& text, std::size_t position)
{
    while (position < text.size() && IsConfigSpace(text[position]))
        ++position;
    return position;
}

/// Rounds a double to float without the undefined conversion of values
/// beyond the float range.
float ToFloat(double value)
{
    const double largest = std::numeric_limits<float>::max();
    // Halfway between the largest float and the next power of two: from here
    // on, round-to-nearest gives infinity.
    const double overflow = largest + std::ldexp(1.0, 103);
    if (std::fabs(value) >= overflow)
        return std::signbit(value) ? -std::numeric_limits<float>::infinity() : std::numeric_limits<float>::infinity();
    if (std::fabs(value) > largest)
        return std::signbit(value) ? -std::numeric_limits<float>::max() : std::numeric_limits<float>::max();
    return static_cast<float>(value);
}

} // namespace

bool IsConfigSpace(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r';
}

void TrimText(std::wstring& text)
{
    std::size_t end = text.size();
    while (end > 0 && IsConfigSpace(text[end - 1]))
        --end;
    text.erase(end);
    text.erase(0, SkipSpace(text, 0));
}

void UpperCaseText(std::wstring& text)
{
    for (wchar_t& c : text) {
        if (c >= L'a' && c <= L'z')
            c = static_cast<wchar_t>(c - L'a' + L'A');
    }
}

std::wstring CutText(const std::wstring& text, std::size_t maxLength)
{
    return text.size() > maxLength ? text.substr(0, maxLength) : text;
}

int ReadInteger(const std::wstring& text)
{
    std::size_t position = SkipSpace(text, 0);
    bool negative = false;
    if (position < text.size() && (text[position] == L'+' || text[position] == L'-')) {
        negative = text[position] == L'-';
        ++position;
    }
    // Accumulated as a negative number, whose range reaches INT_MIN.
    long long value = 0;
    for (; position < text.size() && IsDigit(text[position]); ++position) {
        value = value * 10 - (text[position] - L'0');
        if (value < static_cast<long long>(INT_MIN) - 1)
            value = static_cast<long long>(INT_MIN) - 1; // saturated; further digits cannot matter
    }
    if (negative)
        return value < INT_MIN ? INT_MIN : static_cast<int>(value);
    return -value > INT_MAX ? INT_MAX : static_cast<int>(-value);
}

float ReadReal(const std::wstring& text)
{
    std::size_t position = SkipSpace(text, 0);
    bool negative = false;
    if (position < text.size() && (text[position] == L'+' || text[position] == L'-')) {
        negative = text[position] == L'-';
        ++position;
    }

    // Scan the number into ASCII, tracking its decimal magnitude so that an
    // out-of-range value can be told apart as too large or too small.
    std::string number;
    bool anyDigit = false;
    bool nonZeroSeen = false;
    long long magnitude = 0; // decimal exponent of the first non-zero digit, roughly
    for (; position < text.size() && IsDigit(text[position]); ++position) {
        number += static_cast<char>(text[position]);
        anyDigit = true;
        if (text[position] != L'0')
            nonZeroSeen = true;
        if (nonZeroSeen && magnitude < 1000000)
            ++magnitude;
    }
    if (position < text.size() && text[position] == L'.') {
        number += '.';
        ++position;
        for (; position < text.size() && IsDigit(text[position]); ++position) {
            number += static_cast<char>(text[position]);
            anyDigit = true;
            if (!nonZeroSeen) {
                if (text[position] != L'0')
                    nonZeroSeen = true;
                else if (magnitude > -1000000)
                    --magnitude;
            }
        }
    }
    if (!anyDigit)
        return negative ? -0.0f : 0.0f;
    if (position < text.size() && (text[position] == L'e' || text[position] == L'E')) {
        std::size_t exponentStart = position + 1;
        bool exponentNegative = false;
        if (exponentStart < text.size() && (text[exponentStart] == L'+' || text[exponentStart] == L'-')) {
            exponentNegative = text[exponentStart] == L'-';
            ++exponentStart;
        }
        if (exponentStart < text.size() && IsDigit(text[exponentStart])) {
            long long exponent = 0;
            for (position = exponentStart; position < text.size() && IsDigit(text[position]); ++position) {
                if (exponent < 100000000)
                    exponent = exponent * 10 + (text[position] - L'0');
            }
            // Clamped: far beyond any double, so the conversion still says out of range.
            number += 'e';
            if (exponentNegative)
                number += '-';
            number += std::to_string(exponent);
            magnitude += exponentNegative ? -exponent : exponent;
        }
    }
    if (!nonZeroSeen)
        return negative ? -0.0f : 0.0f;

    double value = 0.0;
    const auto outcome = std::from_chars(number.data(), number.data() + number.size(), value);
    if (outcome.ec == std::errc::result_out_of_range)
        value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    else if (outcome.ec != std::errc())
        value = 0.0;
    return ToFloat(negative ? -value : value);
}

std::wstring FormatText(const wchar_t* pattern, std::initializer_list<std::wstring> arguments)
{
    std::wstring result;
    if (!pattern)
        return result;
    auto next = arguments.begin();
    for (const wchar_t* p = pattern; *p; ++p) {
        if (p[0] == L'%' && (p[1] == L'd' || p[1] == L's')) {
            if (next != arguments.end())
                result += *next++;
            ++p;
        } else if (p[0] == L'%' && p[1] == L'%') {
            result += L'%';
            ++p;
        } else {
            result += *p;
        }
    }
    return result;
}

std::string NarrowText(const std::wstring& text, std::size_t maxLength)
{
    const std::size_t length = text.size() < maxLength ? text.size() : maxLength;
    std::string result(length, '\0');
    for (std::size_t i = 0; i < length; ++i)
        result[i] = static_cast<char>(static_cast<unsigned char>(static_cast<unsigned long>(text[i]) & 0xFFu));
    return result;
}

std::wstring WidenText(const std::string& text)
{
    std::wstring result(text.size(), L'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        result[i] = static_cast<wchar_t>(static_cast<unsigned char>(text[i]));
    return result;
}

} // namespace ZORVA
