// The three configuration files together, as Initialise builds the custom
// definitions from them. The input holds the treadmill-support, combination-
// platform and treadmill-unit files in this order, separated by lines
// "#FILE#"; a file the input does not reach is absent. Checks that no name
// reaches the host twice or empty, nor a size that is negative or infinite.
#include "FuzzSupport.h"

#include "config/ConfigText.h"
#include "definitions/CustomDefinitions.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>

using namespace zorvafuzz;

namespace {

const char* const Separator = "\n#FILE#\n";
const char* const Files[] = {"TreadmillSupport.cfg", "CombinationPlatform.cfg", "Strivo.cfg"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::vector<std::string> reserved = ZORVA::ReservedPlateNames();
    UseTemporaryDrive();

    const std::string input(reinterpret_cast<const char*>(data), size);
    std::size_t start = 0;
    for (const char* file : Files) {
        if (start > input.size()) {
            RemoveConfigFile(file);
            continue;
        }
        std::size_t end = input.find(Separator, start);
        if (end == std::string::npos)
            end = input.size();
        WriteConfigFile(file, data + start, end - start);
        start = end + std::strlen(Separator);
    }

    const std::vector<ZORVA::CustomPlateSource> sources = ZORVA::ReadCustomPlateSources();
    Require(sources.size() == 3, "three sources");
    std::set<std::string> names;
    std::vector<std::string> order;
    for (const ZORVA::CustomPlateSource& source : sources) {
        Require(source.Result == ZORVA::ReaderResult::Read || source.Result == ZORVA::ReaderResult::NotFound ||
                    source.Result == ZORVA::ReaderResult::Failed,
                "result Read, NotFound or Failed");
        Require(source.Result == ZORVA::ReaderResult::Read || source.Plates.empty(),
                "plates only from a file read without error");
        for (const ZORVA::CustomPlate& plate : source.Plates) {
            Require(!plate.Name.empty() && plate.Name.size() <= 30, "a name of 1 to 30");
            Require(plate.Name.find('\0') == std::string::npos, "no NUL in a name");
            Require(std::find(reserved.begin(), reserved.end(), plate.Name) == reserved.end(), "no reserved name");
            Require(names.insert(plate.Name).second, "each name once");
            Require(std::isfinite(plate.DimensionX) && plate.DimensionX >= 0.0, "a finite X dimension, not negative");
            Require(std::isfinite(plate.DimensionY) && plate.DimensionY >= 0.0, "a finite Y dimension, not negative");
            order.push_back(plate.Name);
        }
    }

    ZORVA::BuildCustomDefinitions();
    Require(ZORVA::customDefinitionCount == static_cast<int>(order.size()), "one definition per plate");
    for (int i = 0; i < ZORVA::customDefinitionCount; ++i)
        Require(ZORVA::customDefinitions[i].Name == order[static_cast<std::size_t>(i)], "definitions in file order");
    ZORVA::ReleaseCustomDefinitions();
    return 0;
}
