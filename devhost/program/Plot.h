/// The --plot picture, drawn by zorva_plot.py (beside the program) with
/// matplotlib from the CSV file the capture wrote.
#pragma once

#include <string>
#include <vector>

namespace zorvahost {

struct PlotPlate
{
    std::string name;
    double sizeX = 0.0; ///< metres
    double sizeY = 0.0;
};

/// Finds a Python interpreter that has matplotlib ($ZORVA_PYTHON, else the
/// platform's usual names). False with `error` telling what to install.
bool FindPlotter(std::string& python, std::string& error);

/// Draws `png` from `csv`; false with `error` when the script failed.
bool DrawPlot(const std::string& python, const std::string& csv, const std::string& png,
              const std::vector<PlotPlate>& plates, std::string& error);

/// Draws the self-test's plots into `folder` from the CSV files
/// WritePlotData wrote there; the PNG files it made (names within the
/// folder), empty with `error` when the script failed.
std::vector<std::string> DrawSelfTestPlots(const std::string& python, const std::string& folder, std::string& error);

} // namespace zorvahost
