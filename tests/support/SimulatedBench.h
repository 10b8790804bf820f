// The simulated USB library set up for a test: stepped blocks, every pause in
// virtual time, and the host's log lines woven into the library's trace as
// "L<level> <text>", so calls, pauses and logs form one timeline.
#pragma once

#include "tests/support/RecordingHost.h"
#include "tests/support/WaitUntil.h"
#include "plugin/Plugin.h"
#include "simusb/SimControl.h"
#include "win32/posix/win32_control.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace zorvatest {

/// Call from a fixture's SetUp; the plugin code logs through `host`.
inline void StartSimulatedBench(zorvahost::RecordingHost& host)
{
    zorvasim::Reset();
    zorvasim::SetMode(zorvasim::Mode::Stepped);
    ASSERT_TRUE(zorvasim::SetVirtualTime(true));
    host.SetLogObserver(
        [](const zorvahost::LogLine& line) { zorvasim::Note("L" + std::to_string(line.level) + " " + line.text); });
}

/// Call from TearDown once the driver service is gone.
inline void StopSimulatedBench()
{
    zorvasim::SetVirtualTime(false);
    zorvasim::Reset();
}

/// Call from TearDown of a test that ran the plugin through its entry points:
/// shuts it down, forgets the host, and gives the bench and drive C back.
inline void ShutdownPluginAndBench()
{
    ZORVA::Shutdown();
    // The host object goes with the test: the plugin keeps its pointer until the next Initialise.
    ZORVA::hostServices = nullptr;
    ZORVA::deviceInstantiator = nullptr;
    ZorvaWin32_SetDriveDirectory('C', nullptr);
    StopSimulatedBench();
}

} // namespace zorvatest
