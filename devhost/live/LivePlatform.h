/// What the live view needs of the operating system beyond Asio: one
/// implementation per system (LivePlatformPosix.cpp, LivePlatformWindows.cpp),
/// chosen by the build.
#pragma once

#include <string>
#include <vector>

namespace zorvahost {
namespace live {

/// Whether the listening socket should reuse its address: on POSIX systems
/// so a restart right after a stop finds its port free (the last connections
/// linger there); never on Windows, where it would let another program take
/// the same port.
bool ReuseAddressOnListen();

/// The command that opens `url` in the user's browser.
std::vector<std::string> BrowserCommand(const std::string& url);

} // namespace live
} // namespace zorvahost
