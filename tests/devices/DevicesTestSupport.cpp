#include "DevicesTestSupport.h"

#include "tests/support/SimulatedBench.h"

#include "driver/BlockLayout.h"
#include "plugin/Plugin.h"
#include "simusb/SimControl.h"
#include "win32/posix/win32_control.h"

#include <chrono>
#include <thread>

namespace devtest {

using namespace MoldraDigitalDevice;

using ZORVA::BlockLayout::SamplesPerBlock;

Block::Block(unsigned int units) : units_(units), values_(ZORVA::BlockLayout::BlockFloats(units), 0.0f) {}

float* Block::Record(int sample, unsigned int unit)
{
    return values_.data() + ZORVA::BlockLayout::RecordOffset(sample, unit, units_);
}

void Block::SetCounters(std::int64_t first)
{
    for (int s = 0; s < SamplesPerBlock; ++s) {
        for (unsigned int k = 0; k < units_; ++k)
            Record(s, k)[0] = static_cast<float>(first + s);
    }
}

void Block::SetLoad(unsigned int unit, const std::vector<float>& sixValues)
{
    for (int s = 0; s < SamplesPerBlock; ++s) {
        for (std::size_t i = 0; i < 6 && i < sixValues.size(); ++i)
            Record(s, unit)[1 + i] = sixValues[i];
    }
}

void Block::SetTriggerAll(float value)
{
    for (int s = 0; s < SamplesPerBlock; ++s) {
        for (unsigned int k = 0; k < units_; ++k)
            Record(s, k)[7] = value;
    }
}

void Block::SetTrigger(int sample, unsigned int unit, float value) { Record(sample, unit)[7] = value; }

DeviceInfo Unit(const std::string& amplifierSerial, const std::string& platformSerial, int deviceIndex, int productType,
                const std::string& platformModel)
{
    DeviceInfo info;
    info.productType = productType;
    info.amplifierModel = "ZDA-" + std::to_string(productType);
    info.amplifierSerial = amplifierSerial;
    info.firmwareVersion = "3.2.7";
    info.platformModel = platformModel;
    info.platformSerial = platformSerial;
    info.originOffsets = {0.0f, 0.0f, 0.0f};
    info.platformLength = "23.622";
    info.platformWidth = "15.748";
    info.deviceIndex = deviceIndex;
    return info;
}

InitInfo Succeeded()
{
    InitInfo info;
    info.status = ZORVA::DetectionStatus::SetupUnchanged;
    info.setupCode = 1;
    info.message = "The ZORVA setup is the same as the last saved configuration";
    return info;
}

InitInfo TimedOut()
{
    InitInfo info;
    info.status = ZORVA::DetectionStatus::TimedOut;
    info.message = "ZORVA device initialization timed out, consider restarting the application.";
    return info;
}

IParameterValueEnum EnumValue(const std::string& text)
{
    IParameterValueEnum value;
    value.SetValue(text);
    return value;
}

IParameterValueDouble DoubleValue(double number)
{
    IParameterValueDouble value;
    value.SetValue(number);
    return value;
}

IParameterValueAction ActionValue()
{
    IParameterValueAction value;
    value.SetValue(1u);
    return value;
}

Lines LogTexts(const zorvahost::RecordingHost& host, ZORVA::LogLevel level)
{
    Lines texts;
    for (const zorvahost::LogLine& line : host.Logs()) {
        if (line.level == static_cast<int>(level))
            texts.push_back(line.text);
    }
    return texts;
}

ZORVA::DeviceState StateOf(IDevice& device)
{
    int state = -1;
    bool rearm = false;
    device.GetState(&state, &rearm);
    return static_cast<ZORVA::DeviceState>(state);
}

Lines CallsSince(const zorvahost::RecordingHost& host, std::size_t from)
{
    const Lines calls = host.Calls();
    return from < calls.size() ? Lines(calls.begin() + static_cast<std::ptrdiff_t>(from), calls.end()) : Lines();
}

Lines InstantiateCalls(const zorvahost::RecordingHost& host)
{
    Lines calls;
    for (const std::string& call : host.Calls()) {
        if (call.compare(0, 18, "InstantiateDevice(") == 0)
            calls.push_back(call);
    }
    return calls;
}

bool Connected(zorvahost::DeviceServices* services)
{
    std::shared_ptr<IParameterValue> value = services ? services->Parameter("Connected") : nullptr;
    auto* flag = dynamic_cast<IParameterValueBool*>(value.get());
    return flag && flag->Value;
}

// ---------------------------------------------------------------- DeviceBench

namespace {

void RecordPause(DWORD milliseconds, void* context)
{
    auto* bench = static_cast<std::pair<std::mutex*, std::vector<unsigned int>*>*>(context);
    std::lock_guard<std::mutex> lock(*bench->first);
    bench->second->push_back(milliseconds);
}

std::pair<std::mutex*, std::vector<unsigned int>*> pauseSink;

} // namespace

void DeviceBench::SetUp()
{
    pauseSink = std::make_pair(&pausesMutex, &pauses);
    ZorvaWin32_SetSleepHandler(&RecordPause, &pauseSink);
    shared.reset(new ZORVA::VSharedConfigDevice(&host, nullptr));
    shared->instantiator = &host;
    shared->Attach(&sharedServices);
}

void DeviceBench::TearDown()
{
    shared.reset();
    ZorvaWin32_SetSleepHandler(nullptr, nullptr);
}

void DeviceBench::Detect(const std::vector<DeviceInfo>& units, const InitInfo& info)
{
    shared->OnDetectionComplete(info, units);
    host.AttachNewDevices();
}

void DeviceBench::ChangeSetting(const std::string& name, IParameterValue& value, std::uint64_t id)
{
    sharedServices.ChangeParameter(name, value, id);
    shared->ParametersChanged();
}

void DeviceBench::ChangeSyncMode(const std::string& mode)
{
    IParameterValueEnum value = EnumValue(mode);
    ChangeSetting("SyncMode", value, SyncModeId);
}

void DeviceBench::ChangeRate(const std::string& rate)
{
    IParameterValueEnum value = EnumValue(rate);
    ChangeSetting("SampleRate", value, SampleRateId);
}

void DeviceBench::ChangeThreshold(double threshold)
{
    IParameterValueDouble value = DoubleValue(threshold);
    ChangeSetting("DataThreshold", value, DataThresholdId);
}

bool DeviceBench::ArmAll(bool reportStart)
{
    const bool sharedArmed = shared->Arm(1, nullptr);
    bool armed = sharedArmed;
    unsigned int stream = 10;
    for (const PlatePtr& plate : Plates())
        armed = plate->Arm(stream++, &setup) && armed;
    // What the driver reports once it ran the start Arm queued: blocks are
    // taken from then on (those before were measured before the restart).
    if (sharedArmed && reportStart)
        shared->OnAcquisitionStateChanged(true);
    return armed;
}

zorvahost::DeviceServices* DeviceBench::ServicesOf(const PlatePtr& plate)
{
    for (const zorvahost::InstantiatedDevice& device : host.Instantiated()) {
        if (device.device == plate.get())
            return device.services.get();
    }
    return nullptr;
}

std::vector<zorvahost::PushedBlock> DeviceBench::Pushed(const PlatePtr& plate)
{
    zorvahost::DeviceServices* services = ServicesOf(plate);
    return services ? services->PushedBlocks() : std::vector<zorvahost::PushedBlock>();
}

bool DeviceBench::SharedRearmRequired()
{
    int state = -1;
    bool rearm = false;
    shared->GetState(&state, &rearm);
    return rearm;
}

ZORVA::DeviceState DeviceBench::PlateState(const PlatePtr& plate)
{
    int state = -1;
    bool rearm = true;
    plate->GetState(&state, &rearm);
    EXPECT_FALSE(rearm);
    return static_cast<ZORVA::DeviceState>(state);
}

// ---------------------------------------------------------------- SimBench

void SimBench::SetUp() { zorvatest::StartSimulatedBench(host); }

void SimBench::TearDown()
{
    // The service first: its worker calls into the shared device.
    service.reset();
    shared.reset();
    zorvatest::StopSimulatedBench();
}

void SimBench::Start(const std::string& scenario)
{
    std::string error;
    ASSERT_TRUE(zorvasim::LoadScenarioText(scenario, &error)) << error;
    service.reset(new ZORVA::VZORVADriverService(&host));
    shared.reset(new ZORVA::VSharedConfigDevice(&host, service.get()));
    shared->instantiator = &host;
    const int notified = sharedServices.NotifyCount();
    shared->Attach(&sharedServices);
    // A detection ends with its result and then its report of acquisition stopped.
    ASSERT_TRUE(WaitNotified(notified, 2));
    host.AttachNewDevices();
}

void SimBench::Rescan()
{
    const int notified = sharedServices.NotifyCount();
    IParameterValueAction action = ActionValue();
    ChangeSetting("ScanForHardware", action, ScanForHardwareId);
    ASSERT_TRUE(WaitNotified(notified, 2));
    host.AttachNewDevices();
}

bool SimBench::ArmAllAndWaitAcquiring()
{
    // Plates first: in virtual time the start report can come before a plate
    // armed after the shared device, which would then stay armed (state 0).
    bool armed = true;
    unsigned int stream = 10;
    for (const PlatePtr& plate : Plates())
        armed = plate->Arm(stream++, &setup) && armed;
    armed = shared->Arm(1, nullptr) && armed;
    return armed && WaitUntil([this] { return SharedState() == ZORVA::DeviceState::Acquiring; });
}

void SimBench::ChangeSetting(const std::string& name, IParameterValue& value, std::uint64_t id)
{
    sharedServices.ChangeParameter(name, value, id);
    shared->ParametersChanged();
}

bool SimBench::WaitNotified(int since, int count)
{
    return WaitUntil([&] { return sharedServices.NotifyCount() >= since + count; });
}

zorvahost::DeviceServices* SimBench::ServicesOf(const PlatePtr& plate)
{
    for (const zorvahost::InstantiatedDevice& device : host.Instantiated()) {
        if (device.device == plate.get())
            return device.services.get();
    }
    return nullptr;
}

bool SimBench::SharedRearmRequired()
{
    int state = -1;
    bool rearm = false;
    shared->GetState(&state, &rearm);
    return rearm;
}

Lines SimBench::LibraryCalls() const
{
    Lines calls;
    for (const std::string& line : zorvasim::GetTrace()) {
        if (line.compare(0, 2, "fm") == 0 && line.compare(0, 22, "fmDLLTransferFloatData") != 0)
            calls.push_back(line);
    }
    return calls;
}

} // namespace devtest
