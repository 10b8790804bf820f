/// The self-test written up: a summary for the console, and the report a lab
/// keeps (Markdown, with the data behind its plots as CSV files and the plots
/// that zorva_plot.py draws from them).
#pragma once

#include "devhost/engine/selftest/SelfTest.h"

#include <string>
#include <vector>

namespace zorvahost {

/// Where and on what the self-test ran, for the report's head.
struct ReportContext
{
    std::string date;       ///< local time, "2024-05-02 14:03"
    std::string program;    ///< "zorva-devhost 1.4.0"
    std::string plugin;     ///< path and version
    std::string usbLibrary; ///< path
    std::string bench;      ///< the simulated bench's description; empty on hardware
    std::string rates;      ///< the rates asked for, in words
};

/// The verdict, a line per kind of check with its counts, then each check
/// that did not pass with its measurement, limit and what to do.
std::string ConsoleSummary(const SelfTestResult& result);

/// report.md: the verdict, what failed and what to do, the units, then each
/// kind of check with what it measures, its table and its plot. `plots` are
/// the PNG files written (names within the folder); `plotNote` says why there
/// are none, when there are none.
std::string MarkdownReport(const SelfTestResult& result, const ReportContext& context,
                           const std::vector<std::string>& plots, const std::string& plotNote);

/// The files the plots are drawn from, into `folder`: rest.csv (the zeroed
/// plates at rest), rates.csv (each capture's rate and continuity),
/// weight.csv (the known weights) and limits.csv. False with `error` when one
/// cannot be written.
bool WritePlotData(const SelfTestResult& result, const std::string& folder, std::string& error);

/// Writes the report into `folder` (which exists): the plot data, the plots
/// when Python with matplotlib is there, and report.md, whose path goes to
/// `report`. False with `error` when a file could not be written; plots that
/// could not be drawn are said in the report, not a failure.
bool WriteReport(const SelfTestResult& result, const ReportContext& context, const std::string& folder,
                 std::string& report, std::string& error);

/// A Markdown table cell: '|' and line ends cannot stand in one.
std::string MarkdownCell(const std::string& text);

} // namespace zorvahost
