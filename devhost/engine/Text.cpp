#include "devhost/engine/Text.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace zorvahost {

std::string Fixed(double value, int decimals)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    std::string text = buffer;
    // "-0.000": a sign on a value that rounds to zero says nothing.
    if (text[0] == '-' && text.find_first_not_of("-0.") == std::string::npos)
        text.erase(0, 1);
    return text;
}

std::string Short(double value, int decimals)
{
    std::string text = Fixed(value, decimals);
    if (text.find('.') != std::string::npos) {
        while (text.back() == '0')
            text.pop_back();
        if (text.back() == '.')
            text.pop_back();
    }
    return text;
}

std::string Pad(const std::string& text, std::size_t width)
{
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

bool ParseSeconds(const std::string& text, double& seconds)
{
    return ParseNumber(text, NumberForm{true, false}, seconds);
}

std::string Joined(const std::vector<std::string>& texts, const std::string& separator)
{
    std::string text;
    for (std::size_t i = 0; i < texts.size(); ++i)
        text += (i == 0 ? "" : separator) + texts[i];
    return text;
}

std::string Table::Render(const std::string& indent) const
{
    std::vector<std::size_t> widths;
    for (const auto& row : rows_) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            if (widths.size() <= i)
                widths.push_back(0);
            if (row[i].size() > widths[i])
                widths[i] = row[i].size();
        }
    }
    std::string out;
    for (const auto& row : rows_) {
        std::string line = indent;
        for (std::size_t i = 0; i < row.size(); ++i)
            line += i + 1 < row.size() ? Pad(row[i], widths[i]) + "  " : row[i];
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        out += line + "\n";
    }
    return out;
}

std::vector<std::string> ErrorLines(const std::wstring& errorText)
{
    std::vector<std::string> lines;
    std::string line;
    auto flush = [&] {
        const std::size_t first = line.find_first_not_of(" \t");
        if (first != std::string::npos)
            lines.push_back(line.substr(first, line.find_last_not_of(" \t") - first + 1));
        line.clear();
    };
    for (wchar_t c : errorText) {
        if (c == L'\r' || c == L'\n')
            flush();
        else
            line += static_cast<char>(c & 0xff);
    }
    flush();
    return lines;
}

} // namespace zorvahost
