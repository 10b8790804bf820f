/// The plates' samples reduced for the screen as they are pushed: per plate,
/// one column per 20 ms of the host's clock (500 over the page's ten
/// seconds), each with the minimum and maximum of Fx, Fy and Fz over its
/// samples, so a spike of one sample is never lost, their means, and the
/// mean centre of pressure of its loaded samples.
///
/// Threads: OnBlock runs on the plugin's threads (the data path); TakeChanges
/// on the server's thread. `mutex_` guards every plate's columns and is held
/// only to fold one block in or to copy the columns out; the data path
/// allocates nothing but a plate's columns when its first block comes.
#pragma once

#include "devhost/live/LiveSource.h"
#include "win32/ThreadSafety.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zorvahost {
namespace live {

/// Seconds of host time in one column.
constexpr double kColumnSeconds = 0.02;
/// The columns the page shows: ten seconds.
constexpr int kWindowColumns = 500;
/// The columns a plate keeps: the window and a few more (a power of two).
constexpr int kKeptColumns = 512;
/// A column's slot in a plate's ring: its index masked with this.
constexpr std::int64_t kColumnMask = kKeptColumns - 1;
static_assert((kKeptColumns & kColumnMask) == 0, "a power of two");

/// One column of a plate. Minima, maxima and means are of the column's
/// samples; the centre of pressure of those the plugin did not blank (Fz
/// above the threshold).
struct Column
{
    std::int64_t index = 0; ///< floor(host time / kColumnSeconds)
    std::uint32_t samples = 0;
    std::uint32_t loaded = 0;
    float min[3] = {0, 0, 0}; ///< Fx Fy Fz, N
    float max[3] = {0, 0, 0};
    double sum[3] = {0, 0, 0};
    double copSum[2] = {0, 0}; ///< m, over the loaded samples
};

/// A plate's columns that changed since the last TakeChanges, oldest first.
struct PlateChanges
{
    std::string plate;
    std::vector<Column> columns;
    std::uint64_t blocks = 0;    ///< pushed since the session began
    double lastBlock = -1.0;     ///< host time of the latest block; -1 before one
    double oldestPending = -1.0; ///< host time of the first block not handed out before; -1 none
};

class Decimator : public BlockSink
{
public:
    Decimator() = default;
    Decimator(const Decimator&) = delete;
    Decimator& operator=(const Decimator&) = delete;

    /// Folds a block into its plate's columns. Sample s of n is taken at
    /// hostTime - (n - 1 - s) / rate, and never before the plate's last one.
    void OnBlock(const std::string& plate, const hostkit::SampleBlock& block, unsigned int rate) noexcept override;

    /// For every plate with new samples: the columns they touched (within the
    /// kept ones); `out` is filled anew.
    void TakeChanges(std::vector<PlateChanges>& out);

private:
    struct Track
    {
        const std::string* key = nullptr; ///< the session's name object, compared first
        std::string name;
        Column ring[kKeptColumns];
        std::int64_t newest = 0;
        bool any = false;
        std::int64_t changedFrom = 0; ///< oldest column touched since the last take
        bool changed = false;
        double lastSample = -1.0e300;
        std::uint64_t blocks = 0;
        double lastBlock = -1.0;
        double oldestPending = -1.0;
    };

    Track* Find(const std::string& plate) ZORVA_REQUIRES(mutex_);
    static void Add(Track& track, double time, const float* sample);

    typedef ZORVA::AnnotatedMutex<std::mutex> Mutex;
    Mutex mutex_;
    std::vector<std::unique_ptr<Track>> tracks_ ZORVA_GUARDED_BY(mutex_);
};

} // namespace live
} // namespace zorvahost
