// The control interface: thin, exception-free wrappers over the simulator.
#include "simusb/SimControl.h"

#include "simusb/replay/ReplayHub.h"
#include "simusb/bench/Simulator.h"

#include <fstream>
#include <sstream>
#include <utility>

namespace zorvasim {

using detail::Simulator;

namespace {

void SetError(std::string* error, const std::string& text)
{
    if (error)
        *error = text;
}

// Runs fn on the simulator; a failure inside (out of memory) gives `fallback`.
template <typename Fn, typename R = decltype(std::declval<Fn>()(std::declval<Simulator&>()))>
R Try(Fn fn, R fallback = R())
{
    try {
        return fn(Simulator::Instance());
    } catch (...) {
        return fallback;
    }
}

} // namespace

bool LoadScenario(const Scenario& scenario, std::string* error)
{
    try {
        if (!Simulator::Instance().Load(scenario, "struct", error))
            return false;
        EndReplay();
        return true;
    } catch (const std::exception& e) {
        SetError(error, e.what());
        return false;
    }
}

bool LoadScenarioText(const std::string& text, std::string* error)
{
    try {
        Scenario s;
        std::string why;
        if (!ParseScenario(text, s, why)) {
            SetError(error, why);
            return false;
        }
        if (!Simulator::Instance().Load(s, "text", error))
            return false;
        EndReplay();
        return true;
    } catch (const std::exception& e) {
        SetError(error, e.what());
        return false;
    }
}

bool LoadScenarioFile(const std::string& path, std::string* error)
{
    try {
        if (IsTraceFile(path))
            return LoadTraceFile(path, error);
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            SetError(error, "cannot open \"" + path + "\"");
            return false;
        }
        std::ostringstream content;
        content << in.rdbuf();
        Scenario s;
        std::string why;
        if (!ParseScenario(content.str(), s, why)) {
            SetError(error, path + ": " + why);
            return false;
        }
        if (!Simulator::Instance().Load(s, "file " + path, error))
            return false;
        EndReplay();
        return true;
    } catch (const std::exception& e) {
        SetError(error, e.what());
        return false;
    }
}

Scenario CurrentScenario()
{
    try {
        return Simulator::Instance().CurrentScenario();
    } catch (...) {
        return Scenario{};
    }
}

std::string ScenarioOrigin()
{
    try {
        return Simulator::Instance().Origin();
    } catch (...) {
        return std::string();
    }
}

std::string ScenarioFallbackMessage()
{
    try {
        return Simulator::Instance().FallbackMessage();
    } catch (...) {
        return std::string();
    }
}

void Reset()
{
    try {
        Simulator::Instance().Reset();
        detail::ReplayHub::Instance().LoadFromEnvironment();
    } catch (...) {
    }
}

void SetMode(Mode mode)
{
    try {
        Simulator::Instance().SetMode(mode);
    } catch (...) {
    }
}

Mode GetMode()
{
    return Try([](Simulator& s) { return s.GetMode(); }, Mode::FreeRunning);
}

int DeliverBlocks(int count)
{
    try {
        return Simulator::Instance().DeliverBlocks(count);
    } catch (...) {
        return 0;
    }
}

bool SetPlugged(int unit, bool plugged)
{
    return Try([=](Simulator& s) { return s.SetPlugged(unit, plugged); });
}

bool SetLoad(int unit, const LoadProfile& load)
{
    return Try([&](Simulator& s) { return s.SetLoad(unit, load); });
}

bool SetTrigger(int unit, const TriggerProfile& trigger)
{
    return Try([&](Simulator& s) { return s.SetTrigger(unit, trigger); });
}

void SetTransferFault(TransferFault fault, int calls)
{
    Try([=](Simulator& s) {
        s.SetTransferFault(fault, calls);
        return true;
    });
}

bool InjectBlockFault(BlockFault fault, int blocks)
{
    return Try([=](Simulator& s) { return s.InjectBlockFault(fault, blocks); });
}

bool InjectFault(ZorvaSimFault fault, int count)
{
    switch (fault) {
    case ZORVA_SIM_FAULT_NONE:
    case ZORVA_SIM_FAULT_NULL_BLOCK:
    case ZORVA_SIM_FAULT_TRANSFER_ERROR: SetTransferFault(static_cast<TransferFault>(fault), count); return true;
    case ZORVA_SIM_FAULT_REPEAT_BLOCK:
    case ZORVA_SIM_FAULT_LOSE_BLOCKS:
    case ZORVA_SIM_FAULT_STEP_BACK: return InjectBlockFault(static_cast<BlockFault>(fault), count);
    }
    return false;
}

std::vector<std::string> GetTrace()
{
    try {
        return Simulator::Instance().TraceLog().Entries();
    } catch (...) {
        return {};
    }
}

void ClearTrace()
{
    Try([](Simulator& s) {
        s.TraceLog().Clear();
        return true;
    });
}

void Note(const std::string& text)
{
    try {
        Simulator::Instance().TraceLog().Add(text);
    } catch (...) {
    }
}

void SetTraceCapacity(std::size_t entries)
{
    Try([=](Simulator& s) {
        s.TraceLog().SetCapacity(entries);
        return true;
    });
}

Counters GetCounters()
{
    return Try([](Simulator& s) { return s.GetCounters(); });
}

LibraryState GetState()
{
    try {
        return Simulator::Instance().GetState();
    } catch (...) {
        return LibraryState{};
    }
}

void SetMessagePolicy(MessagePolicy policy)
{
    try {
        Simulator::Instance().SetMessagePolicy(policy);
    } catch (...) {
    }
}

std::vector<MeasuredBlock> MeasuredBlocks()
{
    return Try([](Simulator& s) { return s.MeasuredBlocks(); });
}

void SetClockEcho(bool on)
{
    try {
        Simulator::Instance().SetClockEcho(on);
    } catch (...) {
    }
}

bool SetVirtualTime(bool on)
{
    return Try([=](Simulator& s) { return s.SetVirtualTime(on); });
}

bool VirtualTimeOn()
{
    return Try([](Simulator& s) { return s.VirtualTimeOn(); });
}

std::uint64_t VirtualTimeMs()
{
    return Try([](Simulator& s) { return s.VirtualTimeMs(); });
}

} // namespace zorvasim
