#include "devhost/program/Plot.h"

#include "platform/Program.h"

#include <cstdio>
#include <cstdlib>

namespace zorvahost {

namespace {

/// The script's exit code for "matplotlib cannot be imported".
const int kNoMatplotlib = 3;

std::string ScriptPath() { return zorvaplatform::ProgramDirectory() + "zorva_plot.py"; }

bool Readable(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (!file)
        return false;
    std::fclose(file);
    return true;
}

std::string ScriptNumber(double value)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.6g", value);
    return buffer;
}

} // namespace

bool FindPlotter(std::string& python, std::string& error)
{
    const std::string script = ScriptPath();
    if (!Readable(script)) {
        error = "--plot: the plot script " + script + " is missing; it is built beside the program";
        return false;
    }
    const char* chosen = std::getenv("ZORVA_PYTHON");
    const std::vector<std::string> candidates =
        chosen && *chosen ? std::vector<std::string>{chosen} : zorvaplatform::PythonCandidates();
    std::string tried;
    for (const std::string& candidate : candidates) {
        const int result = zorvaplatform::RunProgram({candidate, script, "--check"});
        if (result == 0) {
            python = candidate;
            return true;
        }
        tried += (tried.empty() ? "" : ", ") + candidate +
                 (result == kNoMatplotlib ? " (no matplotlib)"
                  : result < 0            ? " (not found)"
                                          : " (failed)");
    }
    error = "--plot needs Python 3 with matplotlib, and none was found (tried " + tried +
            "). Install it (Debian: apt-get install python3-matplotlib, which scripts/setup.sh does; "
            "elsewhere: pip install matplotlib) or set ZORVA_PYTHON to a Python that has it, or leave out --plot.";
    return false;
}

bool DrawPlot(const std::string& python, const std::string& csv, const std::string& png,
              const std::vector<PlotPlate>& plates, std::string& error)
{
    std::vector<std::string> arguments = {python, ScriptPath(), csv, png};
    for (const PlotPlate& plate : plates) {
        arguments.push_back("--plate");
        arguments.push_back(plate.name);
        arguments.push_back(ScriptNumber(plate.sizeX));
        arguments.push_back(ScriptNumber(plate.sizeY));
    }
    const int result = zorvaplatform::RunProgram(arguments);
    if (result != 0) {
        error = "--plot: " + ScriptPath() + " failed (exit code " + std::to_string(result) + "); " + png +
                " was not written";
        return false;
    }
    return true;
}

std::vector<std::string> DrawSelfTestPlots(const std::string& python, const std::string& folder, std::string& error)
{
    const int result = zorvaplatform::RunProgram({python, ScriptPath(), "--selftest", folder});
    if (result != 0) {
        error = ScriptPath() + " --selftest failed (exit code " + std::to_string(result) + ")";
        return {};
    }
    std::vector<std::string> drawn;
    const std::string base = folder.empty() || folder.back() == '/' || folder.back() == '\\' ? folder : folder + "/";
    for (const char* name : {"rest.png", "rates.png", "weight.png"}) {
        if (Readable(base + name))
            drawn.push_back(name);
    }
    return drawn;
}

} // namespace zorvahost
