#include "devhost/live/SessionSource.h"
#include "contract/ParameterNames.h"

#include "devhost/engine/Settings.h"
#include "devhost/engine/Text.h"
#include "host/IDevice.h"
#include "contract/LogLines.h"

#include <algorithm>

namespace zorvahost {
namespace live {

using namespace MoldraDigitalDevice;

namespace {

/// A detection tells the plugin's acquisition state only after its result:
/// arming this long after the result avoids arming before that report.
const double kArmDelay = 0.3;
/// After an arming the plugin refused, the next try waits this long.
const double kRetryDelay = 2.0;

std::string Parameter(const hostkit::OfferedDevice& device, const std::string& name)
{
    return device.services ? device.services->Text(name) : std::string();
}

double Number(const hostkit::OfferedDevice& device, const std::string& name)
{
    return device.services ? device.services->Number(name) : 0.0;
}

std::string StateWord(int state)
{
    switch (state) {
    case DeviceStateArmed: return "armed";
    case DeviceStateAcquiring: return "acquiring";
    default: return "stopped";
    }
}

} // namespace

SessionSource::SessionSource(hostkit::PluginSession& session, const BenchControl& bench)
    : session_(session), bench_(bench), forward_(std::make_shared<Forward>())
{
    forward_->host = &session_.Host();
    // The forwarder, not this object, is what the data path holds.
    const std::shared_ptr<Forward> forward = forward_;
    session_.SetSampleSink([forward](hostkit::Instance& plate, const hostkit::SampleBlock& block) {
        if (BlockSink* sink = forward->sink.load())
            sink->OnBlock(plate.DeviceName(), block, forward->host->ArmedRate());
    });
    session_.SetLogPrinter([this](const hostkit::LogLine& line) {
        pluginLines_.push_back(LiveLine{LineSource::Plugin, line.level, line.text});
        // The rate the units run, as the plugin tells the library.
        std::string rate;
        int value = 0;
        if (ZORVA::MatchLogLine(ZORVA::LogLineId::AcquisitionRate, line.text, &rate) && ParseInteger(rate, value))
            unitRate_ = static_cast<unsigned int>(value);
    });
}

SessionSource::~SessionSource()
{
    session_.SetLogPrinter(nullptr);
    forward_->sink.store(nullptr);
}

bool SessionSource::Begin()
{
    if (!session_.InstantiateSharedDevice())
        return false;
    pendingDetections_ = 1;
    return true;
}

bool SessionSource::CheckRate(const std::string& rate, std::string& error) const
{
    if (RateOffered(session_, rate))
        return true;
    error = "the acquisition rate setting offers " + Joined(OfferedRates(session_), ", ") + ", not " + rate;
    return false;
}

bool SessionSource::CheckThreshold(double newtons, std::string& error) const
{
    double minimum = 0.0, maximum = 0.0;
    if (ThresholdWithinLimits(session_, newtons, minimum, maximum))
        return true;
    error = "the Fz threshold setting takes " + Short(minimum) + " to " + Short(maximum) + " N, not " + Short(newtons);
    return false;
}

void SessionSource::Tick(std::vector<LiveLine>& lines)
{
    const std::vector<hostkit::DetectionReport> reports = session_.Poll();
    lines.insert(lines.end(), pluginLines_.begin(), pluginLines_.end());
    pluginLines_.clear();
    for (const hostkit::DetectionReport& report : reports) {
        if (pendingDetections_ > 0)
            --pendingDetections_;
        std::string plates;
        for (const hostkit::OfferedDevice& plate : session_.Plates())
            plates +=
                "; " + plate.deviceName + (hostkit::PluginSession::Connected(plate) ? " connected" : " not connected");
        lines.push_back(LiveLine{LineSource::Host, report.succeeded ? 1 : 2,
                                 std::string("detection ") + (report.succeeded ? "finished" : "failed") + ": " +
                                     std::to_string(report.units.size()) + " unit" +
                                     (report.units.size() == 1 ? "" : "s") + plates});
        rearmNotBefore_ = Now() + kArmDelay;
        if (!firstDetection_) {
            firstDetection_ = true;
            ApplyStartSettings(lines);
        }
    }
    if (!firstDetection_ || pendingDetections_ > 0 || Now() < rearmNotBefore_ || session_.Plates().empty())
        return;
    if (!armed_)
        Arm(lines, false);
    else if (session_.RearmRequired())
        Arm(lines, true);
}

void SessionSource::ApplyStartSettings(std::vector<LiveLine>& lines)
{
    std::string ignored;
    if (startMode_)
        Do(LiveAction{ActionKind::Mode, std::string(), ZORVA::SyncModeText(*startMode_)}, lines, ignored);
    if (!startRate_.empty())
        Do(LiveAction{ActionKind::Rate, std::string(), startRate_}, lines, ignored);
    if (startThreshold_) {
        LiveAction threshold;
        threshold.kind = ActionKind::Threshold;
        threshold.number = *startThreshold_;
        Do(threshold, lines, ignored);
    }
}

void SessionSource::Arm(std::vector<LiveLine>& lines, bool asked)
{
    const hostkit::ArmResult arming = session_.ArmAll();
    armed_ = arming.armed;
    session_.StartCapture(Now());
    std::string text = !armed_ ? "arming failed: no plate can run"
                       : asked ? "re-armed: the plugin asked for it"
                               : "armed";
    if (armed_)
        text += " (" + std::to_string(session_.ArmedRate()) + " per second)";
    if (!arming.refused.empty())
        text += "; not armed (not connected): " + Joined(arming.refused, ", ");
    lines.push_back(LiveLine{LineSource::Host, armed_ ? 1 : 2, text});
    // A stop reported after this arming asks again; not sooner than this.
    rearmNotBefore_ = Now() + (armed_ ? kArmDelay : kRetryDelay);
}

bool SessionSource::Rescan(std::vector<LiveLine>& lines, const std::string& why)
{
    lines.push_back(LiveLine{LineSource::Host, 1, why});
    session_.Rescan();
    ++pendingDetections_;
    return true;
}

SessionView SessionSource::View()
{
    SessionView view;
    view.plugin = session_.PluginPath();
    for (const hostkit::OfferedDevice& plate : session_.Plates()) {
        PlateView p;
        p.name = plate.deviceName;
        p.definition = plate.definitionName;
        if (const hostkit::Definition* definition = session_.DefinitionOf(plate)) {
            p.sizeX = definition->Number("StandardDimension_X");
            p.sizeY = definition->Number("StandardDimension_Y");
        }
        p.originA = Number(plate, "ParameterA");
        p.originB = Number(plate, "ParameterB");
        p.originZ = Number(plate, "ParameterAZ0");
        const std::string serial = Parameter(plate, ZORVA::ParameterName::AmplifierSerial);
        const std::string model = Parameter(plate, ZORVA::ParameterName::PlatformModel);
        const std::string platformSerial = Parameter(plate, ZORVA::ParameterName::PlatformSerial);
        p.amplifier = Parameter(plate, ZORVA::ParameterName::AmplifierModel) + " " + serial + ", firmware " +
                      Parameter(plate, ZORVA::ParameterName::FirmwareVersion);
        p.platform = model + " " + platformSerial;
        p.connected = hostkit::PluginSession::Connected(plate);
        p.state = StateWord(session_.StatusOf(plate).state);
        p.benchUnit = bench_.Available() ? bench_.FindUnit(serial, model, platformSerial) : -1;
        view.plates.push_back(std::move(p));
    }
    SharedView& shared = view.shared;
    for (ZORVA::SyncMode mode : ZORVA::SyncModes()) {
        shared.syncModes.push_back(ZORVA::SyncModeText(mode));
        shared.syncWords.push_back(ZORVA::SyncModeWord(mode));
    }
    shared.rates = OfferedRates(session_);
    ThresholdLimits(session_, shared.thresholdMin, shared.thresholdMax);
    shared.state = "none";
    if (const std::optional<hostkit::OfferedDevice> device = session_.SharedDevice()) {
        shared.syncMode = Parameter(*device, ZORVA::ParameterName::SyncMode);
        shared.rate = Parameter(*device, ZORVA::ParameterName::SampleRate);
        shared.threshold = Number(*device, ZORVA::ParameterName::DataThreshold);
        const hostkit::DeviceStatus status = session_.StatusOf(*device);
        shared.state = StateWord(status.state);
        shared.rearmRequired = status.rearmRequired;
    }
    shared.armedRate = session_.ArmedRate();
    shared.unitRate = unitRate_;
    shared.detecting = pendingDetections_ > 0;
    view.bench = bench_.Available();
    if (view.bench) {
        view.benchName = bench_.Description();
        for (int unit = 0; unit < bench_.UnitCount(); ++unit)
            view.units.push_back(BenchUnitView{bench_.UnitName(unit), bench_.UnitIdentity(unit), bench_.Plugged(unit)});
    }
    return view;
}

bool SessionSource::Do(const LiveAction& action, std::vector<LiveLine>& lines, std::string& error)
{
    switch (action.kind) {
    case ActionKind::Zero:
        lines.push_back(LiveLine{LineSource::Host, 1, "zero: the user pressed \"Zero digital platforms\""});
        session_.ZeroAll();
        return true;
    case ActionKind::Blink:
        for (const hostkit::OfferedDevice& plate : session_.Plates()) {
            if (plate.deviceName == action.target) {
                lines.push_back(
                    LiveLine{LineSource::Host, 1, "blink: the user pressed \"Blink\" of " + plate.deviceName});
                session_.Blink(plate);
                return true;
            }
        }
        error = "no plate " + action.target;
        return false;
    case ActionKind::Rescan: return Rescan(lines, "rescan: the user pressed \"Detect ZORVA digital devices\"");
    case ActionKind::Rate:
        if (!CheckRate(action.value, error))
            return false;
        lines.push_back(LiveLine{LineSource::Host, 1, "acquisition rate set to " + action.value});
        session_.SetSampleRate(action.value);
        return true;
    case ActionKind::Mode: {
        ZORVA::SyncMode mode;
        if (!ZORVA::SyncModeFromText(action.value, mode) && !ZORVA::SyncModeFromWord(action.value, mode)) {
            error = "no synchronisation mode \"" + action.value + "\"";
            return false;
        }
        lines.push_back(
            LiveLine{LineSource::Host, 1, std::string("synchronisation mode set to ") + ZORVA::SyncModeText(mode)});
        session_.SetSyncMode(mode);
        return true;
    }
    case ActionKind::Threshold:
        if (!CheckThreshold(action.number, error))
            return false;
        lines.push_back(LiveLine{LineSource::Host, 1, "Fz threshold set to " + Short(action.number) + " N"});
        session_.SetDataThreshold(action.number);
        return true;
    case ActionKind::PlaceWeight:
    case ActionKind::Unplug:
    case ActionKind::Plug: {
        if (!bench_.Available()) {
            error = "only the simulated bench can do that";
            return false;
        }
        const int unit = bench_.ResolveUnit(action.target, error);
        if (unit < 0)
            return false;
        const std::string name = bench_.UnitName(unit);
        if (action.kind == ActionKind::PlaceWeight) {
            if (!bench_.PlaceWeight(unit, action.number, action.x, action.y)) {
                error = "the bench refused: (" + Short(action.x) + ", " + Short(action.y) + ") m is off " + name +
                        "'s plate";
                return false;
            }
            lines.push_back(LiveLine{LineSource::Host, 1,
                                     action.number > 0.0
                                         ? "bench: " + Short(action.number) + " kg put on " + name + " at (" +
                                               Short(action.x) + ", " + Short(action.y) + ") m"
                                         : "bench: the load taken off " + name});
            return true;
        }
        const bool plug = action.kind == ActionKind::Plug;
        if (!bench_.SetPlugged(unit, plug)) {
            error = "the bench refused to " + std::string(plug ? "plug " : "unplug ") + name;
            return false;
        }
        return Rescan(lines, "bench: unit " + name + (plug ? " plugged in" : " unplugged") +
                                 "; the library sees it at the next detection, so the host rescans");
    }
    case ActionKind::Stop: break;
    }
    error = "not an action of the session";
    return false;
}

} // namespace live
} // namespace zorvahost
