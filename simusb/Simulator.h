/// The simulated bench of signal conditioners behind the fm* functions and the
/// control interface.
#pragma once

#include "win32/ZorvaWin32.h"

#include "simusb/SimControl.h"
#include "simusb/Trace.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zorvasim {
namespace detail {

enum class TextField
{
    AmplifierModel,
    AmplifierSerial,
    FirmwareVersion,
    PlatformModel,
    PlatformSerial
};

/// One process-wide instance (Instance()), never destroyed, so late calls
/// during process exit still find it; an exit guard only ends the generator.
///
/// Threads: fm* functions come from the driver's worker and, for
/// fmBroadcastZero, from a host thread; control functions from any thread; the
/// generator thread (free-running mode only) produces blocks; the Sleep handler
/// runs on whichever thread sleeps.
/// - `mutex_` guards the scenario, the library state, the backlog and the
///   counters. Held for each whole fm call and each block produced; released
///   while PostThreadMessageW runs, never held while a thread is joined.
/// - `lifecycleMutex_` guards `generator_` and writes of `mode_`; taken before
///   `mutex_`, never after it. SetMode, Reset and the exit guard hold it while
///   they join the generator, which never takes it.
/// - `sleepMutex_` serialises switching virtual time; `virtualMs_` is atomic.
/// - `trace_` has its own lock, taken inside `mutex_` or alone.
/// - `current_`, the block handed out last, is replaced only by
///   fmDLLTransferFloatData under `mutex_`; its caller reads it without a lock
///   until its next call (calls of one reader never overlap).
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
    void SetMode(Mode mode);
    Mode GetMode() const { return mode_.load(); }
    int DeliverBlocks(int count);
    bool SetPlugged(int unit, bool plugged);
    bool SetLoad(int unit, const LoadProfile& load);
    bool SetTrigger(int unit, const TriggerProfile& trigger);
    void SetTransferFault(TransferFault fault, int calls);
    bool InjectBlockFault(BlockFault fault, int blocks);
    Trace& TraceLog() { return trace_; }
    Counters GetCounters() const;
    LibraryState GetState() const;
    bool SetVirtualTime(bool on);
    bool VirtualTimeOn() const;
    std::uint64_t VirtualTimeMs() const { return virtualMs_.load(); }

    /// Ends the generator for good (process exit).
    void EndGenerator();

private:
    Simulator();

    struct Download
    {
        bool active = false;
        std::size_t unit = 0;     // scenario position
        std::size_t polls = 0;
    };

    void LoadEnvironmentScenario();
    void ClearFaultsLocked();
    void PowerOffLocked();
    void ResizeBacklogLocked();
    bool CanProduceLocked() const;
    /// Makes one block into the backlog (more with a repeat fault); true when
    /// a data-ready message is due.
    bool ProduceLocked();
    /// The next free backlog slot; pushes the oldest block out when full.
    float* NextSlotLocked();
    /// Posts the data-ready message to `threadId` with `lock` released.
    void PostDataReady(std::unique_lock<std::mutex>& lock, std::uint32_t threadId);
    void StartGeneratorIfNeeded();
    void StopGenerator(std::unique_lock<std::mutex>& lifecycle);
    void GeneratorLoop();
    const UnitSpec* SelectedLocked() const;
    std::array<float, 6> ReadingLocked(const UnitSpec& unit, std::uint64_t sample) const;
    void TraceCall(std::string entry) { trace_.Add(std::move(entry)); }
    static void SleepHandler(DWORD milliseconds, void* context);
    void StartGeneratorLocked(); // lifecycleMutex_ held

    mutable std::mutex lifecycleMutex_;
    std::thread generator_;        // lifecycleMutex_
    std::atomic<Mode> mode_{Mode::FreeRunning};
    bool generatorEnded_ = false;  // lifecycleMutex_: no generator after process exit began

    mutable std::mutex mutex_;
    std::condition_variable wake_; // with mutex_: generator waits for work or a rate change
    bool quit_ = false;

    // Bench.
    Scenario scenario_;
    std::string origin_;
    std::string fallbackMessage_;

    // Library state, as the plugin set it.
    bool initialised_ = false;
    bool initComplete_ = false;
    int initPolls_ = 0;
    bool acquiring_ = false;
    int rate_ = 1000;
    bool genlock_ = false;
    int runMode_ = 0;
    int packetSize_ = 0;
    int dataFormat_ = 0;
    bool posting_ = false;
    std::uint32_t threadId_ = 0;
    int selected_ = -1;
    std::vector<std::size_t> enumerated_;         // device index -> scenario position
    std::vector<std::array<float, 6>> zero_;      // per device index
    std::vector<int> blinks_;                     // per scenario position
    int zeroCount_ = 0;
    std::uint64_t sampleClock_ = 0;
    Download download_;

    // Data path.
    std::size_t blockFloats_ = 0;
    std::size_t capacity_ = 1;
    std::vector<float> ring_;   // capacity_ blocks
    std::size_t head_ = 0;
    std::size_t count_ = 0;
    bool messageOutstanding_ = false;
    std::vector<float> current_;
    Counters counters_;

    // Injected faults.
    TransferFault transferFault_ = TransferFault::None;
    int transferFaultCalls_ = 0;   // negative: every call
    int repeatsPending_ = 0;
    int skipsPending_ = 0;
    std::uint64_t counterBack_ = 0; // samples the counter runs behind the sample clock

    Trace trace_;

    mutable std::mutex sleepMutex_;
    bool virtualTime_ = false;           // sleepMutex_
    std::atomic<std::uint64_t> virtualMs_{0};
};

} // namespace detail
} // namespace zorvasim
