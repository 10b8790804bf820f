#include "devhost/live/Decimator.h"

#include "driver/BlockLayout.h"

#include <algorithm>
#include <cmath>

namespace zorvahost {
namespace live {

namespace {

constexpr int kValues = ZORVA::BlockLayout::ValuesPerSample; // Fx Fy Fz Mx My Mz Cx Cy Cz
static_assert(kKeptColumns >= kWindowColumns, "the window fits");

} // namespace

Decimator::Track* Decimator::Find(const std::string& plate)
{
    for (const std::unique_ptr<Track>& track : tracks_) {
        if (track->key == &plate || track->name == plate) {
            track->key = &plate;
            return track.get();
        }
    }
    // A plate's first block: the one allocation of the data path.
    std::unique_ptr<Track> track(new Track());
    track->key = &plate;
    track->name = plate;
    tracks_.push_back(std::move(track));
    return tracks_.back().get();
}

void Decimator::Add(Track& track, double time, const float* sample)
{
    for (int i = 0; i < 3; ++i) {
        if (!std::isfinite(sample[i]))
            return;
    }
    time = std::max(time, track.lastSample);
    track.lastSample = time;
    const std::int64_t index = static_cast<std::int64_t>(std::floor(time / kColumnSeconds));
    if (!track.any || index > track.newest) {
        // Columns without samples in between stay empty; at most the kept ones are cleared.
        const std::int64_t first = track.any ? std::max(track.newest + 1, index - kColumnMask) : index;
        for (std::int64_t c = first; c <= index; ++c) {
            Column& column = track.ring[c & kColumnMask];
            column = Column();
            column.index = c;
        }
        if (!track.any)
            track.changedFrom = index;
        track.newest = index;
        track.any = true;
    } else if (index <= track.newest - kKeptColumns) {
        return; // older than what the plate keeps
    }
    Column& column = track.ring[index & kColumnMask];
    if (column.samples == 0) {
        for (int i = 0; i < 3; ++i)
            column.min[i] = column.max[i] = sample[i];
    }
    ++column.samples;
    for (int i = 0; i < 3; ++i) {
        column.min[i] = std::min(column.min[i], sample[i]);
        column.max[i] = std::max(column.max[i], sample[i]);
        column.sum[i] += sample[i];
    }
    // A blanked sample (Fz at or below the threshold) has no centre of pressure.
    if (sample[2] != 0.0f && std::isfinite(sample[6]) && std::isfinite(sample[7])) {
        ++column.loaded;
        column.copSum[0] += sample[6];
        column.copSum[1] += sample[7];
    }
    if (!track.changed || index < track.changedFrom)
        track.changedFrom = index;
    track.changed = true;
}

void Decimator::OnBlock(const std::string& plate, const hostkit::SampleBlock& block, unsigned int rate) noexcept
{
    if (!block.values || block.valueCount < kValues)
        return;
    const int samples = block.valueCount / kValues;
    const double step = rate > 0 ? 1.0 / rate : 0.0;
    try {
        ZORVA::ScopedLock<Mutex> lock(mutex_);
        Track& track = *Find(plate);
        ++track.blocks;
        track.lastBlock = block.hostTime;
        if (track.oldestPending < 0.0)
            track.oldestPending = block.hostTime;
        for (int s = 0; s < samples; ++s)
            Add(track, block.hostTime - (samples - 1 - s) * step, block.values + static_cast<std::size_t>(s) * kValues);
    } catch (...) {
        // Out of memory for a new plate: its block is not shown.
    }
}

void Decimator::TakeChanges(std::vector<PlateChanges>& out)
{
    out.clear();
    ZORVA::ScopedLock<Mutex> lock(mutex_);
    for (const std::unique_ptr<Track>& owned : tracks_) {
        Track& track = *owned;
        if (!track.changed)
            continue;
        PlateChanges changes;
        changes.plate = track.name;
        changes.blocks = track.blocks;
        changes.lastBlock = track.lastBlock;
        changes.oldestPending = track.oldestPending;
        const std::int64_t from = std::max(track.changedFrom, track.newest - kColumnMask);
        changes.columns.reserve(static_cast<std::size_t>(track.newest - from + 1));
        for (std::int64_t c = from; c <= track.newest; ++c)
            changes.columns.push_back(track.ring[c & kColumnMask]);
        track.changed = false;
        track.oldestPending = -1.0;
        out.push_back(std::move(changes));
    }
}

} // namespace live
} // namespace zorvahost
