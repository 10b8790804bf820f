// Copying a text into a C caller's buffer, as the simulated library's C
// controls hand texts out.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>

namespace zorvasim {

/// Writes as much of `text` as fits into `buffer` (`size` bytes, NUL
/// included; nothing for a null buffer or a size below 1). The text's full
/// length, so that a caller sees it was cut.
inline int CopyTextOut(const std::string& text, char* buffer, int size)
{
    if (buffer && size > 0) {
        const std::size_t n = std::min(text.size(), static_cast<std::size_t>(size - 1));
        std::memcpy(buffer, text.data(), n);
        buffer[n] = '\0';
    }
    return static_cast<int>(std::min<std::size_t>(text.size(), 0x7fffffff));
}

} // namespace zorvasim
