// The lock check every test program runs with (LockCheck.cpp).
#pragma once

namespace zorvatest {

/// Installs the check: a call the plugin makes into the recording host with
/// one of its own locks held (but Log and GetTime) fails the running test.
/// Installed before main; a test that replaces it puts it back with this.
void InstallLockCheck();

} // namespace zorvatest
