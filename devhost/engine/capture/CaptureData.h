/// What a capture records, block by block as the plates push them: the CSV
/// file's rows and each plate's running figures for the summary. Nothing
/// grows with the capture's length but the file.
#pragma once

#include "driver/BlockLayout.h"
#include "hostkit/Host.h"

#include <cstdint>
#include <atomic>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zorvahost {

/// Values per sample in a pushed block: Fx Fy Fz, Mx My Mz, Cx Cy Cz.
constexpr std::size_t kValuesPerSample = ZORVA::BlockLayout::ValuesPerSample;

/// The CSV header line (without the line end).
std::string CsvHeader();

/// A text as a CSV field: quoted when it holds a comma, a quote or a line end.
std::string CsvField(const std::string& text);

/// The capture's CSV file: the header, then one row per sample of each block
/// in the order the blocks are written.
/// Threads: one at a time.
class CsvWriter
{
public:
    /// Writes the header into `file`, which stays the caller's to close.
    explicit CsvWriter(std::FILE* file);
    /// The rows of one block of plate `plate` (its instance name) whose first
    /// sample is `frame`; `rate` in datasets per second gives time_s (sample /
    /// rate), 0 leaves it empty.
    void Write(const std::string& plate, std::int64_t frame, const float* values, std::size_t valueCount,
               unsigned int rate);
    /// Flushes; false when any write failed.
    bool Finish();

private:
    std::FILE* file_;
    std::string lastPlate_;
    std::string lastField_; ///< CsvField(lastPlate_), made once per plate change
};

/// Sample numbers that follow one another without a gap or a step back.
struct SampleRun
{
    std::int64_t first = 0;
    std::int64_t last = 0;
};

struct PlateSummary
{
    std::size_t blocks = 0;
    std::size_t samples = 0;
    std::size_t loaded = 0; ///< samples above the Fz threshold (not blanked)
    double meanFz = 0.0;    ///< over the loaded samples, N
    double meanCopX = 0.0;  ///< m
    double meanCopY = 0.0;
    /// One per stretch of continuous sample numbers: grows with re-armings
    /// and lost blocks, not with the capture's length.
    std::vector<SampleRun> runs;
};

/// A plate's summary as running figures, block by block.
class RunningSummary
{
public:
    void Add(std::int64_t frame, const float* values, std::size_t valueCount);
    PlateSummary Summary() const;

private:
    PlateSummary summary_;
    double fz_ = 0.0, cx_ = 0.0, cy_ = 0.0;
};

/// The samples as the plates push them, on the plugin's thread: rows into the
/// CSV file (when one is written) and each plate's running figures. Memory
/// stays the same however long the capture runs.
/// Threads: Add on the plugin's threads, the rest on the main thread; `mutex_`
/// guards the writer and the figures. A block that could not be kept (out of
/// memory) marks the samples failed, from any thread.
class CapturedSamples
{
public:
    /// Writes into `csv` unless it is null.
    explicit CapturedSamples(std::FILE* csv)
    {
        hostkit::Lock lock(mutex_);
        if (csv)
            writer_.reset(new CsvWriter(csv));
    }

    /// Datasets per second of the arming in force: time_s of the rows that follow.
    void SetRate(unsigned int rate) { rate_ = rate; }

    /// The host's sample sink; nothing escapes into the plugin.
    void Add(hostkit::Instance& plate, const hostkit::SampleBlock& block) noexcept
    {
        try {
            hostkit::Lock lock(mutex_);
            const std::size_t count = static_cast<std::size_t>(block.valueCount);
            summaries_[plate.DeviceName()].Add(block.frame, block.values, count);
            if (writer_)
                writer_->Write(plate.DeviceName(), block.frame, block.values, count, rate_);
        } catch (...) {
            failed_ = true;
        }
    }

    PlateSummary SummaryOf(const std::string& plate) const
    {
        hostkit::Lock lock(mutex_);
        const auto it = summaries_.find(plate);
        return it == summaries_.end() ? PlateSummary() : it->second.Summary();
    }

    /// Flushes the CSV file; false when a row could not be written. Call once
    /// no more blocks come.
    bool Finish()
    {
        hostkit::Lock lock(mutex_);
        return !failed_ && (!writer_ || writer_->Finish());
    }

private:
    mutable hostkit::Mutex mutex_;
    std::unique_ptr<CsvWriter> writer_ ZORVA_GUARDED_BY(mutex_);
    std::map<std::string, RunningSummary> summaries_ ZORVA_GUARDED_BY(mutex_);
    std::atomic<bool> failed_{false};
    std::atomic<unsigned int> rate_{0};
};

/// "266..1001" or "266..1001, 2400..3015".
std::string RunsText(const std::vector<SampleRun>& runs);

} // namespace zorvahost
