#include "devhost/engine/capture/CaptureData.h"

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

CsvWriter::CsvWriter(std::FILE* file) : file_(file) { std::fprintf(file_, "%s\n", CsvHeader().c_str()); }

void CsvWriter::Write(const std::string& plate, std::int64_t frame, const float* values, std::size_t valueCount,
                      unsigned int rate)
{
    if (plate != lastPlate_ || lastField_.empty()) {
        lastPlate_ = plate;
        lastField_ = CsvField(plate);
    }
    const std::size_t samples = values ? valueCount / kValuesPerSample : 0;
    for (std::size_t s = 0; s < samples; ++s) {
        const std::int64_t sample = frame + static_cast<std::int64_t>(s);
        std::fprintf(file_, "%s,%" PRId64 ",", lastField_.c_str(), sample);
        if (rate > 0)
            std::fprintf(file_, "%.6f", static_cast<double>(sample) / rate);
        const float* v = values + s * kValuesPerSample;
        // Cz (always 0) is left out: the centre of pressure lies on the surface.
        for (int i = 0; i < 8; ++i)
            WriteValue(file_, v[i]);
        std::fputc('\n', file_);
    }
}

bool CsvWriter::Finish() { return std::fflush(file_) == 0 && !std::ferror(file_); }

void RunningSummary::Add(std::int64_t frame, const float* values, std::size_t valueCount)
{
    const std::size_t samples = values ? valueCount / kValuesPerSample : 0;
    if (samples == 0)
        return;
    ++summary_.blocks;
    summary_.samples += samples;
    const std::int64_t last = frame + static_cast<std::int64_t>(samples) - 1;
    if (!summary_.runs.empty() && summary_.runs.back().last + 1 == frame)
        summary_.runs.back().last = last;
    else
        summary_.runs.push_back(SampleRun{frame, last});
    for (std::size_t s = 0; s < samples; ++s) {
        const float* v = values + s * kValuesPerSample;
        // A blanked sample is nine zeros; a loaded one has a non-zero Fz.
        if (v[2] == 0.0f)
            continue;
        ++summary_.loaded;
        fz_ += v[2];
        cx_ += v[6];
        cy_ += v[7];
    }
}

PlateSummary RunningSummary::Summary() const
{
    PlateSummary summary = summary_;
    if (summary.loaded > 0) {
        summary.meanFz = fz_ / summary.loaded;
        summary.meanCopX = cx_ / summary.loaded;
        summary.meanCopY = cy_ / summary.loaded;
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
