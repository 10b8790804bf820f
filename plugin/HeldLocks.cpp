// The per-thread count of the plugin core's locks held (win32/ThreadSafety.h).
#include "win32/ThreadSafety.h"

namespace ZORVA {

namespace {

thread_local int t_heldPluginLocks = 0;

} // namespace

void CountHeldPluginLocks(int delta) noexcept { t_heldPluginLocks += delta; }

int HeldPluginLocks() noexcept { return t_heldPluginLocks; }

} // namespace ZORVA
