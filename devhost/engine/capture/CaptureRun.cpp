#include "devhost/engine/capture/CaptureRun.h"

#include "devhost/engine/PluginLog.h"
#include "devhost/engine/Text.h"
#include "devhost/engine/capture/CaptureData.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace zorvahost {

namespace {

/// How often the loop looks at the clock, the log and the devices.
const std::chrono::milliseconds kTick(20);
/// How often the progress is told, seconds.
const double kProgressInterval = 0.25;
/// A detection tells the plugin's acquisition state only after its result:
/// re-arming this long after the result avoids arming before that report.
const double kRearmDelay = 0.3;
/// A replay whose next recorded call has not come for this long, seconds,
/// waits for the host: it does the next recorded action (or ends) anyway.
const double kReplayStall = 3.0;

} // namespace

int ResolvePlate(const std::vector<hostkit::OfferedDevice>& plates, const std::string& target)
{
    for (std::size_t i = 0; i < plates.size(); ++i) {
        if (plates[i].deviceName == target)
            return static_cast<int>(i);
    }
    const int index = ParseIndex(target);
    return index >= 0 && index < static_cast<int>(plates.size()) ? index : -1;
}

std::string PlateList(const std::vector<hostkit::OfferedDevice>& plates)
{
    std::string list;
    for (std::size_t i = 0; i < plates.size(); ++i)
        list += (list.empty() ? "" : ", ") + std::to_string(i) + " (" + plates[i].deviceName + ")";
    return list.empty() ? "none" : list;
}

std::string ConnectionText(const std::vector<hostkit::OfferedDevice>& plates)
{
    std::string text;
    for (const hostkit::OfferedDevice& plate : plates)
        text += (text.empty() ? "" : "; ") + plate.deviceName + " Connected " +
                (hostkit::PluginSession::Connected(plate) ? "true" : "false");
    return text;
}

std::string ProgressText(double elapsed, double total, const std::vector<hostkit::OfferedDevice>& plates)
{
    std::string text = "  " + Fixed(elapsed, 1) + "/" + Fixed(total, 1) + " s";
    for (std::size_t i = 0; i < plates.size(); ++i) {
        const std::vector<float> latest = plates[i].services->LatestValues();
        double fz = 0.0;
        const std::size_t samples = latest.size() / kValuesPerSample;
        for (std::size_t s = 0; s < samples; ++s)
            fz += latest[s * kValuesPerSample + 2];
        text += "  | " + std::to_string(i) + ": " + std::to_string(plates[i].services->PushCount()) + " blocks, Fz " +
                (samples ? Fixed(fz / samples, 0) + " N" : std::string("-"));
    }
    return text;
}

CaptureRun::CaptureRun(hostkit::PluginSession& session, const BenchControl& bench, const CapturePlan& plan,
                       CaptureReporter& reporter, TraceRecorder& recorder, const ReplayPlan* replay)
    : session_(session),
      bench_(bench),
      plan_(plan),
      reporter_(reporter),
      recorder_(recorder),
      replay_(replay),
      start_(session.Now())
{
    if (!plan_.verbose)
        session_.SetLogPrinter([this](const hostkit::LogLine& line) {
            if (line.Level() >= ZORVA::LogLevel::Warning)
                reporter_.Event(Now(), "plugin " + LogText(line));
        });
}

CaptureRun::~CaptureRun()
{
    // Warnings show during the capture only.
    if (!plan_.verbose)
        session_.SetLogPrinter(nullptr);
}

void CaptureRun::Run(double start)
{
    start_ = start;
    double lastProgress = -1.0;
    for (;;) {
        const double now = Now();
        if (replay_) {
            if (ReplayStep(now))
                break;
        } else {
            if (now >= plan_.seconds) {
                Note(HostEventKind::End, std::string());
                break;
            }
            while (next_ < plan_.actions.size() && plan_.actions[next_].seconds <= now)
                Fire(plan_.actions[next_++]);
        }
        PollSession();
        // A replay of this program's trace re-arms where the recording did.
        const bool rearmOnRequest = !replay_ || !replay_->recorded.found;
        if (rearmOnRequest && pendingDetections_ == 0 && Now() >= rearmNotBefore_ && session_.RearmRequired())
            Rearm();
        if (Now() - lastProgress >= kProgressInterval) {
            lastProgress = Now();
            reporter_.Progress(ProgressText(std::min(lastProgress, plan_.seconds), plan_.seconds, session_.Plates()));
        }
        std::this_thread::sleep_for(kTick);
    }
    // What the plugin said up to the end (a replay may have come to its end
    // within one tick).
    PollSession();
    reporter_.EndProgress();
    if (pendingDetections_ > 0)
        reporter_.Event(Now(), "the capture ends while a detection is still running");
}

bool CaptureRun::ReplayStep(double now)
{
    // Where the replay waits now; unchanged for long, the plugin makes no
    // call the recording has next by itself.
    ZorvaSimReplayProgress progress{};
    bench_.ReplayProgress(progress);
    if (progress.nextCall != position_) {
        position_ = progress.nextCall;
        movedAt_ = now;
    }
    const bool stalled = now - movedAt_ >= kReplayStall;
    const std::vector<HostEvent>& events = replay_->recorded.events;
    bool ended = false;
    while (next_ < events.size() && (position_ >= events[next_].trigger || stalled) && !ended) {
        if (position_ < events[next_].trigger)
            reporter_.Event(now, std::string("the replay did not come to where the user acted (") +
                                     EventWord(events[next_].kind) + ", record " +
                                     std::to_string(events[next_].trigger) + "): acting now");
        ended = FireRecorded(events[next_++]);
        movedAt_ = Now();
    }
    if (ended)
        return true;
    if (!replay_->recorded.found && stalled && progress.nextCall > 0) {
        reporter_.Event(now, "the replay waits for a call the plugin makes only when the host acts: the capture ends "
                             "here");
        return true;
    }
    // A trace cut short has no recorded end: once every recorded action is
    // done and the recording is used up (or nothing moves any more), the
    // capture ends there.
    if (replay_->recorded.found && next_ == events.size() && (progress.finished || stalled)) {
        reporter_.Event(now, "the recording ends here");
        return true;
    }
    return false;
}

void CaptureRun::PollSession()
{
    for (const hostkit::DetectionReport& report : session_.Poll()) {
        if (pendingDetections_ > 0)
            --pendingDetections_;
        reporter_.Event(Now(), std::string("detection ") + (report.succeeded ? "finished" : "failed") + ": " +
                                   std::to_string(report.units.size()) + " unit" +
                                   (report.units.size() == 1 ? "" : "s") + "; " + ConnectionText(session_.Plates()));
        rearmNotBefore_ = Now() + kRearmDelay;
    }
}

void CaptureRun::Note(HostEventKind kind, const std::string& detail)
{
    HostEvent event;
    event.seconds = Now();
    event.kind = kind;
    event.detail = detail;
    recorder_.Note(event);
}

void CaptureRun::Rescan()
{
    session_.Rescan();
    ++pendingDetections_;
}

void CaptureRun::Fire(const TimedAction& action)
{
    switch (action.kind) {
    case ActionKind::Rescan:
        reporter_.Event(Now(), "rescan: the user presses \"Detect ZORVA digital devices\"");
        Note(HostEventKind::Rescan, std::string());
        Rescan();
        return;
    case ActionKind::Zero:
        reporter_.Event(Now(), "zero: the user presses \"Zero digital platforms\" (the plates read their present "
                               "load as zero from now on)");
        Note(HostEventKind::Zero, std::string());
        session_.ZeroAll();
        return;
    case ActionKind::Blink: {
        const std::vector<hostkit::OfferedDevice> plates = session_.Plates();
        const int plate = ResolvePlate(plates, action.target);
        if (plate < 0) {
            reporter_.Event(Now(),
                            "blink=" + action.target + ": no such plate now; the plates are " + PlateList(plates));
            return;
        }
        reporter_.Event(Now(), "blink: the user presses \"Blink\" of " + plates[plate].deviceName);
        Note(HostEventKind::Blink, plates[plate].deviceName);
        session_.Blink(plates[plate]);
        return;
    }
    case ActionKind::Unplug:
    case ActionKind::Plug:
    case ActionKind::Lose:
    case ActionKind::Repeat:
    case ActionKind::Fail: FireBench(action); return;
    }
}

void CaptureRun::FireBench(const TimedAction& action)
{
    const ActionSpec& spec = ActionSpecOf(action.kind);
    if (spec.fault) {
        int count = 0;
        ParseInteger(action.target, count);
        const bool done = bench_.SetFault(spec.fault->fault, count);
        const std::string what = FaultText(*spec.fault, action.target);
        reporter_.Event(Now(), done ? "fault: " + what
                                    : "fault: " + what + " is not possible: the library is not the simulated one");
        if (done)
            Note(HostEventKind::Bench, action.text.substr(action.text.find(':') + 1));
        return;
    }
    // Unplug or plug: the library sees it at its next detection.
    const bool plug = action.kind == ActionKind::Plug;
    std::string error;
    const int unit = bench_.ResolveUnit(action.target, error);
    if (unit < 0 || !bench_.SetPlugged(unit, plug)) {
        reporter_.Event(Now(), std::string(spec.name) + "=" + action.target + ": " + error);
        return;
    }
    reporter_.Event(Now(), std::string(spec.name) + ": unit " + std::to_string(unit) + " \"" + bench_.UnitName(unit) +
                               "\" (" + bench_.UnitIdentity(unit) + ") " + (plug ? "plugged in" : "unplugged") +
                               "; the library sees it at the next detection, so the user rescans");
    Note(HostEventKind::Rescan,
         std::string(spec.name) + "=" + std::to_string(unit) + " (" + bench_.UnitName(unit) + ")");
    Rescan();
}

bool CaptureRun::FireRecorded(const HostEvent& event)
{
    switch (event.kind) {
    case HostEventKind::Zero:
        reporter_.Event(Now(), "zero, as recorded");
        session_.ZeroAll();
        break;
    case HostEventKind::Blink: {
        const std::vector<hostkit::OfferedDevice> plates = session_.Plates();
        const int plate = ResolvePlate(plates, event.detail);
        reporter_.Event(Now(), "blink " + event.detail + ", as recorded" + (plate < 0 ? ": no such plate now" : ""));
        if (plate >= 0)
            session_.Blink(plates[plate]);
        break;
    }
    case HostEventKind::Rescan:
        reporter_.Event(Now(), "rescan, as recorded" + (event.detail.empty() ? "" : " (" + event.detail + ")"));
        Rescan();
        break;
    case HostEventKind::Rearm: Rearm(); break;
    case HostEventKind::End: return true;
    case HostEventKind::Bench: break; // in the recorded blocks already
    }
    return false;
}

void CaptureRun::Rearm()
{
    Note(HostEventKind::Rearm, std::string());
    const hostkit::ArmResult arming = session_.ArmAll();
    session_.StartCapture(start_);
    std::string text = arming.armed ? "re-armed: the plugin asked for it" : "re-arming failed: no plate can run";
    if (!arming.refused.empty())
        text += "; not armed (not connected): " + Joined(arming.refused, ", ");
    reporter_.Event(Now(), text);
    // A stop reported after this arming asks again; not sooner than this.
    rearmNotBefore_ = Now() + kRearmDelay;
}

} // namespace zorvahost
