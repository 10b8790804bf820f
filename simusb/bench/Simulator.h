/// The simulated library behind the fm* functions and the control interface:
/// a facade over its parts.
#pragma once

#include "simusb/bench/Backlog.h"
#include "simusb/bench/Bench.h"
#include "simusb/bench/Generator.h"
#include "simusb/SimControl.h"
#include "simusb/bench/CallTrace.h"
#include "simusb/bench/VirtualTime.h"

#include <cstdint>
#include <string>

namespace zorvasim {
namespace detail {

/// One process-wide instance (Instance()), never destroyed, so late calls
/// during process exit still find it; an exit guard only ends the generator.
///
/// The parts, each with its own lock and thread contract (see each class):
/// the bench (scenario and library state; its lock is the library lock), the
/// backlog (blocks waiting, the message rule, counters), the generator (the
/// free-running thread and DeliverBlocks), virtual time, and the trace.
///
/// Threads: fm* functions come from the driver's worker and, for
/// fmBroadcastZero, from a host thread; control functions from any thread.
/// Each fm* call holds the bench lock for the whole call and writes its trace
/// entry under it, so entries follow the calls' order across threads. Calls
/// that change what the generator waits for wake it under that lock. Lock
/// order: generator lifecycle, bench, backlog, trace; virtual time's lock is
/// taken alone.
class Simulator
{
public:
    static Simulator& Instance();

    // fm* functions, each traced.
    int Init();
    int IsInitComplete();
    int SetupCheck();
    int SetPacketSize(int size);
    int SetRunMode(int mode);
    int SetDataFormat(int format);
    int PostDataReadyMessages(int enable);
    int PostUserThreadMessages(unsigned int threadId);
    int ResetSoftware();
    int ShutDown();
    int Start();
    int Stop();
    int Zero();
    int SetRate(int rate);
    int SetGenlock(int on);
    int DeviceCount();
    int SelectDevice(int index);
    int ProductType();
    int GetText(TextField field, char* text);
    int GetOffsets(float* offsets);
    int GetLengthAndWidth(char* length, char* width);
    int Blink();
    int CheckCelvo(int* indices);
    int DownloadCalFile(int mode);
    int IsDownloadComplete();
    int TransferFloatData(float** block);

    // Control interface.
    bool Load(const Scenario& scenario, const std::string& origin, std::string* error);
    Scenario CurrentScenario() const;
    std::string Origin() const;
    std::string FallbackMessage() const;
    void Reset();
    void SetMode(Mode mode) { generator_.SetMode(mode); }
    Mode GetMode() const { return generator_.GetMode(); }
    int DeliverBlocks(int count) { return generator_.Deliver(count); }
    bool SetPlugged(int unit, bool plugged);
    bool SetLoad(int unit, const LoadProfile& load);
    bool SetTrigger(int unit, const TriggerProfile& trigger);
    void SetTransferFault(TransferFault fault, int calls) { backlog_.SetTransferFault(fault, calls); }
    bool InjectBlockFault(BlockFault fault, int blocks);
    CallTrace& TraceLog() { return trace_; }
    Counters GetCounters() const;
    LibraryState GetState() const;
    bool SetVirtualTime(bool on) { return virtualTime_.Set(on); }
    bool VirtualTimeOn() const { return virtualTime_.On(); }
    std::uint64_t VirtualTimeMs() const { return virtualTime_.Ms(); }
    void SetMessagePolicy(MessagePolicy policy) { backlog_.SetMessagePolicy(policy); }
    std::vector<MeasuredBlock> MeasuredBlocks() const { return generator_.MeasuredBlocks(); }
    void SetClockEcho(bool on);

    /// Ends the generator for good (process exit).
    void EndGenerator() { generator_.End(); }

private:
    Simulator();

    /// The scenario of ZORVA_SIM_SCENARIO, or the built-in one; powers off.
    void LoadEnvironmentScenario();
    void TraceCall(std::string entry) { trace_.Add(std::move(entry)); }
    static void TimePassed(std::uint64_t fromMs, std::uint64_t toMs, void* context);

    CallTrace trace_;
    Backlog backlog_;
    Bench bench_;
    Generator generator_;
    VirtualTime virtualTime_;
};

} // namespace detail
} // namespace zorvasim
