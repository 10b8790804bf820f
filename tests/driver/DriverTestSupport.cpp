#include "DriverTestSupport.h"

#include "tests/support/SimulatedBench.h"
#include "plugin/Plugin.h"

#include <chrono>
#include <thread>

namespace zorvatest {

Service::DetectionCallback DetectionResults::Callback()
{
    return [this](Service::VDllInitInfo info, std::vector<Service::VDeviceInfo> devices) {
        zorvasim::Note("detection complete");
        std::lock_guard<std::mutex> lock(mutex_);
        infos_.push_back(info);
        devices_.push_back(devices);
        arrived_.notify_all();
    };
}

bool DetectionResults::Wait(std::size_t count)
{
    std::unique_lock<std::mutex> lock(mutex_);
    return arrived_.wait_for(lock, std::chrono::seconds(10), [&] { return infos_.size() >= count; });
}

Service::VDllInitInfo DetectionResults::Info(std::size_t index)
{
    std::lock_guard<std::mutex> lock(mutex_);
    return index < infos_.size() ? infos_[index] : Service::VDllInitInfo();
}

std::vector<Service::VDeviceInfo> DetectionResults::Devices(std::size_t index)
{
    std::lock_guard<std::mutex> lock(mutex_);
    return index < devices_.size() ? devices_[index] : std::vector<Service::VDeviceInfo>();
}

void DriverTest::SetUp() { StartSimulatedBench(host); }

void DriverTest::TearDown()
{
    service.reset();
    StopSimulatedBench();
}

void DriverTest::HoldWorkerInDetection()
{
    released_ = release_.get_future().share();
    std::atomic<bool>* inCallback = &workerHeld_;
    std::shared_future<void> released = released_;
    service->DetectHardware([inCallback, released](Service::VDllInitInfo, std::vector<Service::VDeviceInfo>) {
        *inCallback = true;
        released.wait();
    });
    ASSERT_TRUE(WaitUntil([this] { return workerHeld_.load(); }));
}

void DriverTest::ReleaseWorker() { release_.set_value(); }

void DriverTest::UseScenario(const std::string& text)
{
    std::string error;
    ASSERT_TRUE(zorvasim::LoadScenarioText(text, &error)) << error;
    zorvasim::ClearTrace();
}

void DriverTest::CreateService()
{
    service.reset(new Service(&host));
    Timeline();
}

void DriverTest::DestroyService()
{
    Timeline();
    service.reset();
}

void DriverTest::DetectAndClear()
{
    service->SetAcquisitionStateCallback(
        [](bool acquiring) { zorvasim::Note(acquiring ? "told acquiring" : "told stopped"); });
    service->DetectHardware(detections.Callback());
    ASSERT_TRUE(detections.Wait());
    // The job ends by telling the acquisition state, after the callback.
    ASSERT_TRUE(WaitUntil([] {
        const Lines trace = zorvasim::GetTrace();
        return !trace.empty() && trace.back() == "told stopped";
    }));
    zorvasim::ClearTrace();
}

Lines DriverTest::Timeline() const
{
    // The library forgets the thread at shut-down: remember it while it knows.
    if (const std::uint32_t id = zorvasim::GetState().threadId)
        worker_ = std::to_string(id);
    const std::string& worker = worker_;
    Lines lines = zorvasim::GetTrace();
    // Only the calls that carry the id: a small id could also read as a pause.
    for (std::string& line : lines) {
        if (worker.empty() || line.find("fmDLLPostUserThreadMessages(" + worker + ")") == std::string::npos)
            continue;
        const std::size_t at = line.rfind("(" + worker + ")");
        line.replace(at + 1, worker.size(), "<worker>");
    }
    return lines;
}

int DriverTest::Count(const std::string& line) const
{
    int count = 0;
    for (const std::string& entry : Timeline())
        count += entry == line;
    return count;
}

Lines StartupLines(int setupCode)
{
    const std::string code = std::to_string(setupCode);
    return {
        "fmDLLInit()",
        "L0 ::fmDLLInit()",
        "Sleep(250)",
        "fmDLLIsDeviceInitComplete() -> 1",
        "L0 ::fmDLLIsDeviceInitComplete() -> 1",
        "Sleep(250)",
        "fmDLLSetupCheck() -> " + code,
        "L0 ::fmDLLSetupCheck() -> " + code,
        "fmDLLSetUSBPacketSize(512)",
        "L0 ::fmDLLSetUSBPacketSize(512)",
        "fmBroadcastRunMode(1)",
        "L0 ::fmBroadcastRunMode(1)",
        "fmDLLSetDataFormat(1)",
        "L0 ::fmDLLSetDataFormat(1)",
        "fmDLLPostDataReadyMessages(1)",
        "L0 ::fmDLLPostDataReadyMessages(1)",
        "fmDLLPostUserThreadMessages(<worker>)",
        "L0 ::fmDLLPostUserThreadMessages(<worker>)",
        "fmBroadcastGenlock(0)",
        "L0 ::fmBroadcastGenlock(0)",
        "fmBroadcastResetSoftware()",
        "L0 ::fmBroadcastResetSoftware()",
        "Sleep(1000)",
    };
}

Lines Concat(std::initializer_list<Lines> parts)
{
    Lines all;
    for (const Lines& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

} // namespace zorvatest
