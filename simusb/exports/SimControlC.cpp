// The plain C controls of SimControlC.h, on top of the C++ controls.
#include "simusb/SimControlC.h"

#include "simusb/ReplayControl.h"
#include "simusb/SimControl.h"
#include "simusb/exports/TextOut.h"

#include <algorithm>
#include <cstring>
#include <exception>

namespace {

/// The unit at scenario position `unit`, copied out; false when there is none.
bool UnitAt(int unit, zorvasim::UnitSpec& out)
{
    const zorvasim::Scenario scenario = zorvasim::CurrentScenario();
    if (unit < 0 || static_cast<std::size_t>(unit) >= scenario.units.size())
        return false;
    out = scenario.units[static_cast<std::size_t>(unit)];
    return true;
}

} // namespace

extern "C" {

ZORVA_SIM_API int ZorvaSim_UnitCount()
{
    try {
        return static_cast<int>(zorvasim::CurrentScenario().units.size());
    } catch (...) {
        return 0;
    }
}

ZORVA_SIM_API int ZorvaSim_UnitName(int unit, char* buffer, int size)
{
    try {
        zorvasim::UnitSpec found;
        return UnitAt(unit, found) ? zorvasim::CopyTextOut(found.name, buffer, size) : -1;
    } catch (const std::exception&) {
        return -1;
    }
}

ZORVA_SIM_API int ZorvaSim_UnitIdentity(int unit, char* buffer, int size)
{
    try {
        zorvasim::UnitSpec found;
        if (!UnitAt(unit, found))
            return -1;
        return zorvasim::CopyTextOut(found.amplifierSerial + " / " + found.platformModel + " " + found.platformSerial,
                                     buffer, size);
    } catch (const std::exception&) {
        return -1;
    }
}

ZORVA_SIM_API int ZorvaSim_UnitPlugged(int unit)
{
    try {
        zorvasim::UnitSpec found;
        return UnitAt(unit, found) ? (found.plugged ? 1 : 0) : -1;
    } catch (const std::exception&) {
        return -1;
    }
}

ZORVA_SIM_API int ZorvaSim_SetPlugged(int unit, int plugged)
{
    return zorvasim::SetPlugged(unit, plugged != 0) ? 1 : 0;
}

ZORVA_SIM_API int ZorvaSim_ScenarioDescription(char* buffer, int size)
{
    try {
        return zorvasim::CopyTextOut(zorvasim::ScenarioOrigin() + ": " + zorvasim::CurrentScenario().name, buffer,
                                     size);
    } catch (const std::exception&) {
        return zorvasim::CopyTextOut("", buffer, size);
    }
}

ZORVA_SIM_API void ZorvaSim_SetStepped(int stepped)
{
    zorvasim::SetMode(stepped ? zorvasim::Mode::Stepped : zorvasim::Mode::FreeRunning);
}

ZORVA_SIM_API int ZorvaSim_DeliverBlocks(int count) { return zorvasim::DeliverBlocks(count); }

ZORVA_SIM_API int ZorvaSim_PlaceWeight(int unit, double kg, double x, double y)
{
    try {
        zorvasim::UnitSpec found;
        if (!UnitAt(unit, found))
            return 0;
        zorvasim::LoadProfile load = found.load;
        load.kind = kg > 0.0 ? zorvasim::LoadKind::Weight : zorvasim::LoadKind::None;
        if (kg > 0.0) {
            load.mass = static_cast<float>(kg);
            load.at = {static_cast<float>(x), static_cast<float>(y)};
        }
        return zorvasim::SetLoad(unit, load) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

ZORVA_SIM_API int ZorvaSim_InjectFault(int fault, int count)
{
    // Checked before it becomes a ZorvaSimFault: no other value may.
    if (fault < ZORVA_SIM_FAULT_NONE || fault > ZORVA_SIM_FAULT_STEP_BACK)
        return 0;
    try {
        return zorvasim::InjectFault(static_cast<ZorvaSimFault>(fault), count) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

ZORVA_SIM_API int ZorvaSim_SetTransferFault(int fault, int calls)
{
    const bool transfer =
        fault == ZORVA_SIM_FAULT_NONE || fault == ZORVA_SIM_FAULT_NULL_BLOCK || fault == ZORVA_SIM_FAULT_TRANSFER_ERROR;
    return transfer ? ZorvaSim_InjectFault(fault, calls) : 0;
}

ZORVA_SIM_API int ZorvaSim_InjectBlockFault(int fault, int blocks)
{
    // Its codes are the block faults', counted from the first of them.
    if (fault < 0 || fault > ZORVA_SIM_FAULT_STEP_BACK - ZORVA_SIM_FAULT_REPEAT_BLOCK)
        return 0;
    return ZorvaSim_InjectFault(ZORVA_SIM_FAULT_REPEAT_BLOCK + fault, blocks);
}

ZORVA_SIM_API int ZorvaSim_PulseTrigger(int samples)
{
    try {
        const zorvasim::Scenario scenario = zorvasim::CurrentScenario();
        const std::uint64_t next = zorvasim::GetState().sampleClock;
        for (std::size_t unit = 0; unit < scenario.units.size(); ++unit) {
            zorvasim::TriggerProfile pulse = scenario.units[unit].trigger;
            pulse.from = static_cast<std::int64_t>(next);
            pulse.samples = static_cast<std::uint32_t>(std::max(samples, 1));
            zorvasim::SetTrigger(static_cast<int>(unit), pulse);
        }
        return static_cast<int>(scenario.units.size());
    } catch (...) {
        return 0;
    }
}

ZORVA_SIM_API int ZorvaSim_LoadTrace(const char* path, int pace, char* error, int size)
{
    std::string why = "no trace named";
    if (pace != ZORVA_SIM_PACE_AUTO && pace != ZORVA_SIM_PACE_IMMEDIATE && pace != ZORVA_SIM_PACE_RECORDED)
        why = "pace must be 0, 1 or 2";
    else if (path && zorvasim::LoadTraceFile(path, &why, static_cast<zorvasim::ReplayPace>(pace)))
        return 1;
    zorvasim::CopyTextOut(why, error, size);
    return 0;
}

ZORVA_SIM_API void ZorvaSim_EndReplay() { zorvasim::EndReplay(); }

ZORVA_SIM_API int ZorvaSim_ReplayMismatchCount()
{
    const zorvasim::ReplayStatus status = zorvasim::GetReplayStatus();
    if (!status.active)
        return -1;
    return static_cast<int>(std::min<std::uint64_t>(status.mismatches, 0x7fffffff));
}

ZORVA_SIM_API int ZorvaSim_ReplayMismatch(int index, char* buffer, int size)
{
    try {
        const std::vector<zorvasim::ReplayMismatch> mismatches = zorvasim::ReplayMismatches();
        if (index < 0 || static_cast<std::size_t>(index) >= mismatches.size())
            return -1;
        return zorvasim::CopyTextOut(mismatches[static_cast<std::size_t>(index)].text, buffer, size);
    } catch (...) {
        return -1;
    }
}

ZORVA_SIM_API int ZorvaSim_ReplayFinished()
{
    const zorvasim::ReplayStatus status = zorvasim::GetReplayStatus();
    return status.active ? (status.finished ? 1 : 0) : -1;
}

ZORVA_SIM_API int ZorvaSim_ReplayProgress(ZorvaSimReplayProgress* out)
{
    if (!out)
        return 0;
    const zorvasim::ReplayStatus status = zorvasim::GetReplayStatus();
    *out = ZorvaSimReplayProgress{};
    if (!status.active)
        return 0;
    out->calls = status.calls;
    out->recordedCalls = status.recordedCalls;
    out->blocks = status.blocks;
    out->messages = status.messages;
    out->timingDifferences = status.timingDifferences;
    out->mismatches = status.mismatches;
    out->nextCall = status.nextCall;
    out->finished = status.finished ? 1 : 0;
    return 1;
}

} // extern "C"
