// Linked into every test program: the plugin must not call the host (but Log
// and GetTime) while it holds one of its own locks, where a host that calls
// back into a device from inside the call would deadlock. The recording host
// asks the core's count of held locks at each call; a call made under one
// fails the test that is running, whatever thread made it.
#include "LockCheck.h"

#include "tests/support/RecordingHost.h"
#include "win32/ThreadSafety.h"

#include <gtest/gtest.h>

namespace zorvatest {

namespace {

int HeldLocks() { return ZORVA::HeldPluginLocks(); }

struct Installer
{
    Installer() { InstallLockCheck(); }
} installer;

} // namespace

void InstallLockCheck()
{
    zorvahost::SetLockCheck(&HeldLocks, [](const std::string& call, int held) {
        ADD_FAILURE() << "the plugin called the host with " << held << " of its locks held: " << call;
    });
}

} // namespace zorvatest
