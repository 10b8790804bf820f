// A driver service on the simulated library, in virtual time, with the host's
// log lines woven into the library's trace: one timeline of calls, pauses and
// logs ("L<level> <text>") to compare with a table.
#pragma once

#include "tests/support/RecordingHost.h"
#include "tests/support/SimulatedBench.h"
#include "driver/VZORVADriverService.h"
#include "simusb/SimControl.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <future>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zorvatest {

typedef ZORVA::VZORVADriverService Service;
typedef std::vector<std::string> Lines;

/// Collects detection results; Wait blocks (in real time) until n arrived.
class DetectionResults
{
public:
    Service::DetectionCallback Callback();
    /// False if `count` results did not arrive within a few seconds.
    bool Wait(std::size_t count = 1);
    Service::VDllInitInfo Info(std::size_t index = 0);
    std::vector<Service::VDeviceInfo> Devices(std::size_t index = 0);

private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<Service::VDllInitInfo> infos_;
    std::vector<std::vector<Service::VDeviceInfo>> devices_;
};

class DriverTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    /// Loads a scenario (INI text); fails the test if it does not parse.
    void UseScenario(const std::string& text);
    void CreateService();
    /// Destroys the service: queued jobs run first, then the library shuts down.
    void DestroyService();
    /// Registers an acquisition-state callback that notes "told acquiring" or
    /// "told stopped", runs a detection to its end and clears the timeline.
    void DetectAndClear();
    /// The timeline since the last ClearTrace, the worker's thread id as "<worker>".
    Lines Timeline() const;
    /// Entries of the timeline equal to `line`.
    int Count(const std::string& line) const;
    /// Queues a detection whose callback holds the worker until ReleaseWorker,
    /// and returns once the worker is held: later jobs wait in the queue.
    void HoldWorkerInDetection();
    void ReleaseWorker();

    zorvahost::RecordingHost host;
    std::unique_ptr<Service> service;
    DetectionResults detections;

private:
    mutable std::string worker_;
    std::promise<void> release_;
    std::shared_future<void> released_;
    std::atomic<bool> workerHeld_{false};
};

/// "fmDLLInit()" ... up to the 1000 ms pause after the configuration, for a
/// start-up that completes at the first poll with set-up code `setupCode`.
Lines StartupLines(int setupCode);

/// The parts one after the other.
Lines Concat(std::initializer_list<Lines> parts);

} // namespace zorvatest
