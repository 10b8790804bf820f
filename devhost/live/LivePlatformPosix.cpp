#include "devhost/live/LivePlatform.h"

namespace zorvahost {
namespace live {

bool ReuseAddressOnListen() { return true; }

std::vector<std::string> BrowserCommand(const std::string& url) { return {"xdg-open", url}; }

} // namespace live
} // namespace zorvahost
