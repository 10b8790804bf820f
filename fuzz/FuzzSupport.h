// What the fuzz targets share: drive C in a temporary folder of the process,
// configuration files written into it, and checks that end the run.
#pragma once

#include "config/ConfigRead.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace zorvafuzz {

/// Maps drive C to a new temporary folder with ZORVA\CFG in it (in /dev/shm
/// where there is one), once per process; the folder is removed when the
/// process exits.
void UseTemporaryDrive();

/// Writes C:\ZORVA\CFG\<name> with exactly these bytes (UseTemporaryDrive first).
void WriteConfigFile(const std::string& name, const std::uint8_t* data, std::size_t size);

/// Removes C:\ZORVA\CFG\<name>, if it is there.
void RemoveConfigFile(const std::string& name);

/// Ends the run with `what` when `condition` is false: libFuzzer then keeps
/// the input as a crash.
void Require(bool condition, const char* what);

/// Writes the input as C:\ZORVA\CFG\<name> and has `reader` read it; requires
/// what every read promises (Read or Failed, an error text exactly when it
/// fails) and returns the result.
ZORVA::ReaderResult ReadAsConfigFile(ZORVA::ConfigRead& reader, const std::string& name, const std::uint8_t* data,
                                     std::size_t size);

/// The text's bytes (each wide character of a reader is one byte).
std::string Narrow(const std::wstring& text);

} // namespace zorvafuzz
