// The README's table of the self-test's checks states each check's limit;
// the limits the checks use are the constants of devhost/engine/selftest/
// SelfTest.h. This keeps the two equal: a limit changed in the code and not in
// the README (or the other way round) fails here, with the row the README
// should have.
#include "devhost/engine/Text.h"
#include "devhost/engine/selftest/SelfTest.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>

using namespace zorvahost;
using namespace zorvahost::selftest;

namespace {

/// The README's rows of the self-test's table: first cell to last cell.
std::map<std::string, std::string> ReadmeLimits()
{
    std::ifstream file(std::string(ZORVA_SOURCE_DIR) + "/README.md", std::ios::binary);
    std::map<std::string, std::string> rows;
    std::string line;
    bool inTable = false;
    while (std::getline(file, line)) {
        if (line == "| Check | Measurement | Limit |") {
            inTable = true;
            continue;
        }
        if (!inTable || line.compare(0, 4, "|---") == 0)
            continue;
        if (line.compare(0, 2, "| ") != 0)
            break;
        const std::size_t first = line.find(" | ");
        const std::size_t last = line.rfind(" | ");
        if (first == std::string::npos || line.size() < 2 || line.compare(line.size() - 2, 2, " |") != 0)
            continue;
        rows[line.substr(2, first - 2)] = line.substr(last + 3, line.size() - 2 - (last + 3));
    }
    return rows;
}

} // namespace

TEST(SelfTestLimits, ReadmeTable_EveryNumericLimit_TheCodesOwn)
{
    std::string noise;
    for (std::size_t c = 0; c < kNoise.size(); ++c)
        noise += (c == 0 ? "" : ", ") + Short(kNoise[c]) + (c == 2 ? " N" : c == 5 ? " N m" : "");
    // First cell as the README writes it, then the limit the code checks.
    const std::map<std::string, std::string> expected = {
        {"Blink", "sent within " + Short(kCommandSeconds) + " s"},
        {"Unloaded reading",
         "\\|Fx\\|, \\|Fy\\| ≤ " + Short(kUnloadedForceN / 2) + " N, \\|Fz\\| ≤ " + Short(kUnloadedForceN) + " N"},
        {"Zero, Noise at rest",
         "\\|mean\\| ≤ " + Short(kZeroForceN) + " N, " + Short(kZeroMomentNm) + " N m; sd ≤ " + noise},
        {"Known weight, Centre of pressure (`--weight PLATE=KG[@X,Y]`)", "m g ± max(" + Short(kWeightShare * 100) +
                                                                             " %, " + Short(kWeightMinimumN) + " N); " +
                                                                             Short(kCopMetres * 1000) + " mm"},
        {"Capture, Rate against the host clock (each rate the units support, or `--rates`)",
         "none lost or repeated; ±" + Short(kRatePpm) + " ppm"},
        {"Software trigger, Genlock, Hardware trigger (`--hardware-trigger`)",
         "a block within " + Short(kFirstBlockSeconds) + " s (" + Short(kTriggerWaitSeconds) + " s for the pulse)"},
    };
    const std::map<std::string, std::string> readme = ReadmeLimits();
    ASSERT_FALSE(readme.empty()) << "README.md has no table headed | Check | Measurement | Limit |";
    for (const auto& row : expected) {
        const auto it = readme.find(row.first);
        ASSERT_NE(it, readme.end()) << "README.md's self-test table lacks the row \"" << row.first << "\"";
        EXPECT_EQ(it->second, row.second) << "README.md's limit of \"" << row.first << "\"";
    }
}
