/// Texts the USB library writes into caller buffers.
#pragma once

#include <cstring>
#include <string>

namespace ZORVA {

/// The text in `buffer`, up to its NUL or, when the library left the NUL out,
/// up to the buffer's end: never a byte past `size`.
inline std::string LibraryText(const char* buffer, std::size_t size)
{
    const void* end = std::memchr(buffer, '\0', size);
    return std::string(buffer, end ? static_cast<std::size_t>(static_cast<const char*>(end) - buffer) : size);
}

} // namespace ZORVA
