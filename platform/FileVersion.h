/// The version a module file states about itself, read from the file without
/// loading it: the file version of its version resource on Windows
/// (FileVersionWindows.cpp), the "ZORVA" version note (ELF) elsewhere
/// (FileVersionPosix.cpp).
#pragma once

#include <string>

namespace zorvaplatform {

/// False, with `error` saying why, when the file cannot be read or states none.
bool ReadFileVersion(const std::string& path, std::string& version, std::string& error);

} // namespace zorvaplatform
