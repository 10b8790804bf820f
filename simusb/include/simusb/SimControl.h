/// Control interface of the simulated USB library: what a test or the
/// development host uses to set up the simulated signal conditioners and watch
/// what the plugin does with them. Exported from the same shared library as the
/// fm* functions, kept apart from them in namespace zorvasim; the plugin never
/// includes this header. The scenario's records and reader are in Scenario.h,
/// replay's controls in ReplayControl.h; a host that must run without the
/// simulated library finds the plain C controls of SimControlC.h at run time.
///
/// Every function may be called from any thread; none throws. Units are named
/// by their position in the scenario (0 = first [unit ...] section), which is
/// not the library's device index once a unit is unplugged.
#pragma once

#include "simusb/Scenario.h"
#include "simusb/SimControlC.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zorvasim {

enum class Mode
{
    FreeRunning, ///< a generator thread produces blocks in real time at the broadcast rate
    Stepped,     ///< blocks appear only when DeliverBlocks is called; no timer thread
    /// Blocks are made as the virtual clock passes: every Sleep, on any thread,
    /// lets the hardware measure for that long (needs SetVirtualTime(true));
    /// no timer thread. The hardware goes on measuring while the plugin waits.
    VirtualClock
};

/// When the library posts its data-ready message.
enum class MessagePolicy
{
    OneOutstanding, ///< only when none is outstanding (until a transfer finds the backlog empty)
    EveryBlock      ///< for every block, as some libraries do: a slow reader's queue fills with them
};

/// A block as the hardware measured it (virtual-clock mode).
struct MeasuredBlock
{
    std::uint64_t sampleClock = 0; ///< of its first sample
    std::uint32_t counter = 0;     ///< the counter its first sample carries
    double endMs = 0.0;            ///< virtual time at which its last sample was measured
    int rate = 0;                  ///< datasets per second it was measured at
};

/// How a faulted fmDLLTransferFloatData call fails (SetTransferFault): the
/// transfer faults of ZorvaSimFault (SimControlC.h), which says what each does.
enum class TransferFault
{
    None = ZORVA_SIM_FAULT_NONE,
    NullBlock = ZORVA_SIM_FAULT_NULL_BLOCK,
    Error = ZORVA_SIM_FAULT_TRANSFER_ERROR
};

/// A fault in the stream of blocks the library produces (InjectBlockFault):
/// the block faults of ZorvaSimFault.
enum class BlockFault
{
    Repeat = ZORVA_SIM_FAULT_REPEAT_BLOCK,
    Skip = ZORVA_SIM_FAULT_LOSE_BLOCKS,
    StepBack = ZORVA_SIM_FAULT_STEP_BACK
};

struct Counters
{
    std::uint64_t blocksProduced = 0;
    std::uint64_t blocksTransferred = 0; ///< handed out by fmDLLTransferFloatData
    std::uint64_t blocksDropped = 0;     ///< pushed out of a full backlog
    std::uint64_t blocksLost = 0;        ///< measured, lost on the way (lost_block_every): not produced
    std::uint64_t messagesPosted = 0;    ///< data-ready messages accepted by PostThreadMessageW
    std::uint64_t postFailures = 0;      ///< refused, e.g. the thread has no message queue
    std::size_t backlog = 0;             ///< blocks waiting now
    std::uint64_t traceDropped = 0;      ///< oldest trace entries removed to keep the bound
    /// The last fmDLLTransferFloatData call found no block (true before the
    /// first): with no block waiting, the reader has finished with every block
    /// it was given.
    bool drained = true;
};

/// What the plugin has told the library, as the library recorded it.
struct LibraryState
{
    bool initialised = false;  ///< fmDLLInit called, no fmDLLShutDown since
    bool initComplete = false; ///< fmDLLIsDeviceInitComplete has reported completion
    int initPollsSeen = 0;
    bool acquiring = false;
    int rate = 0;
    bool genlock = false;
    int runMode = 0;
    int packetSize = 0;
    int dataFormat = 0;
    bool postingEnabled = false;
    std::uint32_t threadId = 0;
    int selectedIndex = -1;
    int deviceCount = 0;              ///< units enumerated at the last fmDLLInit
    std::vector<int> enumeratedUnits; ///< scenario position of each device index
    std::uint64_t sampleClock = 0;
    int zeroCount = 0;
    std::vector<int> blinkCounts;                  ///< per scenario unit
    std::vector<std::array<float, 6>> zeroOffsets; ///< per device index, subtracted from Fx..Mz
};

/// Loading a scenario powers the bench off and on: the library is as before
/// fmDLLInit (trace, counters and mode are kept). On failure nothing changes.
ZORVA_SIM_API bool LoadScenario(const Scenario& scenario, std::string* error = nullptr);
ZORVA_SIM_API bool LoadScenarioText(const std::string& text, std::string* error = nullptr);
ZORVA_SIM_API bool LoadScenarioFile(const std::string& path, std::string* error = nullptr);
/// The scenario in use, with the plug, load and calibration changes made since.
ZORVA_SIM_API Scenario CurrentScenario();
/// "built-in", "file <path>", "text" or "struct".
ZORVA_SIM_API std::string ScenarioOrigin();
/// Why the file named by ZORVA_SIM_SCENARIO was not used (also written to
/// stderr); empty when it was used or none was named.
ZORVA_SIM_API std::string ScenarioFallbackMessage();

/// Back to the state of a freshly loaded library: the scenario of
/// ZORVA_SIM_SCENARIO (read again) or the built-in one, free-running mode,
/// virtual time off and at 0, empty trace, zero counters.
ZORVA_SIM_API void Reset();

/// Switching to Stepped stops the generator thread (waits for it).
ZORVA_SIM_API void SetMode(Mode mode);
ZORVA_SIM_API Mode GetMode();
/// Stepped mode: produces up to `count` blocks now, on the calling thread, and
/// posts the data-ready message. Returns the number produced: 0 in free-running
/// mode or while the library would send no data (not started, posting off, no
/// thread, no unit).
ZORVA_SIM_API int DeliverBlocks(int count);

/// How the data-ready message is posted from now on (Reset: OneOutstanding).
ZORVA_SIM_API void SetMessagePolicy(MessagePolicy policy);
/// Virtual-clock mode: the blocks made since the last Reset, oldest first
/// (the newest 65536), with when each was measured.
ZORVA_SIM_API std::vector<MeasuredBlock> MeasuredBlocks();
/// On: Fy of every record carries the sample clock of its sample (exact below
/// 2^24) in place of the load's, so a test can tell which sample a value the
/// plugin passed on was measured as. Reset turns it off.
ZORVA_SIM_API void SetClockEcho(bool on);

/// Plugs or unplugs a unit (scenario position); the library sees it at the
/// next fmDLLInit, when it enumerates the bus. False for an unknown unit.
ZORVA_SIM_API bool SetPlugged(int unit, bool plugged);
/// Changes what a unit measures from the next sample on. False for an unknown
/// unit or a load the scenario check refuses (ValidateScenario).
ZORVA_SIM_API bool SetLoad(int unit, const LoadProfile& load);
ZORVA_SIM_API bool SetTrigger(int unit, const TriggerProfile& trigger);

/// Fault injection: the next `calls` calls of fmDLLTransferFloatData (every
/// call from now on when negative) fail as `fault` says, leave the backlog as
/// it is and forget the outstanding data-ready message, so the next block
/// posts again. TransferFault::None ends a fault at once. Reset and loading a
/// scenario end it too.
ZORVA_SIM_API void SetTransferFault(TransferFault fault, int calls = -1);
/// Fault injection in the blocks produced from now on (see BlockFault);
/// `blocks` is at least 1. Faults add up; Reset and loading a scenario drop
/// those not yet applied. A step back lasts until the counter restarts
/// (fmDLLInit, fmBroadcastResetSoftware). False for a count below 1.
ZORVA_SIM_API bool InjectBlockFault(BlockFault fault, int blocks = 1);
/// Either of the two by the fault's code (ZorvaSimFault): a transfer fault
/// for the next `count` calls (every call from now on when negative), a block
/// fault for `count` blocks. False for an unknown code or a block fault's
/// count below 1.
ZORVA_SIM_API bool InjectFault(ZorvaSimFault fault, int count);

/// The trace: every fm* call in order, with "Sleep(ms)" entries in virtual
/// time and Note texts. It keeps the newest entries up to its capacity
/// (65536 unless changed); Counters::traceDropped counts the others.
ZORVA_SIM_API std::vector<std::string> GetTrace();
ZORVA_SIM_API void ClearTrace();
ZORVA_SIM_API void Note(const std::string& text);
/// At least 1; shrinking drops the oldest entries at once.
ZORVA_SIM_API void SetTraceCapacity(std::size_t entries);

ZORVA_SIM_API Counters GetCounters();
ZORVA_SIM_API LibraryState GetState();

/// Virtual time: every Sleep of the Win32 layer, on any thread, returns at once,
/// adds "Sleep(ms)" to the trace and advances the virtual clock. Off restores
/// real sleeping (the Win32 layer does not give back the context of a handler
/// installed before, so that one cannot be restored). On Windows only code
/// whose Sleep import is routed to the Win32 controls (the test programs)
/// runs in virtual time. Returns false where Sleep cannot be replaced.
ZORVA_SIM_API bool SetVirtualTime(bool on);
ZORVA_SIM_API bool VirtualTimeOn();
/// Milliseconds slept in virtual time since the last Reset.
ZORVA_SIM_API std::uint64_t VirtualTimeMs();

} // namespace zorvasim
