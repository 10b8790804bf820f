#include "devhost/engine/selftest/SelfTestMeasures.h"

#include <algorithm>
#include <cmath>

namespace zorvahost {

namespace {

/// A stretch of blocks whose sample numbers follow one another.
typedef std::vector<const BlockArrival*> Run;

std::vector<Run> Runs(const std::vector<BlockArrival>& blocks)
{
    std::vector<Run> runs;
    const BlockArrival* previous = nullptr;
    for (const BlockArrival& block : blocks) {
        if (!previous || block.frame != previous->frame + previous->samples)
            runs.emplace_back();
        runs.back().push_back(&block);
        previous = &block;
    }
    return runs;
}

struct Fit
{
    bool ok = false;
    double slope = 0.0; ///< host seconds per nominal second
    double standardError = 0.0;
    std::size_t points = 0;
    /// Each run's mean sample time and arrival time over its kept blocks;
    /// `fitted` false for a run with fewer than two.
    struct RunMean
    {
        bool fitted = false;
        double x = 0.0, y = 0.0;
    };
    std::vector<RunMean> means;
};

/// When the block's last sample was measured, in nominal seconds.
double SampleTime(const BlockArrival& block, double rate)
{
    return static_cast<double>(block.frame + block.samples) / rate;
}

/// Least squares of the arrival times against the sample times, one slope
/// for every run and an intercept each; `keep` says which blocks take part.
Fit FitRuns(const std::vector<Run>& runs, double rate, const std::vector<std::vector<bool>>& keep)
{
    Fit fit;
    double sxx = 0.0, sxy = 0.0;
    std::size_t points = 0, groups = 0;
    fit.means.resize(runs.size());
    for (std::size_t r = 0; r < runs.size(); ++r) {
        double mx = 0.0, my = 0.0;
        std::size_t n = 0;
        for (std::size_t i = 0; i < runs[r].size(); ++i) {
            if (!keep[r][i])
                continue;
            mx += SampleTime(*runs[r][i], rate);
            my += runs[r][i]->hostTime;
            ++n;
        }
        if (n < 2)
            continue;
        mx /= static_cast<double>(n);
        my /= static_cast<double>(n);
        fit.means[r] = {true, mx, my};
        for (std::size_t i = 0; i < runs[r].size(); ++i) {
            if (!keep[r][i])
                continue;
            const double dx = SampleTime(*runs[r][i], rate) - mx;
            sxx += dx * dx;
            sxy += dx * (runs[r][i]->hostTime - my);
        }
        points += n;
        ++groups;
    }
    if (groups == 0 || points < groups + 2 || !(sxx > 0.0))
        return fit;
    fit.slope = sxy / sxx;
    double residuals = 0.0;
    for (std::size_t r = 0; r < runs.size(); ++r) {
        if (!fit.means[r].fitted)
            continue;
        for (std::size_t i = 0; i < runs[r].size(); ++i) {
            if (!keep[r][i])
                continue;
            const double x = SampleTime(*runs[r][i], rate) - fit.means[r].x;
            const double e = runs[r][i]->hostTime - fit.means[r].y - fit.slope * x;
            residuals += e * e;
        }
    }
    fit.standardError = std::sqrt(residuals / static_cast<double>(points - groups - 1) / sxx);
    fit.points = points;
    fit.ok = fit.slope > 0.0;
    return fit;
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    const std::size_t middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle), values.end());
    return values[middle];
}

} // namespace

const char* ChannelName(int channel)
{
    static const char* const names[ChannelCount] = {"Fx", "Fy", "Fz", "Mx", "My", "Mz", "CoPx", "CoPy"};
    return channel >= 0 && channel < ChannelCount ? names[channel] : "?";
}

const char* ChannelUnit(int channel)
{
    if (channel >= ChannelFx && channel <= ChannelFz)
        return "N";
    if (channel >= ChannelMx && channel <= ChannelMz)
        return "N m";
    return "m";
}

void ChannelStats::Add(const float* sample)
{
    ++count_;
    for (std::size_t c = 0; c < ChannelCount; ++c) {
        const double value = sample[c];
        const double delta = value - mean_[c];
        mean_[c] += delta / static_cast<double>(count_);
        squares_[c] += delta * (value - mean_[c]);
    }
}

double ChannelStats::Deviation(int channel) const
{
    if (count_ < 2)
        return 0.0;
    return std::sqrt(squares_[static_cast<std::size_t>(channel)] / static_cast<double>(count_ - 1));
}

Continuity MeasureContinuity(const std::vector<BlockArrival>& blocks)
{
    Continuity c;
    const BlockArrival* previous = nullptr;
    for (const BlockArrival& block : blocks) {
        ++c.blocks;
        c.samples += static_cast<std::size_t>(std::max(block.samples, 0));
        if (previous) {
            const std::int64_t expected = previous->frame + previous->samples;
            if (block.frame > expected) {
                c.lostSamples += block.frame - expected;
                ++c.gaps;
            } else if (block.frame < expected) {
                c.repeatedSamples += expected - block.frame;
                ++c.stepsBack;
            }
        }
        previous = &block;
    }
    return c;
}

RateEstimate EstimateRate(const std::vector<BlockArrival>& blocks, double nominalRate)
{
    RateEstimate estimate;
    if (!(nominalRate > 0.0))
        return estimate;
    const std::vector<Run> runs = Runs(blocks);
    std::vector<std::vector<bool>> keep;
    for (const Run& run : runs)
        keep.emplace_back(run.size(), true);
    Fit fit = FitRuns(runs, nominalRate, keep);
    if (!fit.ok)
        return estimate;
    // A busy host takes some blocks late, never early: set aside those far
    // above the line (beyond five robust deviations, at least a millisecond),
    // then fit again.
    for (int pass = 0; pass < 2; ++pass) {
        std::vector<double> residuals;
        std::vector<std::vector<double>> byRun(runs.size());
        for (std::size_t r = 0; r < runs.size(); ++r) {
            byRun[r].assign(runs[r].size(), 0.0);
            const Fit::RunMean& mean = fit.means[r];
            if (!mean.fitted)
                continue;
            for (std::size_t i = 0; i < runs[r].size(); ++i) {
                const double x = SampleTime(*runs[r][i], nominalRate) - mean.x;
                byRun[r][i] = runs[r][i]->hostTime - mean.y - fit.slope * x;
                if (keep[r][i])
                    residuals.push_back(byRun[r][i]);
            }
        }
        const double middle = Median(residuals);
        std::vector<double> spread;
        for (double e : residuals)
            spread.push_back(std::fabs(e - middle));
        const double limit = middle + std::max(5.0 * 1.4826 * Median(spread), 0.001);
        bool dropped = false;
        for (std::size_t r = 0; r < runs.size(); ++r) {
            for (std::size_t i = 0; i < runs[r].size(); ++i) {
                if (keep[r][i] && byRun[r][i] > limit) {
                    keep[r][i] = false;
                    dropped = true;
                }
            }
        }
        if (!dropped)
            break;
        const Fit refit = FitRuns(runs, nominalRate, keep);
        if (!refit.ok)
            break;
        fit = refit;
    }
    estimate.measured = true;
    estimate.rate = nominalRate / fit.slope;
    estimate.ppm = (1.0 / fit.slope - 1.0) * 1e6;
    estimate.uncertaintyPpm = 2.0 * fit.standardError / (fit.slope * fit.slope) * 1e6;
    estimate.blocksUsed = fit.points;
    return estimate;
}

RateJudgement JudgeRate(const RateEstimate& estimate, double limitPpm)
{
    const double deviation = std::fabs(estimate.ppm);
    if (!(estimate.uncertaintyPpm <= limitPpm))
        return deviation - estimate.uncertaintyPpm > limitPpm ? RateJudgement::Outside : RateJudgement::TooScattered;
    if (deviation <= limitPpm)
        return RateJudgement::Within;
    return deviation - estimate.uncertaintyPpm <= limitPpm ? RateJudgement::WithinScatter : RateJudgement::Outside;
}

double Distance(double x1, double y1, double x2, double y2) { return std::hypot(x2 - x1, y2 - y1); }

} // namespace zorvahost
