// The simulator's scenario reader (INI text) on any input: it never throws
// and never crashes, says why when it refuses, and accepts only scenarios
// that pass its own range check.
#include "FuzzSupport.h"

#include "simusb/Scenario.h"

using namespace zorvafuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    zorvasim::Scenario scenario;
    scenario.name = "before";
    std::string error;
    if (zorvasim::ParseScenario(text, scenario, error)) {
        Require(error.empty(), "no error text for an accepted scenario");
        std::string why;
        Require(zorvasim::ValidateScenario(scenario, why), "an accepted scenario is in range");
        Require(scenario.units.size() <= zorvasim::kMaxUnits, "at most kMaxUnits units");
    } else {
        Require(!error.empty(), "a refused scenario says why");
        Require(scenario.name == "before", "a refused scenario leaves the output alone");
    }
    return 0;
}
