// The data path: library block -> aligned sample numbers -> force, moment and
// centre of pressure per plate -> PushSamples. Runs on the driver's worker,
// allocates nothing and reads the library's block in place.
#include "VSharedConfigDevice.h"
#include "VZORVATrelDevice.h"
#include "Vector3.h"

#include "driver/BlockLayout.h"
#include "host/HostResultHandle.h"
#include "devices/Guarded.h"
#include "contract/Log.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace ZORVA {

using namespace MoldraDigitalDevice;

namespace {

using BlockLayout::CounterModulus;
using BlockLayout::RecordOffset;
using BlockLayout::SamplesPerBlock;
using BlockLayout::ValuesPerSample;
/// Half the counter's range: a step forward by less is a step forward (across
/// 0 a wrap-around), anything else a step back. Blocks lost in between do not
/// make a wrap look like a step back unless an hour or more is missing.
const std::int64_t HalfCounterRange = CounterModulus / 2;

/// A counter or a sample count truncated to an integer. A corrupt block or
/// host time must not make the conversion undefined: no number counts as 0,
/// and magnitudes are held to 2^53, so the frame sums cannot overflow either.
std::int64_t ToSampleNumber(double value)
{
    const double limit = 9007199254740992.0; // 2^53
    if (std::isnan(value))
        return 0;
    if (value > limit)
        return static_cast<std::int64_t>(limit);
    if (value < -limit)
        return -static_cast<std::int64_t>(limit);
    return static_cast<std::int64_t>(value);
}

void Store(float* out, const Vector3& v)
{
    out[0] = v.x;
    out[1] = v.y;
    out[2] = v.z;
}

} // namespace

void PendingPush::Push()
{
    if (!services)
        return;
    IDeviceHost* const to = services;
    services = nullptr;
    // Told even when the host throws: an Arm waits for it.
    struct Finished
    {
        VZORVATrelDevice* plate;
        ~Finished()
        {
            if (plate)
                plate->PushFinished();
        }
    } finished{plate};
    HostResultHandle(
        to->PushSamples(stream, frame, SamplesPerBlock, outputs, 3, values, SamplesPerBlock * ValuesPerSample));
}

void VSharedConfigDevice::OnDataReady(float* block)
{
    Guarded(host, "OnDataReady", [&] { TransferToPlates(block); });
}

bool VSharedConfigDevice::Align(const float* block)
{
    const unsigned int n = deviceCount;
    std::int64_t offset = 0;
    if (syncMode == SyncMode::HardwareTrigger) {
        // The trigger input's marker value marks host sample 0. Unsupported
        // units have no marker, so only existing markers are read.
        bool found = false;
        const std::size_t markers = std::min<std::size_t>(n, triggerMarkers.size());
        for (std::size_t k = 0; k < markers; ++k) {
            const float marker = static_cast<float>(triggerMarkers[k]);
            for (int s = 0; s < SamplesPerBlock; ++s) {
                const float* record = block + RecordOffset(s, static_cast<unsigned int>(k), n);
                if (record[BlockLayout::Trigger] == marker) {
                    offset = ToSampleNumber(record[BlockLayout::Counter]);
                    found = true;
                    break;
                }
            }
        }
        if (!found)
            return false;
    } else if (startTimeSet) {
        // A block that arrives after StartCapture is not from before the
        // capture's start, whatever a host clock that runs backwards says.
        const double elapsed = host ? std::max(0.0, host->GetTime() - startTime) : 0.0;
        offset = ToSampleNumber(block[0]) - ToSampleNumber(sampleRate * elapsed);
    } else {
        return false; // not yet alignable: dropped
    }
    for (const boost::shared_ptr<VZORVATrelDevice>& plate : plates)
        plate->SetStartOffset(offset);
    synchronised = true;
    return true;
}

void VSharedConfigDevice::TransferToPlates(float* block)
{
    std::size_t prepared = 0;
    {
        MutexLock lock(mutex);
        if (!block) {
            Log(host, LogLevel::Warning, "Transfer data called with null pointer");
            return;
        }
        // The driver has not yet reported the restart the latest Arm asked
        // for: this block was measured before it, for no capture.
        if (restartPending)
            return;
        if (!synchronised && !Align(block))
            return;
        // A capture runs, or genlock, whose sample numbers are the counters themselves.
        const bool captureOpen = state != DeviceState::Stopped || syncMode == SyncMode::Genlock;
        prepared = std::min(plates.size(), pushes.size());
        for (std::size_t i = 0; i < prepared; ++i)
            plates[i]->PrepareBlock(block, deviceCount, captureOpen, capture, captureRate, pushes[i]);
    }
    // Unlocked, in the plates' order: the host may call back into any device
    // from inside PushSamples.
    for (std::size_t i = 0; i < prepared; ++i)
        pushes[i].Push();
}

void VZORVATrelDevice::TransferBlock(const float* block, unsigned int n, bool captureOpen)
{
    PendingPush push;
    PrepareBlock(block, n, captureOpen, AnyCapture, 0, push);
    push.Push();
}

void VZORVATrelDevice::PrepareBlock(const float* block, unsigned int n, bool captureOpen, CaptureNumber capture,
                                    unsigned int captureRate, PendingPush& out)
{
    out.services = nullptr;
    MutexLock lock(mutex);
    if (!services || !block)
        return;
    // A plate whose index lies outside the block has no records in it.
    if (deviceIndex < 0 || static_cast<unsigned int>(deviceIndex) >= n)
        return;
    if (newStream) {
        // Blocks still flow after Disarm, aligned for the last capture: a
        // stream armed since starts with the capture it was armed for, not
        // with one whose blocks the plate's previous stream took.
        if (!captureOpen || (capture != AnyCapture && capture < firstCapture))
            return;
        newStream = false;
        if (capture != AnyCapture)
            streamCapture = capture;
    }
    // The units run at another rate than the host was told for this stream
    // (the shared device's Arm chose another one after the plate's): the
    // samples' numbers would stand for other times. The stream counts as
    // having taken the capture, so the stream of the re-arming the host is
    // asked for starts with the next one.
    if (captureRate != 0 && declaredRate != 0 && declaredRate != captureRate) {
        if (!rateMismatchLogged) {
            rateMismatchLogged = true;
            Log(host, LogLevel::Warning,
                boost::format("%s was armed at %d per second and the units run %d; its samples wait for the "
                              "host to re-arm") %
                    name % declaredRate % captureRate);
        }
        return;
    }

    float* const values = out.values;
    std::fill(values, values + SamplesPerBlock * ValuesPerSample, 0.0f);
    // Metres, with the signs the formulas need.
    const Vector3 sensorOrigin{origin[0], origin[1], origin[2]};
    for (int s = 0; s < SamplesPerBlock; ++s) {
        const float* r = block + RecordOffset(s, static_cast<unsigned int>(deviceIndex), n);
        float* v = values + s * ValuesPerSample;
        const Vector3 force{r[BlockLayout::Fx], r[BlockLayout::Fy], r[BlockLayout::Fz]};
        const Vector3 moment{r[BlockLayout::Mx], r[BlockLayout::My], r[BlockLayout::Mz]};
        // No vertical force has no centre of pressure, whatever threshold the host set.
        if (std::fabs(static_cast<double>(force.z)) > dataThreshold && force.z != 0.0f) {
            // The moment about the plate origin.
            const Vector3 plateMoment = moment + Cross(sensorOrigin, force);
            const float cx = sensorOrigin.x - (sensorOrigin.z * force.x + moment.y) / force.z;
            const float cy = (moment.x - sensorOrigin.z * force.y) / force.z + sensorOrigin.y;
            // The conditioner's axes turned half a turn about Y: X and Z change sign.
            Store(v, TurnedAboutY(force));
            Store(v + 3, TurnedAboutY(plateMoment));
            v[6] = -cx;
            v[7] = cy;
            v[8] = 0.0f; // on the surface
        }
    }

    const std::int64_t counter =
        ToSampleNumber(block[RecordOffset(0, static_cast<unsigned int>(deviceIndex), n) + BlockLayout::Counter]);
    if (lastCounter >= 0) {
        // The step since the last block, taken modulo 2^24 into
        // [-2^23, 2^23): a wrap-around is a small step forward across 0; a
        // repeated block or a counter that stepped back is a step of 0 or
        // less, whose sample numbers go back with it.
        std::int64_t step = (counter - lastCounter) % CounterModulus;
        if (step >= HalfCounterRange)
            step -= CounterModulus;
        else if (step < -HalfCounterRange)
            step += CounterModulus;
        if (step > 0 && counter < lastCounter)
            wrapOffset += CounterModulus;
        else if (step < 0 && counter > lastCounter)
            wrapOffset -= CounterModulus;
        if (step <= 0 && host) {
            // snprintf: the data path allocates nothing, not even for this.
            char text[160];
            std::snprintf(text, sizeof text,
                          "Sample counter of device %d went from %lld to %lld: a repeated block or a step back",
                          deviceIndex, static_cast<long long>(lastCounter), static_cast<long long>(counter));
            Log(host, LogLevel::Warning, text);
        }
    }
    lastCounter = counter;
    out.frame = wrapOffset - startOffset + counter;
    out.stream = streamHandle;
    out.outputs = outputIndices.data();
    out.services = services;
    out.plate = this;
    pushInFlight = true;
    pushThread = GetCurrentThreadId();
}

} // namespace ZORVA
