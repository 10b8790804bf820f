/// What a capture recorded, per plate: the CSV file and the summary.
#pragma once

#include "devhost/RecordingHost.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace zorvahost {

/// The samples one plate device handed the host.
struct PlateRecording
{
    std::string name;       ///< the instance name the host knows it by
    std::string definition; ///< the definition it was instantiated from
    double sizeX = 0.0;     ///< metres, from the definition
    double sizeY = 0.0;
    bool connected = false; ///< "Connected" at the end of the capture
    std::vector<PushedBlock> blocks;
};

/// Values per sample in a pushed block: Fx Fy Fz, Mx My Mz, Cx Cy Cz.
constexpr std::size_t kValuesPerSample = 9;

/// The CSV header line (without the line end).
std::string CsvHeader();

/// A text as a CSV field: quoted when it holds a comma, a quote or a line end.
std::string CsvField(const std::string& text);

/// Writes the header and one row per sample and plate (plates in order, each
/// plate's samples as pushed). `rate` in datasets per second gives time_s
/// (sample / rate); 0 leaves time_s empty. False when writing failed.
bool WriteCsv(std::FILE* file, const std::vector<PlateRecording>& plates, unsigned int rate);

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
    std::vector<SampleRun> runs;
};

PlateSummary Summarise(const std::vector<PushedBlock>& blocks);

/// "266..1001" or "266..1001, 2400..3015".
std::string RunsText(const std::vector<SampleRun>& runs);

} // namespace zorvahost
