// The development host's plugin session in this process, on the built plugin
// and the simulated bench in real time: when a detection counts as finished.
#include "DevhostRun.h"
#include "TestEnvironment.h"
#include "platform/Program.h"
#include "hostkit/Session.h"
#include "tests/support/RecordingHost.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace zorvahost;
using hostkit::DetectionReport;
using hostkit::PluginSession;
using zorvaplatform::ProgramDirectory;

namespace {

const char kTwoUnits[] = "[scenario]\ninit_polls = 1\n"
                         "[unit A]\namplifier_serial = ZA1\nplatform_model = Pendra-600\nplatform_serial = P1\n"
                         "[unit B]\namplifier_serial = ZA2\nplatform_model = Pendra-600\nplatform_serial = P2\n";

} // namespace

// Regression: the plugin instantiates a detection's plates after it has logged
// the device count and let go of its lock. The session took the detection as
// finished once that lock was free, so a host slower than the plugin's worker
// (Wine, a loaded machine) reported units with "no plate device" although
// the plugin was about to instantiate their plates.
TEST(DevhostSession, WaitForDetection_SlowInstantiation_EveryPlateAttached)
{
    zorvatest::TempFolder folder;
    const std::string bench = folder.Write("bench.ini", kTwoUnits).string();
    SetEnvironment("ZORVA_SIM_SCENARIO", bench.c_str());
    {
        // A slow host: the recorder on the session's side of the plugin.
        RecordingHost host;
        host.SetInstantiateDelay(std::chrono::milliseconds(300));
        PluginSession session(host);
        std::string error;
        ASSERT_TRUE(session.Load(ProgramDirectory() + ZORVA_PLUGIN_FILE, error)) << error;
        session.Start();
        ASSERT_TRUE(session.InstantiateSharedDevice());
        DetectionReport report;
        ASSERT_TRUE(session.WaitForDetection(30, report));
        EXPECT_EQ(report.deviceCount, 2);
        EXPECT_EQ(session.Plates().size(), 2u);
        session.Shutdown();
    }
    SetEnvironment("ZORVA_SIM_SCENARIO", nullptr);
}
