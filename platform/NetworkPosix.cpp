#include "platform/Network.h"

namespace zorvaplatform {

bool ReuseAddressOnListen() { return true; }

} // namespace zorvaplatform
