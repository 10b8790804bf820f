// The three configuration files together, as Initialise builds the custom
// definitions from them. The input holds the treadmill-support, combination-
// platform and treadmill-unit files in this order, separated by lines
// "#FILE#"; a file the input does not reach is absent. Checks that no plate
// reaches the host with an empty name, a NUL in it, one of the plugin's own
// names or a size that is not finite; that every plate left out, and every
// name given again, has its warning on a line of its file; and that the
// plugin logs each warning once, at level 2.
#include "FuzzSupport.h"

#include "definitions/CustomDefinitions.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>

using namespace zorvafuzz;

namespace {

const char* const Separator = "\n#FILE#\n";
const char* const Files[] = {"TreadmillSupport.cfg", "CombinationPlatform.cfg", "Strivo.cfg"};

/// Keeps the lines the plugin logs.
class LogHost : public MoldraDigitalDevice::IPluginHost
{
public:
    void Log(const char* message, int level) override
    {
        Require(message != nullptr, "a log text");
        lines.push_back({message, level});
    }
    unsigned int GetTickRate() override { return 1000; }
    void ReservedSlot3() override {}
    double GetTime() override { return 0.0; }

    std::vector<std::pair<std::string, int>> lines;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::vector<std::string> reserved = ZORVA::ReservedPlateNames();
    UseTemporaryDrive();

    const std::string input(reinterpret_cast<const char*>(data), size);
    std::size_t start = 0;
    int fileLines[3] = {0, 0, 0};
    for (int f = 0; f < 3; ++f) {
        if (start > input.size()) {
            RemoveConfigFile(Files[f]);
            continue;
        }
        std::size_t end = input.find(Separator, start);
        if (end == std::string::npos)
            end = input.size();
        WriteConfigFile(Files[f], data + start, end - start);
        fileLines[f] = static_cast<int>(std::count(input.begin() + static_cast<std::ptrdiff_t>(start),
                                                   input.begin() + static_cast<std::ptrdiff_t>(end), '\n')) +
                       1;
        start = end + std::strlen(Separator);
    }

    const std::vector<ZORVA::CustomPlateSource> sources = ZORVA::ReadCustomPlateSources();
    Require(sources.size() == 3, "three sources");
    std::set<std::string> names;
    std::vector<std::string> order, logLines;
    std::size_t repeated = 0, sameNameWarnings = 0;
    for (std::size_t f = 0; f < sources.size(); ++f) {
        const ZORVA::CustomPlateSource& source = sources[f];
        Require(source.Result == ZORVA::ReaderResult::Read || source.Result == ZORVA::ReaderResult::NotFound ||
                    source.Result == ZORVA::ReaderResult::Failed,
                "result Read, NotFound or Failed");
        Require(source.Result == ZORVA::ReaderResult::Read || (source.Plates.empty() && source.Warnings.empty()),
                "plates and warnings only from a file read without error");
        for (const ZORVA::CustomPlate& plate : source.Plates) {
            Require(!plate.Name.empty() && plate.Name.size() <= 30, "a name of 1 to 30");
            Require(plate.Name.find('\0') == std::string::npos, "no NUL in a name");
            Require(std::find(reserved.begin(), reserved.end(), plate.Name) == reserved.end(), "no reserved name");
            Require(std::isfinite(plate.DimensionX) && std::isfinite(plate.DimensionY), "finite dimensions");
            Require(plate.Line >= 1 && plate.Line <= fileLines[f], "the plate's line within its file");
            repeated += !names.insert(plate.Name).second;
            order.push_back(plate.Name);
        }
        for (const ZORVA::CustomPlateWarning& warning : source.Warnings) {
            Require(warning.Line >= 1 && warning.Line <= fileLines[f], "the warning's line within its file");
            Require(warning.Text.find('\0') == std::string::npos, "no NUL in a warning");
            sameNameWarnings += !warning.LeftOut;
            logLines.push_back(ZORVA::CustomPlateLogLine(source, warning));
        }
    }
    Require(repeated == sameNameWarnings, "a warning at every name given again");

    LogHost host;
    ZORVA::BuildCustomDefinitions(&host);
    Require(ZORVA::customDefinitionCount == static_cast<int>(order.size()), "one definition per plate");
    for (int i = 0; i < ZORVA::customDefinitionCount; ++i)
        Require(ZORVA::customDefinitions[i].Name == order[static_cast<std::size_t>(i)], "definitions in file order");
    Require(host.lines.size() == logLines.size(), "one log line per warning");
    for (std::size_t i = 0; i < host.lines.size(); ++i)
        Require(host.lines[i].first == logLines[i] && host.lines[i].second == 2, "each warning logged at level 2");
    ZORVA::ReleaseCustomDefinitions();
    return 0;
}
