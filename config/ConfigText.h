/// Text rules shared by the configuration readers. A configuration file is
/// 8-bit text: each byte becomes one wide character of the same value.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>

namespace ZORVA {

/// Space, tab, line feed, vertical tab, form feed or carriage return.
bool IsConfigSpace(wchar_t c);

/// Removes white space at the end of the text, then at its start.
void TrimText(std::wstring& text);

/// Upper-cases the letters a to z; every other character stays as it is.
void UpperCaseText(std::wstring& text);

/// The text's first maxLength characters (the whole text when shorter).
std::wstring CutText(const std::wstring& text, std::size_t maxLength);

/// Integer rule: optional white space, an optional sign, then decimal digits up
/// to the first character that is not one. No digits give 0; values beyond
/// the 32-bit range give the nearest limit. Never fails.
int ReadInteger(const std::wstring& text);

/// Real rule: like ReadInteger, with an optional fraction and an optional
/// exponent (e or E, optional sign, digits; an "e" without digits ends the
/// number before it). Decimal only: no hexadecimal, infinity or NaN words.
/// The decimal value is rounded to double, then to float; beyond the float
/// range it gives an infinity of its sign, below it a zero. Independent of
/// the process locale. Never fails.
float ReadReal(const std::wstring& text);

/// The pattern with each %d or %s replaced by the next argument, in order,
/// and %% by %. A placeholder without an argument left becomes empty.
std::wstring FormatText(const wchar_t* pattern, std::initializer_list<std::wstring> arguments);

/// 8-bit text of at most maxLength characters: each wide character gives its
/// low 8 bits.
std::string NarrowText(const std::wstring& text, std::size_t maxLength = std::string::npos);

/// Wide text with one character per byte (the reverse of NarrowText).
std::wstring WidenText(const std::string& text);

} // namespace ZORVA
