/// The outcome of reading one configuration file.
#pragma once

#include <iosfwd>

namespace ZORVA {

enum class ReaderResult : int
{
    Failed = -1,  ///< the file exists but cannot be opened or read, or has errors
    NotFound = 0, ///< there is no such file
    Read = 1      ///< read without error: only then is its content used
};

/// The enumerator's name ("NotFound"), or "ReaderResult(7)" for another value.
std::ostream& operator<<(std::ostream& out, ReaderResult result);

} // namespace ZORVA
