#include "devhost/CaptureData.h"

#include <cinttypes>

namespace zorvahost {

namespace {

/// Up to 7 significant digits (a float's precision), "-0" written as "0".
void WriteValue(std::FILE* file, float value) { std::fprintf(file, ",%.7g", static_cast<double>(value) + 0.0); }

} // namespace

std::string CsvHeader() { return "plate,sample,time_s,Fx_N,Fy_N,Fz_N,Mx_Nm,My_Nm,Mz_Nm,CoPx_m,CoPy_m"; }

std::string CsvField(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

bool WriteCsv(std::FILE* file, const std::vector<PlateRecording>& plates, unsigned int rate)
{
    std::fprintf(file, "%s\n", CsvHeader().c_str());
    for (const PlateRecording& plate : plates) {
        const std::string name = CsvField(plate.name);
        for (const PushedBlock& block : plate.blocks) {
            const std::size_t samples = block.values.size() / kValuesPerSample;
            for (std::size_t s = 0; s < samples; ++s) {
                const std::int64_t sample = block.frame + static_cast<std::int64_t>(s);
                std::fprintf(file, "%s,%" PRId64 ",", name.c_str(), sample);
                if (rate > 0)
                    std::fprintf(file, "%.6f", static_cast<double>(sample) / rate);
                const float* v = &block.values[s * kValuesPerSample];
                // Cz (always 0) is left out: the centre of pressure lies on the surface.
                for (int i = 0; i < 8; ++i)
                    WriteValue(file, v[i]);
                std::fputc('\n', file);
            }
        }
    }
    return std::fflush(file) == 0 && !std::ferror(file);
}

PlateSummary Summarise(const std::vector<PushedBlock>& blocks)
{
    PlateSummary summary;
    double fz = 0.0, cx = 0.0, cy = 0.0;
    for (const PushedBlock& block : blocks) {
        const std::size_t samples = block.values.size() / kValuesPerSample;
        if (samples == 0)
            continue;
        ++summary.blocks;
        summary.samples += samples;
        const std::int64_t first = block.frame;
        const std::int64_t last = block.frame + static_cast<std::int64_t>(samples) - 1;
        if (!summary.runs.empty() && summary.runs.back().last + 1 == first)
            summary.runs.back().last = last;
        else
            summary.runs.push_back(SampleRun{first, last});
        for (std::size_t s = 0; s < samples; ++s) {
            const float* v = &block.values[s * kValuesPerSample];
            // A blanked sample is nine zeros; a loaded one has a non-zero Fz.
            if (v[2] == 0.0f)
                continue;
            ++summary.loaded;
            fz += v[2];
            cx += v[6];
            cy += v[7];
        }
    }
    if (summary.loaded > 0) {
        summary.meanFz = fz / summary.loaded;
        summary.meanCopX = cx / summary.loaded;
        summary.meanCopY = cy / summary.loaded;
    }
    return summary;
}

std::string RunsText(const std::vector<SampleRun>& runs)
{
    std::string text;
    for (const SampleRun& run : runs)
        text += (text.empty() ? "" : ", ") + std::to_string(run.first) + ".." + std::to_string(run.last);
    return text.empty() ? "-" : text;
}

} // namespace zorvahost
