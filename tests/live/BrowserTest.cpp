// The live page in a real browser (Chromium, headless, driven by
// browser_test.js through playwright-core), on the live view run in this
// process on the built plugin and the simulated bench, whose library this
// test program shares with the plugin: so it reads what the library saw.
#include "tests/devhost/DevhostRun.h"
#include "TestEnvironment.h"
#include "platform/Program.h"
#include "devhost/program/commands/LiveCommand.h"
#include "simusb/SimControl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <string>
#include <thread>
#include <vector>

using namespace zorvahost;
using zorvaplatform::ProgramDirectory;

namespace {

const std::string kSource = ZORVA_SOURCE_DIR;

std::string Quote(const std::string& text) { return "'" + text + "'"; }

} // namespace

TEST(LiveBrowser, Page_SimulatedBench_PlatesCentreOfPressureSettingsZeroAndAUnitGone)
{
    const std::string modules = kSource + "/devhost/live/page/node_modules";
    const char* chromium = std::getenv("ZORVA_CHROMIUM");
    const std::string browser = chromium ? chromium : "/usr/bin/chromium";
    ASSERT_TRUE(std::filesystem::exists(modules + "/playwright-core"))
        << modules << "/playwright-core is missing: run scripts/setup.sh";
    ASSERT_TRUE(std::filesystem::exists(browser)) << browser << " is missing: run scripts/setup.sh";
    const std::filesystem::path artefacts = ZORVA_ARTEFACTS;
    std::filesystem::create_directories(artefacts);
    // This run's screenshots, not an earlier run's.
    for (const char* name : {"live-page.png", "live-page-unplugged.png", "live-page-failed.png"})
        std::filesystem::remove(artefacts / name);

    zorvatest::TempFolder drive; // no configuration files: the standard plates
    SetEnvironment("ZORVA_DRIVE_C", drive.Path().string().c_str());
    SetEnvironment("ZORVA_SIM_SCENARIO", (kSource + "/tests/live/bench.ini").c_str());
    Options options;
    options.command = Command::Live;
    options.plugin = ProgramDirectory() + ZORVA_PLUGIN_FILE;
    options.portSet = true;
    options.port = 0;

    std::atomic<bool> interrupted{false};
    std::promise<std::string> listening;
    std::future<std::string> url = listening.get_future();
    std::promise<int> ended;
    std::future<int> exitCode = ended.get_future();
    std::thread live([&] {
        ended.set_value(live::RunLiveSession(
            options, interrupted, [&listening](const live::LiveServer& server) { listening.set_value(server.Url()); }));
    });
    ASSERT_EQ(url.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    const std::string address = url.get();

    const std::filesystem::path output = drive.Path() / "browser.out";
    const std::string command = "NODE_PATH=" + Quote(modules) + " ZORVA_CHROMIUM=" + Quote(browser) + " node " +
                                Quote(kSource + "/tests/live/browser_test.js") + " " + Quote(address) + " " +
                                Quote(artefacts.string()) + " >" + Quote(output.string()) + " 2>&1";
    const int status = std::system(command.c_str());
    const std::string said = zorvatest::ReadFile(output);
    std::printf("%s", said.c_str());
    EXPECT_EQ(status, 0) << said;
    EXPECT_NE(said.find("PASS"), std::string::npos);

    // The page's Stop ended the session; should it not have, the test does.
    if (status != 0 || exitCode.wait_for(std::chrono::seconds(30)) != std::future_status::ready)
        interrupted.store(true);
    live.join();
    EXPECT_EQ(exitCode.get(), 0);
    // The library saw what the page asked for: the zero, the left unit's
    // blink, and the settings through the plugin: 2000 per second, which the
    // right unit's product type cannot run, as 1200, and genlock (the shut
    // down put the library's own state back; its trace keeps the calls).
    const zorvasim::LibraryState library = zorvasim::GetState();
    EXPECT_EQ(library.zeroCount, 1);
    ASSERT_GE(library.blinkCounts.size(), 1u);
    EXPECT_EQ(library.blinkCounts[0], 1);
    const std::vector<std::string> trace = zorvasim::GetTrace();
    const auto called = [&trace](const std::string& call) {
        return std::find(trace.begin(), trace.end(), call) != trace.end();
    };
    EXPECT_TRUE(called("fmBroadcastAcquisitionRate(1200)"));
    EXPECT_TRUE(called("fmBroadcastGenlock(1)"));
    EXPECT_TRUE(std::filesystem::exists(artefacts / "live-page.png"));

    SetEnvironment("ZORVA_SIM_SCENARIO", nullptr);
    SetEnvironment("ZORVA_DRIVE_C", nullptr);
}
