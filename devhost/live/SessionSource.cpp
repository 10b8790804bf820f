#include "devhost/live/SessionSource.h"

#include "devhost/Text.h"
#include "host/IDevice.h"
#include "plugin/LogLines.h"

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

std::string TextValue(const std::shared_ptr<IParameterValue>& value)
{
    if (value && value->GetType() == ParameterTypeEnum)
        return static_cast<IParameterValueEnum&>(*value).Value;
    if (value && value->GetType() == ParameterTypeString)
        return static_cast<IParameterValueString&>(*value).Value;
    return std::string();
}

double DoubleValue(const std::shared_ptr<IParameterValue>& value)
{
    if (value && value->GetType() == ParameterTypeDouble)
        return static_cast<IParameterValueDouble&>(*value).Value;
    return 0.0;
}

std::string Parameter(const hostkit::InstanceRecord& device, const std::string& name)
{
    return device.services ? TextValue(device.services->Parameter(name)) : std::string();
}

double Number(const hostkit::InstanceRecord& device, const std::string& name)
{
    return device.services ? DoubleValue(device.services->Parameter(name)) : 0.0;
}

std::string StateWord(int state)
{
    switch (state) {
    case DeviceStateArmed: return "armed";
    case DeviceStateAcquiring: return "acquiring";
    default: return "stopped";
    }
}

std::string Joined(const std::vector<std::string>& texts)
{
    std::string list;
    for (const std::string& text : texts)
        list += (list.empty() ? "" : ", ") + text;
    return list;
}

/// The shared definition's offer of a setting, as the plugin registered it.
const hostkit::DefinedParameter* SharedSetting(const PluginSession& session, const std::string& name)
{
    const std::vector<hostkit::Definition>& definitions = session.Definitions();
    return definitions.empty() ? nullptr : definitions[0].Parameter(name);
}

std::vector<std::string> Offered(const PluginSession& session, const std::string& name)
{
    const hostkit::DefinedParameter* setting = SharedSetting(session, name);
    if (!setting || !setting->value || setting->value->GetType() != ParameterTypeEnum)
        return {};
    return static_cast<IParameterValueEnum&>(*setting->value).EnumValues;
}

} // namespace

SessionSource::SessionSource(PluginSession& session, const BenchControl& bench)
    : session_(session), bench_(bench), forward_(std::make_shared<Forward>())
{
    forward_->host = &session_.Host();
    // The forwarder, not this object, is what the data path holds.
    const std::shared_ptr<Forward> forward = forward_;
    session_.SetSampleSink([forward](hostkit::Instance& plate, const hostkit::SampleBlock& block) {
        if (BlockSink* sink = forward->sink.load())
            sink->OnBlock(plate.DeviceName(), block, forward->host->ArmedRate());
    });
    session_.SetLogPrinter([this](const LogLine& line) {
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

std::string SessionSource::CheckRate(const std::string& rate) const
{
    const std::vector<std::string> offered = Offered(session_, "SampleRate");
    if (offered.empty() || std::find(offered.begin(), offered.end(), rate) != offered.end())
        return std::string();
    return "the acquisition rate setting offers " + Joined(offered) + ", not " + rate;
}

std::string SessionSource::CheckThreshold(double newtons) const
{
    const hostkit::DefinedParameter* setting = SharedSetting(session_, "DataThreshold");
    if (!setting || !setting->value || setting->value->GetType() != ParameterTypeDouble)
        return std::string();
    const auto& value = static_cast<IParameterValueDouble&>(*setting->value);
    if (value.LimitsSet && (newtons < value.Minimum || newtons > value.Maximum))
        return "the Fz threshold setting takes " + Short(value.Minimum) + " to " + Short(value.Maximum) + " N, not " +
               Short(newtons);
    return std::string();
}

void SessionSource::Tick(std::vector<LiveLine>& lines)
{
    const std::vector<DetectionReport> reports = session_.Poll();
    lines.insert(lines.end(), pluginLines_.begin(), pluginLines_.end());
    pluginLines_.clear();
    for (const DetectionReport& report : reports) {
        if (pendingDetections_ > 0)
            --pendingDetections_;
        std::string plates;
        for (const hostkit::InstanceRecord& plate : session_.Plates())
            plates += "; " + plate.deviceName + (PluginSession::Connected(plate) ? " connected" : " not connected");
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
    std::string refusals;
    armed_ = session_.ArmAll(refusals);
    session_.StartCapture(Now());
    std::string text = !armed_ ? "arming failed: no plate can run"
                       : asked ? "re-armed: the plugin asked for it"
                               : "armed";
    if (armed_)
        text += " (" + std::to_string(session_.ArmedRate()) + " per second)";
    if (!refusals.empty())
        text += "; not armed (not connected): " + refusals;
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
    for (const hostkit::InstanceRecord& plate : session_.Plates()) {
        PlateView p;
        p.name = plate.deviceName;
        p.definition = plate.definitionName;
        if (const hostkit::Definition* definition = session_.DefinitionOf(plate)) {
            if (const hostkit::DefinedParameter* x = definition->Parameter("StandardDimension_X"))
                p.sizeX = DoubleValue(x->value);
            if (const hostkit::DefinedParameter* y = definition->Parameter("StandardDimension_Y"))
                p.sizeY = DoubleValue(y->value);
        }
        p.originA = Number(plate, "ParameterA");
        p.originB = Number(plate, "ParameterB");
        p.originZ = Number(plate, "ParameterAZ0");
        const std::string serial = Parameter(plate, "AmplifierSerial");
        const std::string model = Parameter(plate, "PlatformModel");
        const std::string platformSerial = Parameter(plate, "PlatformSerial");
        p.amplifier =
            Parameter(plate, "AmplifierModel") + " " + serial + ", firmware " + Parameter(plate, "FirmwareVersion");
        p.platform = model + " " + platformSerial;
        p.connected = PluginSession::Connected(plate);
        int state = DeviceStateStopped;
        bool rearm = false;
        plate.device->GetState(&state, &rearm);
        p.state = StateWord(state);
        p.benchUnit = bench_.Available() ? bench_.FindUnit(serial, model, platformSerial) : -1;
        view.plates.push_back(std::move(p));
    }
    SharedView& shared = view.shared;
    for (ZORVA::SyncMode mode : ZORVA::SyncModes()) {
        shared.syncModes.push_back(ZORVA::SyncModeText(mode));
        shared.syncWords.push_back(ZORVA::SyncModeWord(mode));
    }
    shared.rates = Offered(session_, "SampleRate");
    if (const hostkit::DefinedParameter* threshold = SharedSetting(session_, "DataThreshold")) {
        if (threshold->value && threshold->value->GetType() == ParameterTypeDouble) {
            const auto& value = static_cast<IParameterValueDouble&>(*threshold->value);
            shared.thresholdMin = value.Minimum;
            shared.thresholdMax = value.Maximum;
        }
    }
    shared.state = "none";
    if (const std::optional<hostkit::InstanceRecord> device = session_.SharedDevice()) {
        shared.syncMode = Parameter(*device, "SyncMode");
        shared.rate = Parameter(*device, "SampleRate");
        shared.threshold = Number(*device, "DataThreshold");
        int state = DeviceStateStopped;
        bool rearm = false;
        device->device->GetState(&state, &rearm);
        shared.state = StateWord(state);
        shared.rearmRequired = rearm;
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
        for (const hostkit::InstanceRecord& plate : session_.Plates()) {
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
        error = CheckRate(action.value);
        if (!error.empty())
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
        error = CheckThreshold(action.number);
        if (!error.empty())
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
