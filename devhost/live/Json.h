/// The little JSON the live view writes, appended to a string: texts always
/// valid UTF-8 (a WebSocket text message must be; the plugin's texts may hold
/// single bytes of another code page, taken as Latin-1), numbers finite or
/// null.
#pragma once

#include <string>

namespace zorvahost {
namespace live {

/// `"text"`, escaped.
void AppendJsonString(std::string& out, const std::string& text);
/// A number with up to seven significant digits; NaN and infinities as null.
void AppendJsonNumber(std::string& out, double value);
/// A form-encoded value decoded ("+" a blank, %XX a byte); false for a bad escape.
bool FormDecode(const std::string& text, std::string& out);

} // namespace live
} // namespace zorvahost
