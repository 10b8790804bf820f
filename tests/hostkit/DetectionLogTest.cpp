// Detections read back from the plugin's log: the units, the outcome, and
// the lines that belong to each detection.
#include "hostkit/DetectionLog.h"

#include "contract/LogLines.h"
#include "tests/support/RecordingHost.h"

#include <gtest/gtest.h>

using namespace zorvahost;
using hostkit::DetectedUnit;
using hostkit::DetectionLogParser;
using hostkit::DetectionReport;

namespace {

std::vector<LogLine> UnitLines(int index, int type, const std::string& serial, const std::string& model,
                               const std::string& platformSerial)
{
    return {
        {"::fmDLLSelectDeviceIndex(" + std::to_string(index) + ")", 0},
        {"::fmGetAmplifierModelNumber() -> ZDA-" + std::to_string(type), 0},
        {"::fmGetProductType() -> " + std::to_string(type), 0},
        {"::fmGetAmplifierFirmwareVersion() -> 3.2.7", 0},
        {"::fmGetAmplifierSerialNumber() -> " + serial, 0},
        {"::fmGetPlatformModelNumber() -> " + model, 0},
        {"::fmGetPlatformSerialNumber() -> " + platformSerial, 0},
        {"::fmGetPlatformXYZOffsets() -> (0.120000, -0.080000, -1.610000)", 0},
        {"::fmGetPlatformLengthAndWidth() -> 23.622, 15.748", 0},
    };
}

void Feed(DetectionLogParser& parser, const std::vector<LogLine>& lines)
{
    for (const LogLine& line : lines)
        parser.Feed(line);
}

std::vector<LogLine> StartUp()
{
    return {{"::fmDLLInit()", 0}, {"::fmDLLIsDeviceInitComplete() -> 1", 0}, {"::fmDLLGetDeviceCount() -> 2", 0}};
}

} // namespace

TEST(DetectionLog, Feed_OneDetection_UnitsOutcomeAndSkippedTypes)
{
    DetectionLogParser parser;
    parser.Feed({"::fmBroadcastStart()", 0}); // before any detection: not part of one
    Feed(parser, StartUp());
    Feed(parser, UnitLines(0, 100, "ZA1", "Pendra-600", "P1"));
    Feed(parser, UnitLines(1, 200, "ZA2", "Odd", "P2"));
    parser.Feed({"Successful ZORVA device detection loop: The ZORVA setup is the same", 1});
    parser.Feed({"Detected 2 ZORVA digital devices", 1});
    EXPECT_TRUE(parser.AwaitingEnd());
    EXPECT_TRUE(parser.TakeReports().empty()) << "not finished before the shared device's NotifyChanged";
    // Lines up to the shared device's NotifyChanged still belong to it.
    parser.Feed({"Detected unsupported device type 200, skipping...)", 2});
    parser.Feed({"Instantiating device 0: ZDA-100 ZA1 Pendra-600 P1", 1});
    parser.SharedDeviceNotified();

    const std::vector<DetectionReport> reports = parser.TakeReports();
    ASSERT_EQ(reports.size(), 1u);
    const DetectionReport& report = reports[0];
    EXPECT_TRUE(report.succeeded);
    EXPECT_EQ(report.message, "The ZORVA setup is the same");
    EXPECT_EQ(report.deviceCount, 2);
    EXPECT_EQ(report.unsupportedTypes, std::vector<int>{200});
    ASSERT_EQ(report.units.size(), 2u);
    const DetectedUnit& unit = report.units[0];
    EXPECT_EQ(unit.index, 0);
    EXPECT_EQ(unit.productType, 100);
    EXPECT_EQ(unit.amplifierModel, "ZDA-100");
    EXPECT_EQ(unit.firmwareVersion, "3.2.7");
    EXPECT_EQ(unit.InstanceName(), "ZA1P1");
    EXPECT_EQ(unit.platformModel, "Pendra-600");
    EXPECT_DOUBLE_EQ(unit.origin[0], 0.12);
    EXPECT_DOUBLE_EQ(unit.origin[2], -1.61);
    EXPECT_EQ(unit.length, "23.622");
    EXPECT_EQ(unit.width, "15.748");
    EXPECT_EQ(report.units[1].productType, 200);
    EXPECT_EQ(report.log.front().text, "::fmDLLInit()");
    EXPECT_EQ(report.log.back().text, "Instantiating device 0: ZDA-100 ZA1 Pendra-600 P1");
    EXPECT_FALSE(parser.AwaitingEnd());
}

TEST(DetectionLog, Feed_TimedOutStartUpAndRefusedPlate_Reported)
{
    DetectionLogParser parser;
    Feed(parser, {{"::fmDLLInit()", 0}, {"::fmDLLInit() failed", 2}, {"::fmDLLGetDeviceCount() -> 0", 0}});
    parser.Feed({"Unsuccessful ZORVA device detection loop: ZORVA device initialization timed out", 3});
    parser.Feed({"Detected 0 ZORVA digital devices", 1});
    parser.Feed({"Host returned \"no room\" when trying to instantiate device Pendra-600", 2});
    parser.Finish();
    const std::vector<DetectionReport> reports = parser.TakeReports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_FALSE(reports[0].succeeded);
    EXPECT_EQ(reports[0].message, "ZORVA device initialization timed out");
    EXPECT_TRUE(reports[0].units.empty());
    ASSERT_EQ(reports[0].refusals.size(), 1u);
    EXPECT_NE(reports[0].refusals[0].find("no room"), std::string::npos);
}

TEST(DetectionLog, Feed_TwoDetectionsInOneBatch_EachWithItsOwnUnits)
{
    // A second start-up line finishes the detection before it, so a batch of
    // lines read late still yields both reports.
    DetectionLogParser parser;
    Feed(parser, StartUp());
    Feed(parser, UnitLines(0, 100, "ZA1", "Pendra-600", "P1"));
    Feed(parser, UnitLines(1, 300, "ZA2", "Gorvin-900", "P2"));
    parser.Feed({"Successful ZORVA device detection loop: x", 1});
    parser.Feed({"Detected 2 ZORVA digital devices", 1});
    parser.Feed({"::fmBroadcastStop()", 0});
    Feed(parser, StartUp());
    Feed(parser, UnitLines(0, 300, "ZA2", "Gorvin-900", "P2"));
    parser.Feed({"Successful ZORVA device detection loop: y", 1});
    parser.Feed({"Detected 1 ZORVA digital devices", 1});
    parser.Finish();
    const std::vector<DetectionReport> reports = parser.TakeReports();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].units.size(), 2u);
    EXPECT_EQ(reports[0].message, "x");
    ASSERT_EQ(reports[1].units.size(), 1u);
    EXPECT_EQ(reports[1].units[0].amplifierSerial, "ZA2");
    EXPECT_EQ(reports[1].deviceCount, 1);
}

TEST(DetectionLog, Feed_BlinkSelectionAmongIdentityQueries_NotAUnit)
{
    // The blink job also logs a device selection; without a product type it is no unit.
    DetectionLogParser parser;
    Feed(parser, StartUp());
    parser.Feed({"::fmDLLSelectDeviceIndex(1)", 0});
    parser.Feed({"::fmSetBlink()", 0});
    Feed(parser, UnitLines(0, 100, "ZA1", "Pendra-600", "P1"));
    parser.Feed({"::fmDLLSelectDeviceIndex(0)", 0});
    parser.Feed({"Detected 1 ZORVA digital devices", 1});
    parser.Finish();
    const std::vector<DetectionReport> reports = parser.TakeReports();
    ASSERT_EQ(reports.size(), 1u);
    ASSERT_EQ(reports[0].units.size(), 1u);
    EXPECT_EQ(reports[0].units[0].amplifierSerial, "ZA1");
}

TEST(DetectionLog, Feed_MalformedIdentityLines_KeptAsTextOrIgnored)
{
    DetectionLogParser parser;
    Feed(parser, StartUp());
    Feed(parser, {
                     {"::fmDLLSelectDeviceIndex(x)", 0}, // not a number: no new unit
                     {"::fmDLLSelectDeviceIndex(0)", 0},
                     {"::fmGetProductType() -> 100", 0},
                     {"::fmGetPlatformXYZOffsets() -> (1, 2)", 0}, // short: origin stays 0
                     {"::fmGetPlatformLengthAndWidth() -> 23, 6, 15", 0},
                     {"::fmGetPlatformSerialNumber() -> ", 0},
                     {"Detected two ZORVA digital devices", 1}, // not a count: not the end
                 });
    EXPECT_FALSE(parser.AwaitingEnd());
    parser.Feed({"Detected 1 ZORVA digital devices", 1});
    parser.Finish();
    const std::vector<DetectionReport> reports = parser.TakeReports();
    ASSERT_EQ(reports.size(), 1u);
    ASSERT_EQ(reports[0].units.size(), 1u);
    const DetectedUnit& unit = reports[0].units[0];
    EXPECT_EQ(unit.origin[0], 0.0);
    EXPECT_EQ(unit.origin[1], 0.0);
    EXPECT_EQ(unit.length, "23, 6");
    EXPECT_EQ(unit.width, "15");
    EXPECT_EQ(unit.platformSerial, "");
}

// Every row of the plugin's table of log lines, written as the plugin writes
// it, is read back as that row and no other, with its values.
TEST(DetectionLog, LogLines_EveryRowWritten_MatchedBackAsItselfOnly)
{
    using ZORVA::LogLineId;
    const int rows = static_cast<int>(sizeof ZORVA::LogLineSpecs / sizeof ZORVA::LogLineSpecs[0]);
    for (int row = 0; row < rows; ++row) {
        const LogLineId id = static_cast<LogLineId>(row);
        const std::string format = ZORVA::SpecOf(id).format;
        int conversions = 0;
        for (std::size_t at = format.find('%'); at != std::string::npos; at = format.find('%', at + 1))
            ++conversions;
        RecordingHost host;
        switch (conversions) {
        case 0: ZORVA::LogLine(&host, id); break;
        case 1: ZORVA::LogLine(&host, id, "v1"); break;
        case 2: ZORVA::LogLine(&host, id, "v1", "v2"); break;
        case 3: ZORVA::LogLine(&host, id, "v1", "v2", "v3"); break;
        default: FAIL() << format << ": more conversions than this test writes";
        }
        const std::vector<LogLine> logs = host.Logs();
        ASSERT_EQ(logs.size(), 1u) << format;
        EXPECT_EQ(logs[0].level, static_cast<int>(ZORVA::SpecOf(id).level)) << format;
        for (int other = 0; other < rows; ++other) {
            std::string values;
            const bool matched = ZORVA::MatchLogLine(static_cast<LogLineId>(other), logs[0].text, &values);
            EXPECT_EQ(matched, other == row) << logs[0].text << " against " << ZORVA::LogLineSpecs[other].format;
            if (other == row && conversions > 0) {
                EXPECT_EQ(values.substr(0, 2), "v1") << logs[0].text;
                EXPECT_EQ(values.substr(values.size() - 2), "v" + std::to_string(conversions)) << logs[0].text;
            }
        }
    }
}
