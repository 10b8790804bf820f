#include "PluginSession.h"

#include "plugin/Plugin.h"
#include "tests/support/WaitUntil.h"
#include "platform/Library.h"
#include "platform/Program.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <regex>
#include <sstream>
#include <thread>

namespace tracetest {

using namespace MoldraDigitalDevice;

namespace {

using zorvatest::WaitUntil;

std::string Exact(float value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%a", static_cast<double>(value));
    return text;
}

} // namespace

PluginSession::PluginSession() {}

PluginSession::~PluginSession()
{
    service_.reset();
    shared_.reset();
}

bool PluginSession::Detect()
{
    service_.reset(new ZORVA::VZORVADriverService(&host_));
    shared_.reset(new ZORVA::VSharedConfigDevice(&host_, service_.get()));
    shared_->instantiator = &host_;
    const int notified = sharedServices_.NotifyCount();
    shared_->Attach(&sharedServices_);
    // A detection ends with its result and then its report of acquisition stopped.
    if (!WaitUntil([&] { return sharedServices_.NotifyCount() >= notified + 2; }))
        return false;
    host_.AttachNewDevices();
    return true;
}

void PluginSession::ChangeSetting(const std::string& name, const std::string& text, std::uint64_t id)
{
    IParameterValueEnum value;
    value.SetValue(text);
    const int notified = sharedServices_.NotifyCount();
    sharedServices_.ChangeParameter(name, value, id);
    shared_->ParametersChanged();
    // The change queues a stop, which reports itself when it has run: only
    // then does arming queue its own. Otherwise whether the plugin folds the
    // two stops into one depends on its worker's timing, and a recording and
    // its replay could differ by a call.
    WaitUntil([&] { return sharedServices_.NotifyCount() > notified; });
}

void PluginSession::SetRate(const std::string& rate) { ChangeSetting("SampleRate", rate, 1); }

void PluginSession::SetSyncMode(const std::string& mode) { ChangeSetting("SyncMode", mode, 0); }

bool PluginSession::ArmAndCapture()
{
    // Plates first: in virtual time the start report can come before a plate
    // armed after the shared device.
    bool armed = true;
    unsigned int stream = 10;
    for (const auto& plate : shared_->Plates())
        armed = plate->Arm(stream++, &setup_) && armed;
    armed = shared_->Arm(1, nullptr) && armed;
    const bool acquiring = WaitUntil([this] {
        int state = -1;
        bool rearm = false;
        shared_->GetState(&state, &rearm);
        return state == static_cast<int>(ZORVA::DeviceState::Acquiring);
    });
    shared_->StartCapture(0.0);
    return armed && acquiring;
}

bool PluginSession::WaitPushes(std::size_t blocks)
{
    return WaitUntil([&] {
        for (const zorvahost::InstantiatedDevice& device : host_.Instantiated()) {
            if (device.services && device.services->PushCount() < blocks)
                return false;
        }
        return true;
    });
}

void PluginSession::Finish()
{
    for (const auto& plate : shared_->Plates())
        plate->Disarm();
    shared_->Disarm();
    service_.reset();
}

std::size_t PluginSession::PlateCount() const { return shared_ ? shared_->Plates().size() : 0; }

SessionResult PluginSession::Result() const
{
    SessionResult result;
    const std::regex worker("fmDLLPostUserThreadMessages\\([0-9]+\\)");
    for (const zorvahost::LogLine& line : host_.Logs())
        result.logs.push_back("L" + std::to_string(line.level) + " " +
                              std::regex_replace(line.text, worker, "fmDLLPostUserThreadMessages(<worker>)"));
    for (const zorvahost::InstantiatedDevice& device : host_.Instantiated()) {
        if (!device.services)
            continue;
        for (const zorvahost::PushedBlock& block : device.services->PushedBlocks()) {
            std::ostringstream push;
            push << device.deviceName << " stream " << block.stream << " frame " << block.frame << ":";
            for (float value : block.values)
                push << ' ' << Exact(value);
            result.pushes.push_back(push.str());
        }
    }
    return result;
}

std::string ProgramFolder()
{
    const std::string program = zorvaplatform::ProgramPath();
    return program.substr(0, program.find_last_of("/\\") + 1);
}

namespace {

/// A full path in the system's form: Windows loads a library by its full
/// path only when it is one, without "..".
std::string Beside(const std::string& relative)
{
    return std::filesystem::path(ProgramFolder() + relative).lexically_normal().make_preferred().string();
}

} // namespace

std::string SimulatedLibrary() { return Beside(std::string("../") + zorvaplatform::UsbLibraryFileName()); }
std::string StandInLibrary() { return Beside(std::string("standin/") + zorvaplatform::UsbLibraryFileName()); }
std::string Recorder() { return Beside(zorvaplatform::UsbLibraryFileName()); }

} // namespace tracetest
