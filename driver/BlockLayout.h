/// The layout of a library block, for every reader of one: the data path, the
/// tests and the benchmark. The numbers are the library's
/// (driver/ZORVAUSBDevice.h); what the plugin pushes per sample is ours.
#pragma once

#include "driver/ZORVAUSBDevice.h"

#include <cstddef>
#include <cstdint>

namespace ZORVA {
namespace BlockLayout {

/// Sample sets per block, for every unit.
constexpr int SamplesPerBlock = ZORVA_USB_SAMPLES_PER_BLOCK;
/// Floats in one unit's record of one sample set.
constexpr int FloatsPerRecord = ZORVA_USB_FLOATS_PER_RECORD;
/// The record's fields, in order.
enum Field
{
    Counter = 0,
    Fx = 1,
    Fy = 2,
    Fz = 3,
    Mx = 4,
    My = 5,
    Mz = 6,
    Trigger = 7
};
/// The sample counter wraps to 0 here (2^24).
constexpr std::int64_t CounterModulus = ZORVA_USB_COUNTER_MODULUS;

/// Floats in a block of `units` units.
constexpr std::size_t BlockFloats(unsigned int units)
{
    return static_cast<std::size_t>(SamplesPerBlock) * units * FloatsPerRecord;
}

/// Where unit `unit`'s record of sample set `sample` starts, in floats, in a
/// block of `units` units: sample sets one after another, units in device-index
/// order within each.
constexpr std::size_t RecordOffset(int sample, unsigned int unit, unsigned int units)
{
    return (static_cast<std::size_t>(sample) * units + unit) * FloatsPerRecord;
}

/// Values the plugin pushes per sample: Fx Fy Fz, Mx My Mz (N, N m), CoPx CoPy
/// CoPz (m, CoPz always 0).
constexpr int ValuesPerSample = 9;

} // namespace BlockLayout
} // namespace ZORVA
