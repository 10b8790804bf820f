// What the device tests share: hand-made library blocks and detection
// records, a shared device on the recording host without a driver (pauses
// recorded, not slept), and one on the simulated library in virtual time.
#pragma once

#include "tests/support/RecordingHost.h"
#include "tests/support/SimulatedBench.h"
#include "devices/VSharedConfigDevice.h"
#include "devices/VZORVATrelDevice.h"
#include "driver/VZORVADriverService.h"
#include "contract/Log.h"

#include <gtest/gtest.h>

#include <boost/shared_ptr.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace devtest {

typedef ZORVA::VZORVADriverService::VDeviceInfo DeviceInfo;
typedef ZORVA::VZORVADriverService::VDllInitInfo InitInfo;
typedef boost::shared_ptr<ZORVA::VZORVATrelDevice> PlatePtr;
typedef std::vector<std::string> Lines;
using ZORVA::LogLevel;
using ZORVA::SyncMode;

const std::uint64_t SyncModeId = 0;
const std::uint64_t SampleRateId = 1;
const std::uint64_t DataThresholdId = 2;
const std::uint64_t BroadcastZeroId = 3;
const std::uint64_t ScanForHardwareId = 5;
const std::uint64_t BlinkActionId = 5;

/// One library block: 16 sample sets of one 8-float record per unit, laid out
/// as the library lays it out (record (s, k) at float (s * units + k) * 8).
class Block
{
public:
    explicit Block(unsigned int units);

    float* Data() { return values_.data(); }
    unsigned int Units() const { return units_; }
    float* Record(int sample, unsigned int unit);
    /// Counters first, first + 1, ... for the 16 samples, on every unit.
    void SetCounters(std::int64_t first);
    /// The same six measured values (Fx, Fy, Fz, Mx, My, Mz) in every sample of a unit.
    void SetLoad(unsigned int unit, const std::vector<float>& sixValues);
    /// Trigger input of every record of every unit.
    void SetTriggerAll(float value);
    void SetTrigger(int sample, unsigned int unit, float value);

private:
    unsigned int units_;
    std::vector<float> values_;
};

/// A detection record of a supported unit (product type 100 unless given).
DeviceInfo Unit(const std::string& amplifierSerial, const std::string& platformSerial, int deviceIndex,
                int productType = 100, const std::string& platformModel = "Pendra-600");

InitInfo Succeeded();
InitInfo TimedOut();

/// The enum value a host holds for a SyncMode or SampleRate setting.
MoldraDigitalDevice::IParameterValueEnum EnumValue(const std::string& text);
MoldraDigitalDevice::IParameterValueDouble DoubleValue(double value);
MoldraDigitalDevice::IParameterValueAction ActionValue();

using zorvatest::WaitUntil;

/// Log lines of the given level, texts only.
Lines LogTexts(const zorvahost::RecordingHost& host, ZORVA::LogLevel level);
/// The state a device reports to the host's GetState, as the plugin's own.
ZORVA::DeviceState StateOf(MoldraDigitalDevice::IDevice& device);
/// Calls recorded after the first `from` of them.
Lines CallsSince(const zorvahost::RecordingHost& host, std::size_t from);
/// The host's InstantiateDevice calls, in order.
Lines InstantiateCalls(const zorvahost::RecordingHost& host);
/// A plate's "Connected" as the host holds it; false without the device.
bool Connected(zorvahost::DeviceServices* services);

/// Shared device and its plates on the recording host, with no driver
/// service: device logic only. Pauses go to `pauses` instead of sleeping.
class DeviceBench : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    /// Runs a detection result through the shared device and attaches every
    /// plate the host accepted, as a host does.
    void Detect(const std::vector<DeviceInfo>& units, const InitInfo& info = Succeeded());
    /// The user changes a setting of the shared device.
    void ChangeSetting(const std::string& name, MoldraDigitalDevice::IParameterValue& value, std::uint64_t id);
    void ChangeSyncMode(const std::string& mode);
    void ChangeRate(const std::string& rate);
    void ChangeThreshold(double threshold);
    /// Arms the shared device, then every current plate (stream handles 10,
    /// 11, ...), then (`reportStart`) reports acquisition started as the
    /// driver does after the start the shared device queued.
    bool ArmAll(bool reportStart = true);
    std::vector<PlatePtr> Plates() { return shared->Plates(); }
    /// The host's services object of a plate, or null if the host never took it.
    zorvahost::DeviceServices* ServicesOf(const PlatePtr& plate);
    std::vector<zorvahost::PushedBlock> Pushed(const PlatePtr& plate);
    ZORVA::DeviceState SharedState() { return StateOf(*shared); }
    bool SharedRearmRequired();
    ZORVA::DeviceState PlateState(const PlatePtr& plate);

    zorvahost::RecordingHost host;
    zorvahost::DeviceServices sharedServices{host, "ZORVA Shared Config Device"};
    zorvahost::CaptureSetup setup{host};
    std::mutex pausesMutex;
    std::vector<unsigned int> pauses;
    std::unique_ptr<ZORVA::VSharedConfigDevice> shared;
};

/// The shared device on a driver service over the simulated library, in
/// stepped mode and virtual time; the host's log lines go into the library's
/// trace as "L<level> <text>".
class SimBench : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    /// Loads the bench, creates the service and the shared device, attaches
    /// it, waits for the first detection and attaches the new plates.
    void Start(const std::string& scenario);
    /// Asks for a detection through the ScanForHardware action and waits for it.
    void Rescan();
    /// Arms every current plate and the shared device, then waits until the
    /// driver reports acquisition running.
    bool ArmAllAndWaitAcquiring();
    void ChangeSetting(const std::string& name, MoldraDigitalDevice::IParameterValue& value, std::uint64_t id);
    /// Waits until the host was notified `count` more times than `since`.
    bool WaitNotified(int since, int count);
    std::vector<PlatePtr> Plates() { return shared->Plates(); }
    zorvahost::DeviceServices* ServicesOf(const PlatePtr& plate);
    ZORVA::DeviceState SharedState() { return StateOf(*shared); }
    bool SharedRearmRequired();
    /// The library calls of the trace ("fm..."), without data transfers.
    Lines LibraryCalls() const;

    zorvahost::RecordingHost host;
    zorvahost::DeviceServices sharedServices{host, "ZORVA Shared Config Device"};
    zorvahost::CaptureSetup setup{host};
    std::unique_ptr<ZORVA::VZORVADriverService> service;
    std::unique_ptr<ZORVA::VSharedConfigDevice> shared;
};

} // namespace devtest
