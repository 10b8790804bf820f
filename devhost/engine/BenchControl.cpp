#include "devhost/engine/BenchControl.h"

#include "platform/Library.h"
#include "devhost/engine/Text.h"
#include "trace/recorder/RecorderInFront.h"

#include <climits>
#include <vector>

namespace zorvahost {

namespace {

template <typename Function>
Function Lookup(const char* name)
{
    // Behind the recorder, when it stands in front: on Windows the module
    // name no longer tells the two apart.
    void* symbol = zorvatrace::RecordedLibrarySymbol(name);
    return reinterpret_cast<Function>(symbol ? symbol : zorvaplatform::LoadedUsbLibrarySymbol(name));
}

} // namespace

int ParseIndex(const std::string& text)
{
    int index = -1;
    return text.size() <= 6 && ParseInteger(text, index) ? index : -1;
}

BenchControl::BenchControl()
{
    unitCount_ = Lookup<CountFn>("ZorvaSim_UnitCount");
    unitName_ = Lookup<TextFn>("ZorvaSim_UnitName");
    unitIdentity_ = Lookup<TextFn>("ZorvaSim_UnitIdentity");
    unitPlugged_ = Lookup<PluggedFn>("ZorvaSim_UnitPlugged");
    setPlugged_ = Lookup<SetPluggedFn>("ZorvaSim_SetPlugged");
    description_ = Lookup<DescriptionFn>("ZorvaSim_ScenarioDescription");
    available_ = unitCount_ && unitName_ && unitIdentity_ && unitPlugged_ && setPlugged_ && description_;
    injectFault_ = Lookup<ZorvaSimFaultFn>("ZorvaSim_InjectFault");
    loadTrace_ = Lookup<int (*)(const char*, int, char*, int)>("ZorvaSim_LoadTrace");
    replayProgress_ = Lookup<int (*)(ZorvaSimReplayProgress*)>("ZorvaSim_ReplayProgress");
    mismatchCount_ = Lookup<int (*)()>("ZorvaSim_ReplayMismatchCount");
    mismatch_ = Lookup<int (*)(int, char*, int)>("ZorvaSim_ReplayMismatch");
    placeWeight_ = Lookup<PlaceWeightFn>("ZorvaSim_PlaceWeight");
    pulseTrigger_ = Lookup<PulseTriggerFn>("ZorvaSim_PulseTrigger");
}

bool BenchControl::SetFault(ZorvaSimFault fault, int count) const
{
    return injectFault_ && injectFault_(static_cast<int>(fault), count) == 1;
}

bool BenchControl::LoadTrace(const std::string& path, std::string& error) const
{
    if (!loadTrace_ || !replayProgress_ || !mismatchCount_ || !mismatch_) {
        error = "the USB library the plugin loaded cannot replay a trace: replay needs the simulated one";
        return false;
    }
    char why[2048] = {};
    // Pace 1: each message right after the call it followed; the host's
    // actions, not the clock, decide where the replay goes on.
    if (loadTrace_(path.c_str(), 1, why, static_cast<int>(sizeof why)) != 1) {
        error = why;
        return false;
    }
    return true;
}

bool BenchControl::ReplayProgress(ZorvaSimReplayProgress& progress) const
{
    return replayProgress_ && replayProgress_(&progress) == 1;
}

std::vector<std::string> BenchControl::ReplayMismatches() const
{
    std::vector<std::string> texts;
    const int count = mismatchCount_ ? mismatchCount_() : 0;
    for (int i = 0; i < count; ++i) {
        char text[2048] = {};
        if (mismatch_(i, text, static_cast<int>(sizeof text)) < 0)
            break; // beyond the ones kept
        texts.push_back(text);
    }
    return texts;
}

bool BenchControl::PlaceWeight(int unit, double kg, double x, double y) const
{
    return available_ && placeWeight_ && placeWeight_(unit, kg, x, y) == 1;
}

bool BenchControl::PulseTrigger(int samples) const { return available_ && pulseTrigger_ && pulseTrigger_(samples) > 0; }

int BenchControl::FindUnit(const std::string& amplifierSerial, const std::string& platformModel,
                           const std::string& platformSerial) const
{
    // UnitIdentity's form: "amplifier serial / platform model platform serial".
    const std::string identity = amplifierSerial + " / " + platformModel + " " + platformSerial;
    for (int unit = 0; unit < UnitCount(); ++unit) {
        if (UnitIdentity(unit) == identity)
            return unit;
    }
    return -1;
}

std::string BenchControl::Text(TextFn function, int unit) const
{
    if (!available_)
        return std::string();
    std::vector<char> buffer(256);
    int length = function(unit, buffer.data(), static_cast<int>(buffer.size()));
    if (length >= static_cast<int>(buffer.size())) {
        buffer.resize(static_cast<std::size_t>(length) + 1);
        length = function(unit, buffer.data(), static_cast<int>(buffer.size()));
    }
    return length < 0 ? std::string() : std::string(buffer.data());
}

std::string BenchControl::Description() const
{
    if (!available_)
        return std::string();
    char buffer[1024] = {};
    description_(buffer, static_cast<int>(sizeof buffer));
    return buffer;
}

int BenchControl::UnitCount() const { return available_ ? unitCount_() : 0; }

std::string BenchControl::UnitName(int unit) const { return Text(unitName_, unit); }

std::string BenchControl::UnitIdentity(int unit) const { return Text(unitIdentity_, unit); }

bool BenchControl::Plugged(int unit) const { return available_ && unitPlugged_(unit) == 1; }

bool BenchControl::SetPlugged(int unit, bool plugged) const
{
    return available_ && setPlugged_(unit, plugged ? 1 : 0) == 1;
}

int BenchControl::ResolveUnit(const std::string& nameOrIndex, std::string& error) const
{
    if (!available_) {
        error = "units can be plugged and unplugged only on the simulated bench";
        return -1;
    }
    const int count = UnitCount();
    // A section name first: "[unit 2]" is named "2", whatever its position.
    for (int unit = 0; unit < count; ++unit) {
        if (UnitName(unit) == nameOrIndex)
            return unit;
    }
    const int index = ParseIndex(nameOrIndex);
    if (index >= 0 && index < count)
        return index;
    error = "no unit \"" + nameOrIndex + "\" on the bench; its units are:";
    for (int unit = 0; unit < count; ++unit)
        error += " " + std::to_string(unit) + " (" + UnitName(unit) + ")";
    if (count == 0)
        error += " none";
    return -1;
}

} // namespace zorvahost
