/// The simulated bench: the scenario's signal conditioners as they are now,
/// and the library state the fm* calls change.
#pragma once

#include "simusb/bench/Backlog.h"
#include "simusb/bench/Locks.h"
#include "simusb/SimControl.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
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

/// The bench and the library's state: the scenario with its plug, load and
/// calibration changes, what the plugin told the library, the enumerated
/// units, zero offsets, the sample clock, calibration downloads and the faults
/// injected in the block stream. It makes the readings of each block and, at
/// the points where the library empties or resizes its FIFO, drives the
/// backlog.
///
/// Threads: `mutex_` is the library lock. It guards every field, and every
/// member function but Mutex() requires it: the facade holds it for each whole
/// fm* call and control call on the bench (so calls from the driver's worker
/// and host threads are serialised and traced in call order), the producer
/// while it fills a block. It is released while PostThreadMessageW runs and
/// never held while a thread is joined.
/// Lock order: the generator's lifecycle lock, then `mutex_`, then the
/// backlog's lock, then the trace's.
class Bench
{
public:
    explicit Bench(Backlog& backlog) : backlog_(backlog) {}
    Bench(const Bench&) = delete;
    Bench& operator=(const Bench&) = delete;

    SimMutex& Mutex() const ZORVA_RETURN_CAPABILITY(mutex_) { return mutex_; }

    // The scenario. Load replaces the bench and powers the library off; it
    // ends injected faults and clears the blink and zero records.
    void Load(Scenario scenario, std::string origin, std::string fallbackMessage) ZORVA_REQUIRES(mutex_);
    Scenario CurrentScenario() const ZORVA_REQUIRES(mutex_);
    std::string Origin() const ZORVA_REQUIRES(mutex_);
    std::string FallbackMessage() const ZORVA_REQUIRES(mutex_);
    bool SetPlugged(int unit, bool plugged) ZORVA_REQUIRES(mutex_);
    bool SetLoad(int unit, const LoadProfile& load) ZORVA_REQUIRES(mutex_);
    bool SetTrigger(int unit, const TriggerProfile& trigger) ZORVA_REQUIRES(mutex_);
    bool InjectBlockFault(BlockFault fault, int blocks) ZORVA_REQUIRES(mutex_);

    // The library, as the fm* calls change it; each returns what its call
    // returns. Power-on state: as before fmDLLInit.
    void PowerOff() ZORVA_REQUIRES(mutex_);
    void Init() ZORVA_REQUIRES(mutex_);
    int PollInitComplete() ZORVA_REQUIRES(mutex_);
    int SetupCheck() const ZORVA_REQUIRES(mutex_);
    void SetPacketSize(int size) ZORVA_REQUIRES(mutex_) { packetSize_ = size; }
    void SetRunMode(int mode) ZORVA_REQUIRES(mutex_) { runMode_ = mode; }
    void SetDataFormat(int format) ZORVA_REQUIRES(mutex_) { dataFormat_ = format; }
    void SetGenlock(bool on) ZORVA_REQUIRES(mutex_) { genlock_ = on; }
    void SetPosting(bool on) ZORVA_REQUIRES(mutex_);
    void SetThreadId(std::uint32_t threadId) ZORVA_REQUIRES(mutex_);
    /// fmBroadcastResetSoftware: the sample clock restarts, the backlog empties.
    void ResetSoftware() ZORVA_REQUIRES(mutex_);
    int Start() ZORVA_REQUIRES(mutex_);
    void Stop() ZORVA_REQUIRES(mutex_) { acquiring_ = false; }
    int Zero() ZORVA_REQUIRES(mutex_);
    int SetRate(int rate) ZORVA_REQUIRES(mutex_);
    int DeviceCount() const ZORVA_REQUIRES(mutex_);
    int SelectDevice(int index) ZORVA_REQUIRES(mutex_);
    int ProductType() const ZORVA_REQUIRES(mutex_);
    int GetText(TextField field, char* text) const ZORVA_REQUIRES(mutex_);
    int GetOffsets(float* offsets) const ZORVA_REQUIRES(mutex_);
    int GetLengthAndWidth(char* length, char* width) const ZORVA_REQUIRES(mutex_);
    int Blink() ZORVA_REQUIRES(mutex_);
    int CheckCelvo(int* indices) const ZORVA_REQUIRES(mutex_);
    int DownloadCalFile() ZORVA_REQUIRES(mutex_);
    int IsDownloadComplete() ZORVA_REQUIRES(mutex_);
    LibraryState State() const ZORVA_REQUIRES(mutex_);

    // The data path.
    /// All that block production needs: started after a completed start-up,
    /// posting on, a thread, a unit.
    bool CanProduce() const ZORVA_REQUIRES(mutex_);
    int Rate() const ZORVA_REQUIRES(mutex_) { return rate_; }
    /// Datasets per second the hardware really measures at: the rate with
    /// the scenario's clock error.
    double ClockRate() const ZORVA_REQUIRES(mutex_) { return rate_ * (1.0 + scenario_.clockPpm * 1e-6); }
    /// Counts a block the hardware measured; true when it is one the
    /// scenario loses on the way (lost_block_every): its samples are to pass
    /// (SkipSamples), not to be made.
    bool NextBlockLost() ZORVA_REQUIRES(mutex_);
    std::uint32_t ThreadId() const ZORVA_REQUIRES(mutex_) { return threadId_; }
    /// The scenario's backlog, blocks.
    std::size_t BacklogBlocks() const ZORVA_REQUIRES(mutex_);
    /// Writes the next block (16 sample sets of the enumerated units) to
    /// `block` and advances the sample clock past it and any skipped blocks.
    /// Returns how many times the block is to be repeated (injected faults).
    int FillBlock(float* block) ZORVA_REQUIRES(mutex_);
    /// Samples the hardware measured that no block will hold (a FIFO that
    /// overflowed while nobody read it): the sample clock passes them.
    void SkipSamples(std::uint64_t samples) ZORVA_REQUIRES(mutex_);
    std::uint64_t SampleClock() const ZORVA_REQUIRES(mutex_) { return sampleClock_; }
    /// fmBroadcastStart calls that started acquisition, ever.
    std::uint64_t Starts() const ZORVA_REQUIRES(mutex_) { return starts_; }
    /// Fy of every record carries its sample's clock (zorvasim::SetClockEcho).
    void SetClockEcho(bool on) ZORVA_REQUIRES(mutex_) { clockEcho_ = on; }

private:
    struct Download
    {
        bool active = false;
        std::size_t unit = 0; // scenario position
        std::size_t polls = 0;
    };

    const UnitSpec* Selected() const ZORVA_REQUIRES(mutex_);
    std::size_t BlockFloats() const ZORVA_REQUIRES(mutex_);

    Backlog& backlog_;
    mutable SimMutex mutex_ ZORVA_ACQUIRED_BEFORE(backlog_.Mutex());

    Scenario scenario_ ZORVA_GUARDED_BY(mutex_);
    std::string origin_ ZORVA_GUARDED_BY(mutex_);
    std::string fallbackMessage_ ZORVA_GUARDED_BY(mutex_);

    // Library state, as the plugin set it.
    bool initialised_ ZORVA_GUARDED_BY(mutex_) = false;
    bool initComplete_ ZORVA_GUARDED_BY(mutex_) = false;
    int initPolls_ ZORVA_GUARDED_BY(mutex_) = 0;
    bool acquiring_ ZORVA_GUARDED_BY(mutex_) = false;
    int rate_ ZORVA_GUARDED_BY(mutex_) = 1000;
    bool genlock_ ZORVA_GUARDED_BY(mutex_) = false;
    int runMode_ ZORVA_GUARDED_BY(mutex_) = 0;
    int packetSize_ ZORVA_GUARDED_BY(mutex_) = 0;
    int dataFormat_ ZORVA_GUARDED_BY(mutex_) = 0;
    bool posting_ ZORVA_GUARDED_BY(mutex_) = false;
    std::uint32_t threadId_ ZORVA_GUARDED_BY(mutex_) = 0;
    int selected_ ZORVA_GUARDED_BY(mutex_) = -1;
    std::vector<std::size_t> enumerated_ ZORVA_GUARDED_BY(mutex_);    // device index -> scenario position
    std::vector<std::array<float, 6>> zero_ ZORVA_GUARDED_BY(mutex_); // per device index
    std::vector<int> blinks_ ZORVA_GUARDED_BY(mutex_);                // per scenario position
    int zeroCount_ ZORVA_GUARDED_BY(mutex_) = 0;
    std::uint64_t sampleClock_ ZORVA_GUARDED_BY(mutex_) = 0;
    Download download_ ZORVA_GUARDED_BY(mutex_);

    // Faults injected in the block stream.
    int repeatsPending_ ZORVA_GUARDED_BY(mutex_) = 0;
    int skipsPending_ ZORVA_GUARDED_BY(mutex_) = 0;
    std::uint64_t counterBack_ ZORVA_GUARDED_BY(mutex_) = 0; // samples the counter runs behind the clock
    bool clockEcho_ ZORVA_GUARDED_BY(mutex_) = false;
    std::uint64_t starts_ ZORVA_GUARDED_BY(mutex_) = 0;
    int inits_ ZORVA_GUARDED_BY(mutex_) = 0;                    // fmDLLInit calls since the scenario was loaded
    std::uint64_t blocksMeasured_ ZORVA_GUARDED_BY(mutex_) = 0; // since the last fmDLLInit
};

} // namespace detail
} // namespace zorvasim
