// The plugin's devices on its driver service, driven as a host drives them:
// a detection, plates armed, a capture, then disarming and the service's end
// (the library shut down).
// What the host saw (every pushed sample with its sample number, every log
// line) is the session's result, to be compared between a recording and its
// replay. Pauses run in virtual time: the test installs the Sleep handler.
#pragma once

#include "tests/support/RecordingHost.h"
#include "devices/VSharedConfigDevice.h"
#include "devices/VZORVATrelDevice.h"
#include "driver/VZORVADriverService.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tracetest {

struct SessionResult
{
    /// "L<level> <text>", the worker's thread id in fmDLLPostUserThreadMessages as <worker>.
    std::vector<std::string> logs;
    /// "<device> stream <n> frame <f>: <144 values, exact>", per push in order.
    std::vector<std::string> pushes;
};

class PluginSession
{
public:
    PluginSession();
    ~PluginSession();
    PluginSession(const PluginSession&) = delete;
    PluginSession& operator=(const PluginSession&) = delete;

    /// Creates the service and the shared device, waits for the first
    /// detection and attaches the plates the host accepted.
    bool Detect();
    /// Changes the sample rate setting (before arming).
    void SetRate(const std::string& rate);
    /// Changes the synchronisation mode setting (before arming).
    void SetSyncMode(const std::string& mode);
    /// Arms the plates and the shared device, waits until acquiring and
    /// starts the capture at host time 0.
    bool ArmAndCapture();
    /// Waits (real time, bounded) until every plate has pushed `blocks` blocks.
    bool WaitPushes(std::size_t blocks);
    /// Disarms every device, then ends the service: the library stops and shuts down.
    void Finish();

    std::size_t PlateCount() const;
    SessionResult Result() const;

private:
    void ChangeSetting(const std::string& name, const std::string& text, std::uint64_t id);

    zorvahost::RecordingHost host_;
    zorvahost::DeviceServices sharedServices_{host_, "ZORVA Shared Config Device"};
    zorvahost::CaptureSetup setup_{host_};
    std::unique_ptr<ZORVA::VZORVADriverService> service_;
    std::unique_ptr<ZORVA::VSharedConfigDevice> shared_;
};

/// Folders of the build: this program's (bin/trace/), the simulated library's
/// (bin/), the stand-in's (bin/trace/standin/); each ends in a separator.
std::string ProgramFolder();
std::string SimulatedLibrary();
std::string StandInLibrary();
std::string Recorder();

} // namespace tracetest
