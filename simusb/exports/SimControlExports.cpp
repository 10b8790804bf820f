// The C entry points of SimControlExports.h, on top of the control interface.
#include "simusb/SimControlExports.h"
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

ZORVA_SIM_API int ZorvaSim_InjectBlockFault(int fault, int blocks)
{
    const zorvasim::BlockFault faults[] = {zorvasim::BlockFault::Repeat, zorvasim::BlockFault::Skip,
                                           zorvasim::BlockFault::StepBack};
    if (fault < 0 || fault > 2)
        return 0;
    try {
        return zorvasim::InjectBlockFault(faults[fault], blocks) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

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

ZORVA_SIM_API int ZorvaSim_SetTransferFault(int fault, int calls)
{
    const zorvasim::TransferFault faults[] = {zorvasim::TransferFault::None, zorvasim::TransferFault::NullBlock,
                                              zorvasim::TransferFault::Error};
    if (fault < 0 || fault > 2)
        return 0;
    try {
        zorvasim::SetTransferFault(faults[fault], calls);
        return 1;
    } catch (...) {
        return 0;
    }
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

} // extern "C"
