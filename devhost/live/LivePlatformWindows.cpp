#include "devhost/live/LivePlatform.h"

namespace zorvahost {
namespace live {

bool ReuseAddressOnListen() { return false; }

// "start" is a command of cmd; its first quoted argument (here empty) is a window title.
std::vector<std::string> BrowserCommand(const std::string& url) { return {"cmd", "/c", "start", "", url}; }

} // namespace live
} // namespace zorvahost
