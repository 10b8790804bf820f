/// The self-test's measurements, from what the plates pushed: running
/// statistics of each channel, the continuity of the sample numbers, and the
/// achieved acquisition rate against the host's clock. Plain functions of
/// their inputs; the self-test (SelfTest.h) collects the inputs.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zorvahost {

/// Channels of a pushed sample the self-test looks at, in block order.
enum Channel
{
    ChannelFx,
    ChannelFy,
    ChannelFz,
    ChannelMx,
    ChannelMy,
    ChannelMz,
    ChannelCopX,
    ChannelCopY,
    ChannelCount
};

/// "Fx", "Mz", "CoPx", ...
const char* ChannelName(int channel);
/// "N", "N m" or "m".
const char* ChannelUnit(int channel);

/// Mean and standard deviation of each channel, sample by sample (Welford's
/// method: no sum of squares that loses its precision over a long window).
class ChannelStats
{
public:
    void Add(const float* sample); ///< ChannelCount values
    std::size_t Count() const { return count_; }
    double Mean(int channel) const { return mean_[static_cast<std::size_t>(channel)]; }
    /// The sample standard deviation; 0 below two samples.
    double Deviation(int channel) const;

private:
    std::size_t count_ = 0;
    std::array<double, ChannelCount> mean_{};
    std::array<double, ChannelCount> squares_{};
};

/// One pushed block as the self-test keeps it.
struct BlockArrival
{
    std::int64_t frame = 0; ///< host sample number of its first sample
    int samples = 0;
    double hostTime = 0.0; ///< seconds of the host's clock when it arrived
};

/// Whether the sample numbers of a plate's blocks follow one another.
struct Continuity
{
    std::size_t blocks = 0;
    std::size_t samples = 0;
    std::int64_t lostSamples = 0;     ///< numbers jumped over
    std::int64_t repeatedSamples = 0; ///< numbers that came again (a repeated block, a step back)
    int gaps = 0;
    int stepsBack = 0;
    bool Whole() const { return blocks > 0 && lostSamples == 0 && repeatedSamples == 0; }
};

Continuity MeasureContinuity(const std::vector<BlockArrival>& blocks);

/// The rate the hardware achieved, timed by the host's clock.
struct RateEstimate
{
    bool measured = false; ///< false: too few blocks, or too short a stretch of them
    double rate = 0.0;     ///< datasets per second
    double ppm = 0.0;      ///< parts per million above the nominal rate (negative: below)
    /// About two standard errors of `ppm`, from how the arrivals scatter.
    double uncertaintyPpm = 0.0;
    std::size_t blocksUsed = 0; ///< after the late arrivals were set aside
};

/// Fits the host time of each block's arrival against its last sample's
/// number over the nominal rate. Only blocks that follow one another count
/// (each stretch between lost or repeated blocks is fitted with the common
/// slope), so a lost block does not read as a clock error, and arrivals far
/// later than the others (a busy host) are set aside after a first fit.
RateEstimate EstimateRate(const std::vector<BlockArrival>& blocks, double nominalRate);

/// How a measured rate stands against a limit of +-`limitPpm`, its scatter counted.
enum class RateJudgement
{
    Within,        ///< |ppm| within the limit
    WithinScatter, ///< beyond the limit by less than its own uncertainty: no evidence of a clock error
    Outside,       ///< beyond the limit by more than its uncertainty
    TooScattered,  ///< the uncertainty alone exceeds the limit: the arrivals cannot tell
};

/// A busy computer delivers blocks a millisecond or two late; over a capture
/// of two seconds that reads as hundreds of ppm. Only a deviation beyond the
/// measurement's own scatter is taken as the clock's.
RateJudgement JudgeRate(const RateEstimate& estimate, double limitPpm);

/// The distance between two points, metres.
double Distance(double x1, double y1, double x2, double y2);

} // namespace zorvahost
