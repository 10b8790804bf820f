#include "platform/Network.h"

namespace zorvaplatform {

bool ReuseAddressOnListen() { return false; }

} // namespace zorvaplatform
