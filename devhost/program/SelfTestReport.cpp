#include "devhost/program/SelfTestReport.h"

#include "devhost/engine/capture/CaptureData.h"
#include "devhost/engine/PlateMatch.h"
#include "devhost/program/Plot.h"
#include "devhost/engine/Text.h"

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>

namespace zorvahost {

namespace {

struct KindCounts
{
    int passed = 0, failed = 0, notRun = 0;
};

std::map<CheckKind, KindCounts> CountByKind(const SelfTestResult& result)
{
    std::map<CheckKind, KindCounts> counts;
    for (const CheckRow& row : result.rows) {
        KindCounts& c = counts[row.kind];
        (row.verdict == Verdict::Passed ? c.passed : row.verdict == Verdict::Failed ? c.failed : c.notRun) += 1;
    }
    return counts;
}

int NotPassed(const SelfTestResult& result)
{
    int n = 0;
    for (const CheckRow& row : result.rows)
        n += row.verdict == Verdict::Passed ? 0 : 1;
    return n;
}

std::string VerdictWord(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Passed: return "passed";
    case Verdict::Failed: return "FAILED";
    case Verdict::NotRun: return "not run";
    }
    return "?";
}

std::string Headline(const SelfTestResult& result)
{
    const int bad = NotPassed(result);
    if (result.AllPassed())
        return "PASSED: all " + std::to_string(result.rows.size()) + " checks";
    return "FAILED: " + std::to_string(bad) + " of " + std::to_string(result.rows.size()) + " checks did not pass";
}

std::string Subject(const CheckRow& row)
{
    return CheckName(row.kind) + (row.condition.empty() ? "" : " (" + row.condition + ")") + ", unit " + row.unit;
}

struct FileCloser
{
    void operator()(std::FILE* file) const
    {
        if (file)
            std::fclose(file);
    }
};

/// Writes `text` to `path`; false with `error` when it could not.
bool WriteFile(const std::string& path, const std::string& text, std::string& error)
{
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    bool ok = file && std::fwrite(text.data(), 1, text.size(), file.get()) == text.size();
    ok = file && std::fclose(file.release()) == 0 && ok;
    if (!ok)
        error = "cannot write " + path;
    return ok;
}

std::string ReportNumber(double value)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.7g", value);
    return buffer;
}

/// The anchor Markdown viewers give a heading: lower case, blanks as dashes.
std::string Anchor(const std::string& heading)
{
    std::string anchor;
    for (char c : heading)
        anchor += c == ' ' ? '-' : static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return anchor;
}

/// The plot of a kind of check, if one was drawn.
std::string PlotOf(CheckKind kind, const std::vector<std::string>& plots)
{
    const char* name = kind == CheckKind::Noise    ? "rest.png"
                       : kind == CheckKind::Rate   ? "rates.png"
                       : kind == CheckKind::Weight ? "weight.png"
                                                   : nullptr;
    for (const std::string& plot : plots) {
        if (name && plot == name)
            return plot;
    }
    return std::string();
}

const char* PlotCaption(CheckKind kind)
{
    switch (kind) {
    case CheckKind::Noise:
        return "Each zeroed plate at rest: forces and moments over the capture, each channel's mean (black) and the "
               "band of plus and minus its noise limit (shaded, red when its standard deviation is over it). "
               "Spikes point to knocks or interference, a slope to drift.";
    case CheckKind::Rate:
        return "The rate each plate achieved at each rate, in parts per million against this computer's clock, "
               "with its uncertainty; the shaded band is the limit. Red crosses mark captures that lost or "
               "repeated samples.";
    case CheckKind::Weight:
        return "The known weights: the vertical force while each stood on its plate against m g and its "
               "tolerance, and where the plate put it against where it stood.";
    default: return "";
    }
}

} // namespace

std::string MarkdownCell(const std::string& text)
{
    std::string cell;
    for (char c : text) {
        if (c == '|')
            cell += "\\|";
        else if (c == '\n' || c == '\r')
            cell += ' ';
        else
            cell += c;
    }
    return cell;
}

std::string ConsoleSummary(const SelfTestResult& result)
{
    std::string text = "Self-test " + Headline(result) + " (" + Fixed(result.seconds, 0) + " s)\n";
    const std::map<CheckKind, KindCounts> counts = CountByKind(result);
    Table table;
    table.Add({"check", "passed", "failed", "not run"});
    for (const CheckInfo& info : CheckInfos()) {
        const auto it = counts.find(info.kind);
        if (it == counts.end())
            continue;
        table.Add({info.name, std::to_string(it->second.passed), std::to_string(it->second.failed),
                   std::to_string(it->second.notRun)});
    }
    text += table.Render("  ");
    // Grouped by check, its advice once.
    for (const CheckInfo& info : CheckInfos()) {
        const auto it = counts.find(info.kind);
        if (it == counts.end() || it->second.failed + it->second.notRun == 0)
            continue;
        text += std::string(info.name) + ": did not pass\n";
        for (const CheckRow& row : result.rows) {
            if (row.kind != info.kind || row.verdict == Verdict::Passed)
                continue;
            text += "  unit " + row.unit + (row.condition.empty() ? "" : ", " + row.condition) +
                    (row.verdict == Verdict::NotRun ? " (not run)" : "") + ": " + row.measurement +
                    "\n      limit: " + row.limit + "\n";
        }
        text += "  what to do: " + std::string(info.advice) + "\n";
    }
    return text;
}

std::string MarkdownReport(const SelfTestResult& result, const ReportContext& context,
                           const std::vector<std::string>& plots, const std::string& plotNote)
{
    std::string md = "# Commissioning self-test: " + Headline(result) + "\n\n";
    md += "| | |\n|---|---|\n";
    md += "| Run | " + MarkdownCell(context.date) + ", " + Fixed(result.seconds, 0) + " s |\n";
    md += "| Program | " + MarkdownCell(context.program) + " |\n";
    md += "| Plugin | " + MarkdownCell(context.plugin) + " |\n";
    md += "| USB library | " + MarkdownCell(context.usbLibrary) + " |\n";
    if (!context.bench.empty())
        md += "| Simulated bench | " + MarkdownCell(context.bench) + " |\n";
    md += "| Rates | " + MarkdownCell(context.rates) + " |\n\n";
    md += "The plates were to stay unloaded, with nothing touching them, except while a known weight was asked "
          "for. A check that failed names its unit: the amplifier's device index, its serial number, the "
          "platform's model and serial number.\n\n";

    const std::map<CheckKind, KindCounts> counts = CountByKind(result);
    md += "## Summary\n\n| Check | Passed | Failed | Not run |\n|---|---|---|---|\n";
    for (const CheckInfo& info : CheckInfos()) {
        const auto it = counts.find(info.kind);
        if (it == counts.end())
            continue;
        md += "| [" + std::string(info.name) + "](#" + Anchor(info.name) + ") | " + std::to_string(it->second.passed) +
              " | " + std::to_string(it->second.failed) + " | " + std::to_string(it->second.notRun) + " |\n";
    }
    md += "\n";
    if (NotPassed(result) > 0) {
        md += "## What did not pass, and what to do\n\n";
        for (const CheckRow& row : result.rows) {
            if (row.verdict == Verdict::Passed)
                continue;
            md += "- **" + Subject(row) + "**: " + VerdictWord(row.verdict) + ". Measured " + row.measurement +
                  "; limit: " + row.limit + ".  \n  *What to do:* " + InfoOf(row.kind).advice + "\n";
        }
        md += "\n";
    }

    md += "## Units\n\n| Unit | Product type | Amplifier | Firmware | Platform | Size (reported) | Plate | "
          "Definition | Why |\n|---|---|---|---|---|---|---|---|---|\n";
    for (const UnitRecord& unit : result.units) {
        const hostkit::DetectedUnit& u = unit.unit;
        md += "| " + MarkdownCell(unit.label) + " | " + std::to_string(u.productType) + " | " +
              MarkdownCell(u.amplifierModel + " " + u.amplifierSerial) + " | " + MarkdownCell(u.firmwareVersion) +
              " | " + MarkdownCell(u.platformModel + " " + u.platformSerial) + " | " + UnitSizeText(u) + " | " +
              MarkdownCell(unit.plate.empty() ? "none" : unit.plate) + " | " + MarkdownCell(unit.definition) + " | " +
              MarkdownCell(unit.why) + " |\n";
    }
    if (result.units.empty())
        md += "| none | | | | | | | | |\n";
    md += "\n## Checks\n\n";
    for (const CheckInfo& info : CheckInfos()) {
        if (!counts.count(info.kind))
            continue;
        md += "### " + std::string(info.name) + "\n\n" + info.what + "\n\n*If it fails:* " + info.advice + "\n\n";
        bool conditions = false;
        for (const CheckRow& row : result.rows)
            conditions = conditions || (row.kind == info.kind && !row.condition.empty());
        md += conditions ? "| Unit | At | Measured | Limit | Result |\n|---|---|---|---|---|\n"
                         : "| Unit | Measured | Limit | Result |\n|---|---|---|---|\n";
        for (const CheckRow& row : result.rows) {
            if (row.kind != info.kind)
                continue;
            const std::string verdict =
                row.verdict == Verdict::Passed ? "passed" : "**" + VerdictWord(row.verdict) + "**";
            md += "| " + MarkdownCell(row.unit) + " | " + (conditions ? MarkdownCell(row.condition) + " | " : "") +
                  MarkdownCell(row.measurement) + " | " + MarkdownCell(row.limit) + " | " + verdict + " |\n";
        }
        md += "\n";
        const std::string plot = PlotOf(info.kind, plots);
        if (!plot.empty())
            md += "![" + std::string(info.name) + "](" + plot + ")\n\n" + PlotCaption(info.kind) + "\n\n";
    }
    if (plots.empty() && !plotNote.empty())
        md += "## Plots\n\nNo plots: " + plotNote +
              " The data behind them are in rest.csv, rates.csv and "
              "weight.csv beside this report.\n";
    return md;
}

bool WritePlotData(const SelfTestResult& result, const std::string& folder, std::string& error)
{
    std::string rest = "plate,time_s,Fx_N,Fy_N,Fz_N,Mx_Nm,My_Nm,Mz_Nm\n";
    for (const RestTrace& trace : result.rest) {
        for (const auto& s : trace.samples) {
            rest += CsvField(trace.plate);
            for (float value : s)
                rest += "," + ReportNumber(value);
            rest += "\n";
        }
    }
    std::string rates = "plate,rate,measured,ppm,uncertainty_ppm,blocks,lost_samples,repeated_samples\n";
    for (const RateRow& row : result.rates) {
        rates += CsvField(row.plate) + "," + std::to_string(row.rate) + "," + (row.estimate.measured ? "1" : "0") +
                 "," + ReportNumber(row.estimate.ppm) + "," + ReportNumber(row.estimate.uncertaintyPpm) + "," +
                 std::to_string(row.continuity.blocks) + "," + std::to_string(row.continuity.lostSamples) + "," +
                 std::to_string(row.continuity.repeatedSamples) + "\n";
    }
    std::string weight = "plate,kg,expected_N,tolerance_N,at_given,target_x_m,target_y_m,size_x_m,size_y_m,"
                         "time_s,Fz_N,CoPx_m,CoPy_m\n";
    for (const WeightTrace& trace : result.weights) {
        const std::string head = CsvField(trace.plate) + "," + ReportNumber(trace.weight.kg) + "," +
                                 ReportNumber(trace.expectedN) + "," + ReportNumber(trace.toleranceN) + "," +
                                 (trace.weight.atGiven ? "1" : "0") + "," + ReportNumber(trace.weight.x) + "," +
                                 ReportNumber(trace.weight.y) + "," + ReportNumber(trace.sizeX) + "," +
                                 ReportNumber(trace.sizeY);
        for (const auto& s : trace.samples)
            weight += head + "," + ReportNumber(s[0]) + "," + ReportNumber(s[1]) + "," + ReportNumber(s[2]) + "," +
                      ReportNumber(s[3]) + "\n";
    }
    std::string limits = "name,value\n";
    for (int c = ChannelFx; c <= ChannelMz; ++c)
        limits += std::string("noise_") + ChannelName(c) + "," +
                  ReportNumber(selftest::kNoise[static_cast<std::size_t>(c)]) + "\n";
    limits += "zero_force_N," + ReportNumber(selftest::kZeroForceN) + "\nzero_moment_Nm," +
              ReportNumber(selftest::kZeroMomentNm) + "\nrate_ppm," + ReportNumber(selftest::kRatePpm) + "\ncop_m," +
              ReportNumber(selftest::kCopMetres) + "\n";
    const std::string base = folder.empty() || folder.back() == '/' || folder.back() == '\\' ? folder : folder + "/";
    return WriteFile(base + "rest.csv", rest, error) && WriteFile(base + "rates.csv", rates, error) &&
           WriteFile(base + "weight.csv", weight, error) && WriteFile(base + "limits.csv", limits, error);
}

bool WriteReport(const SelfTestResult& result, const ReportContext& context, const std::string& folder,
                 std::string& report, std::string& error)
{
    if (!WritePlotData(result, folder, error))
        return false;
    std::string python, plotNote;
    std::vector<std::string> plots;
    if (!FindPlotter(python, plotNote)) {
        plotNote = "Python 3 with matplotlib was not found (set ZORVA_PYTHON to one, or install it: pip install "
                   "matplotlib), so zorva_plot.py could not draw them.";
    } else {
        // The script writes to the same console: what the program said comes first.
        std::fflush(stdout);
        plots = DrawSelfTestPlots(python, folder, plotNote);
    }
    report = (std::filesystem::path(folder) / "report.md").string();
    return WriteFile(report, MarkdownReport(result, context, plots, plotNote), error);
}

} // namespace zorvahost
