#include "devhost/live/LiveLoop.h"

#include "devhost/live/Json.h"

#include <chrono>
#include <thread>

namespace zorvahost {
namespace live {

namespace {

/// How often the loop looks at the session and the actions.
const std::chrono::milliseconds kTick(20);
/// How often the state is read for the page, seconds: a plate gone shows within this.
const double kStateInterval = 0.1;

void Field(std::string& out, const char* name)
{
    out += '"';
    out += name;
    out += "\":";
}

void TextField(std::string& out, const char* name, const std::string& value)
{
    Field(out, name);
    AppendJsonString(out, value);
    out += ',';
}

void NumberField(std::string& out, const char* name, double value)
{
    Field(out, name);
    AppendJsonNumber(out, value);
    out += ',';
}

void BoolField(std::string& out, const char* name, bool value)
{
    Field(out, name);
    out += value ? "true," : "false,";
}

void ListField(std::string& out, const char* name, const std::vector<std::string>& values)
{
    Field(out, name);
    out += '[';
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0)
            out += ',';
        AppendJsonString(out, values[i]);
    }
    out += "],";
}

/// Ends an object whose last field left a comma.
void Close(std::string& out, char bracket)
{
    if (out.back() == ',')
        out.pop_back();
    out += bracket;
}

} // namespace

std::string StateJson(const SessionView& view)
{
    std::string out = "{";
    TextField(out, "plugin", view.plugin);
    Field(out, "plates");
    out += '[';
    for (const PlateView& plate : view.plates) {
        out += '{';
        TextField(out, "name", plate.name);
        TextField(out, "definition", plate.definition);
        NumberField(out, "sizeX", plate.sizeX);
        NumberField(out, "sizeY", plate.sizeY);
        NumberField(out, "originA", plate.originA);
        NumberField(out, "originB", plate.originB);
        NumberField(out, "originZ", plate.originZ);
        TextField(out, "amplifier", plate.amplifier);
        TextField(out, "platform", plate.platform);
        BoolField(out, "connected", plate.connected);
        TextField(out, "state", plate.state);
        NumberField(out, "benchUnit", plate.benchUnit);
        Close(out, '}');
        out += ',';
    }
    Close(out, ']');
    out += ',';
    const SharedView& shared = view.shared;
    Field(out, "shared");
    out += '{';
    TextField(out, "syncMode", shared.syncMode);
    ListField(out, "syncModes", shared.syncModes);
    ListField(out, "syncWords", shared.syncWords);
    TextField(out, "rate", shared.rate);
    ListField(out, "rates", shared.rates);
    NumberField(out, "threshold", shared.threshold);
    NumberField(out, "thresholdMin", shared.thresholdMin);
    NumberField(out, "thresholdMax", shared.thresholdMax);
    TextField(out, "state", shared.state);
    BoolField(out, "rearmRequired", shared.rearmRequired);
    NumberField(out, "armedRate", shared.armedRate);
    NumberField(out, "unitRate", shared.unitRate);
    BoolField(out, "detecting", shared.detecting);
    Close(out, '}');
    out += ',';
    BoolField(out, "bench", view.bench);
    TextField(out, "benchName", view.benchName);
    Field(out, "units");
    out += '[';
    for (const BenchUnitView& unit : view.units) {
        out += '{';
        TextField(out, "name", unit.name);
        TextField(out, "identity", unit.identity);
        BoolField(out, "plugged", unit.plugged);
        Close(out, '}');
        out += ',';
    }
    Close(out, ']');
    out += '}';
    return out;
}

void LiveLoop::Publish(std::vector<LiveLine>& lines)
{
    if (lines.empty())
        return;
    // Lines come at most one tick before they are published: the time is the page's to show.
    const double now = source_.Now();
    for (LiveLine& line : lines) {
        if (line.time < 0.0)
            line.time = now;
    }
    if (print_) {
        for (const LiveLine& line : lines)
            print_(line);
    }
    hub_.PublishLines(lines);
    lines.clear();
}

bool LiveLoop::Run(const std::atomic<bool>& interrupted)
{
    std::vector<LiveLine> lines;
    double lastState = -1.0;
    for (;;) {
        source_.Tick(lines);
        Publish(lines);
        PendingAction pending;
        while (hub_.TakeAction(pending)) {
            if (pending.action.kind == ActionKind::Stop) {
                lines.push_back(LiveLine{LineSource::Host, 1, "stop: the page ended the session"});
                Publish(lines);
                hub_.Reply(ActionReply{pending.client, pending.request, true, "the session ends"});
                return true;
            }
            std::string error;
            const bool done = source_.Do(pending.action, lines, error);
            if (!done)
                lines.push_back(LiveLine{LineSource::Host, 2, "the page's action was not done: " + error});
            Publish(lines);
            hub_.Reply(ActionReply{pending.client, pending.request, done, done ? std::string("done") : error});
            // An action may take a while (a setting waits for the plugin's stop): the state is due.
            lastState = -1.0;
        }
        const double now = source_.Now();
        if (lastState < 0.0 || now - lastState >= kStateInterval) {
            lastState = now;
            hub_.PublishState(StateJson(source_.View()));
        }
        if (interrupted.load())
            return false;
        std::this_thread::sleep_for(kTick);
    }
}

} // namespace live
} // namespace zorvahost
