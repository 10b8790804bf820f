// The shared device's handling of a data block: alignment of the library's
// counters with the host's sample numbers once per Arm (start time, trigger
// marker, or none in genlock), then one transfer per plate.
#include "DevicesTestSupport.h"

#include "definitions/VZORVAGenericPlateDefinition.h"

#include <limits>

using namespace devtest;
using namespace MoldraDigitalDevice;

namespace {

std::vector<std::int64_t> Frames(const std::vector<zorvahost::PushedBlock>& pushed)
{
    std::vector<std::int64_t> frames;
    for (const zorvahost::PushedBlock& block : pushed)
        frames.push_back(block.frame);
    return frames;
}

struct StartTimeCase
{
    const char* name;
    const char* rate;
    double elapsed; ///< host time of the block minus the start time, seconds
    float firstCounter;
    std::int64_t firstFrame;
};

void PrintTo(const StartTimeCase& c, std::ostream* os) { *os << c.name; }

class SoftwareTrigger : public DeviceBench, public ::testing::WithParamInterface<StartTimeCase>
{};

const StartTimeCase StartTimeCases[] = {
    // 0.5 s at 1000 per second: counter 900 is host sample 500 (offset 400).
    {"HalfSecondAt1000", "1000", 0.5, 900, 500},
    {"HalfSecondAt500", "500", 0.5, 900, 250},
    {"AtStart", "1000", 0.0, 0, 0},
    // Regression: a host clock that runs backwards (a block's host time
    // before the start) gave negative first sample numbers. A block that
    // arrives after StartCapture starts the capture at the earliest.
    {"ClockBehindStart", "1000", -0.125, 900, 0},
};

TEST_P(SoftwareTrigger, OnDataReady_AfterStartCapture_AlignsByElapsedTime)
{
    const StartTimeCase& c = GetParam();
    Detect({Unit("A1", "P7", 0)});
    ChangeRate(c.rate);
    ASSERT_TRUE(ArmAll());
    shared->StartCapture(100.0);
    host.SetTime(100.0 + c.elapsed);
    Block block(1);
    block.SetCounters(static_cast<std::int64_t>(c.firstCounter));
    shared->OnDataReady(block.Data());
    // Aligned once: a later block follows its counter, whatever the time.
    host.SetTime(200.0);
    block.SetCounters(static_cast<std::int64_t>(c.firstCounter) + 16);
    shared->OnDataReady(block.Data());

    EXPECT_EQ(Frames(Pushed(Plates()[0])), (std::vector<std::int64_t>{c.firstFrame, c.firstFrame + 16}));
}

INSTANTIATE_TEST_SUITE_P(Cases, SoftwareTrigger, ::testing::ValuesIn(StartTimeCases),
                         [](const ::testing::TestParamInfo<StartTimeCase>& info) { return info.param.name; });

TEST_F(DeviceBench, OnDataReady_SoftwareTriggerBeforeStartCapture_DropsBlocks)
{
    Detect({Unit("A1", "P7", 0)});
    ASSERT_TRUE(ArmAll());
    Block block(1);
    block.SetCounters(900);
    shared->OnDataReady(block.Data());
    EXPECT_TRUE(Pushed(Plates()[0]).empty());

    shared->StartCapture(0.0);
    block.SetCounters(916);
    shared->OnDataReady(block.Data());
    EXPECT_EQ(Frames(Pushed(Plates()[0])), (std::vector<std::int64_t>{0}));
}

TEST_F(DeviceBench, OnDataReady_StartTimeNotANumber_DefinedAlignment)
{
    // A host time that is no number must not make the offset undefined: no
    // time has passed, so the first block is sample 0.
    Detect({Unit("A1", "P7", 0)});
    ASSERT_TRUE(ArmAll());
    shared->StartCapture(std::numeric_limits<double>::quiet_NaN());
    Block block(1);
    block.SetCounters(900);
    shared->OnDataReady(block.Data());
    EXPECT_EQ(Frames(Pushed(Plates()[0])), (std::vector<std::int64_t>{0}));
}

TEST_F(DeviceBench, OnDataReady_EveryArm_AlignsAgain)
{
    Detect({Unit("A1", "P7", 0)});
    ASSERT_TRUE(ArmAll());
    shared->StartCapture(0.0);
    Block block(1);
    block.SetCounters(900);
    shared->OnDataReady(block.Data());

    ASSERT_TRUE(ArmAll());
    shared->StartCapture(10.0);
    host.SetTime(10.0);
    block.SetCounters(5000);
    shared->OnDataReady(block.Data());

    EXPECT_EQ(Frames(Pushed(Plates()[0])), (std::vector<std::int64_t>{0, 0}));
}

struct MarkerCase
{
    const char* name;
    int productType;
    float idle;
    float active;
};

void PrintTo(const MarkerCase& c, std::ostream* os) { *os << c.name; }

class HardwareTrigger : public DeviceBench, public ::testing::WithParamInterface<MarkerCase>
{};

const MarkerCase MarkerCases[] = {
    {"Type100MarkerOne", 100, 0.0f, 1.0f},
    {"Type300MarkerOne", 300, 0.0f, 1.0f},
    {"Type400MarkerZero", 400, 5.0f, 0.0f},
};

TEST_P(HardwareTrigger, OnDataReady_MarkerAtSampleFive_ThatSampleIsZero)
{
    const MarkerCase& c = GetParam();
    Detect({Unit("A1", "P7", 0, c.productType)});
    ChangeSyncMode("Hardware trigger");
    ASSERT_TRUE(ArmAll());
    // A start time plays no part in this mode.
    shared->StartCapture(0.0);
    Block block(1);
    block.SetTriggerAll(c.idle);
    block.SetCounters(1000);
    shared->OnDataReady(block.Data());
    // Close to the marker is not the marker.
    block.SetTrigger(3, 0, c.active + 0.001f);
    block.SetCounters(1016);
    shared->OnDataReady(block.Data());
    EXPECT_TRUE(Pushed(Plates()[0]).empty());

    block.SetTrigger(5, 0, c.active);
    block.SetCounters(1032);
    shared->OnDataReady(block.Data());
    block.SetTriggerAll(c.idle);
    block.SetCounters(1048);
    shared->OnDataReady(block.Data());

    EXPECT_EQ(Frames(Pushed(Plates()[0])), (std::vector<std::int64_t>{-5, 11}));
}

INSTANTIATE_TEST_SUITE_P(Cases, HardwareTrigger, ::testing::ValuesIn(MarkerCases),
                         [](const ::testing::TestParamInfo<MarkerCase>& info) { return info.param.name; });

TEST_F(DeviceBench, OnDataReady_MarkersOnTwoUnits_LaterUnitDecides)
{
    Detect({Unit("A1", "P1", 0), Unit("A2", "P2", 1)});
    ChangeSyncMode("Hardware trigger");
    ASSERT_TRUE(ArmAll());
    Block block(2);
    block.SetCounters(2000);
    block.SetTrigger(3, 0, 1.0f);
    block.SetTrigger(9, 1, 1.0f);
    shared->OnDataReady(block.Data());

    for (const PlatePtr& plate : Plates())
        EXPECT_EQ(Frames(Pushed(plate)), (std::vector<std::int64_t>{-9}));
}

TEST_F(DeviceBench, OnDataReady_FewerMarkersThanUnits_ReadsOnlyExistingMarkers)
{
    // The unsupported unit 0 keeps its column in the block but has no marker:
    // one marker for two columns, and only column 0 is searched.
    Detect({Unit("A0", "P0", 0, 200), Unit("A1", "P1", 1)});
    ChangeSyncMode("Hardware trigger");
    ASSERT_TRUE(ArmAll());
    const PlatePtr plate = Plates().at(0);
    Block block(2);
    block.SetCounters(3000);
    block.SetTrigger(4, 1, 1.0f);
    shared->OnDataReady(block.Data());
    EXPECT_TRUE(Pushed(plate).empty());

    block.SetCounters(3016);
    block.SetTrigger(2, 0, 1.0f);
    block.SetLoad(1, {0, 0, -100, 0, 0, 0});
    shared->OnDataReady(block.Data());
    const std::vector<zorvahost::PushedBlock> pushed = Pushed(plate);
    ASSERT_EQ(Frames(pushed), (std::vector<std::int64_t>{-2}));
    // The plate reads its own column, the second of two.
    EXPECT_FLOAT_EQ(pushed[0].values[2], 100.0f);
}

TEST_F(DeviceBench, OnDataReady_Genlock_NeverAlignsFirstBlockIsItsCounter)
{
    Detect({Unit("A1", "P7", 0)});
    ChangeSyncMode("Genlock");
    ASSERT_TRUE(ArmAll());
    Block block(1);
    block.SetCounters(700);
    shared->OnDataReady(block.Data());
    EXPECT_EQ(Frames(Pushed(Plates()[0])), (std::vector<std::int64_t>{700}));
}

// Regression: genlock never aligns, so a genlock capture after a software
// capture numbered its samples by the counter minus that capture's offset
// (1600 here): numbers that depended on what the session did before.
TEST_F(DeviceBench, OnDataReady_GenlockAfterSoftwareCapture_NumbersAreTheCounters)
{
    Detect({Unit("A1", "P7", 0)});
    ASSERT_TRUE(ArmAll());
    shared->StartCapture(0.0);
    host.SetTime(0.5);
    Block block(1);
    block.SetCounters(900); // offset 400
    shared->OnDataReady(block.Data());

    ChangeSyncMode("Genlock");
    ASSERT_TRUE(ArmAll());
    block.SetCounters(2000);
    shared->OnDataReady(block.Data());

    EXPECT_EQ(Frames(Pushed(Plates()[0])), (std::vector<std::int64_t>{500, 2000}));
}

TEST_F(DeviceBench, OnDataReady_NullBlock_LogsAndWritesNothing)
{
    Detect({Unit("A1", "P7", 0)});
    ChangeSyncMode("Genlock");
    ASSERT_TRUE(ArmAll());
    shared->OnDataReady(nullptr);
    EXPECT_EQ(LogTexts(host, LogLevel::Warning), Lines{"Transfer data called with null pointer"});
    EXPECT_TRUE(Pushed(Plates()[0]).empty());
}

TEST_F(DeviceBench, OnDataReady_PlateTheHostRefused_OthersStillWrite)
{
    ZORVA::VZORVA_Pendra_PlateDefinition pendra;
    host.FailCall("InstantiateDevice(" + zorvahost::Quote(pendra.Manufacturer.c_str()) + ", " +
                      zorvahost::Quote(pendra.Name.c_str()) + ", " + zorvahost::Quote(pendra.Version.c_str()) +
                      ", \"A2P2\")",
                  "no licence");
    Detect({Unit("A1", "P1", 0), Unit("A2", "P2", 1)});
    EXPECT_EQ(LogTexts(host, LogLevel::Warning),
              Lines{"Host returned \"no licence\" when trying to instantiate device Pendra-600"});
    ChangeSyncMode("Genlock");
    ASSERT_EQ(Plates().size(), 2u);
    ASSERT_TRUE(ArmAll());
    Block block(2);
    shared->OnDataReady(block.Data());

    EXPECT_EQ(Pushed(Plates()[0]).size(), 1u);
    EXPECT_EQ(ServicesOf(Plates()[1]), nullptr);
    // Never attached, yet part of every state change.
    shared->Disarm();
    EXPECT_EQ(PlateState(Plates()[1]), ZORVA::DeviceState::Stopped);
}

TEST_F(DeviceBench, OnDataReady_AfterDisarm_KeepsTransferring)
{
    Detect({Unit("A1", "P7", 0)});
    ChangeSyncMode("Genlock");
    ASSERT_TRUE(ArmAll());
    Block block(1);
    block.SetCounters(0);
    shared->OnDataReady(block.Data());
    shared->Disarm();
    block.SetCounters(16);
    shared->OnDataReady(block.Data());
    EXPECT_EQ(Frames(Pushed(Plates()[0])), (std::vector<std::int64_t>{0, 16}));
}

TEST_F(DeviceBench, OnDataReady_ThresholdChanged_NextBlockUsesIt)
{
    Detect({Unit("A1", "P7", 0)});
    ChangeSyncMode("Genlock");
    ASSERT_TRUE(ArmAll());
    Block block(1);
    block.SetLoad(0, {0, 0, -30, 0, 0, 0});
    shared->OnDataReady(block.Data());
    ChangeThreshold(40.0);
    block.SetCounters(16);
    shared->OnDataReady(block.Data());

    const std::vector<zorvahost::PushedBlock> pushed = Pushed(Plates()[0]);
    ASSERT_EQ(pushed.size(), 2u);
    EXPECT_FLOAT_EQ(pushed[0].values[2], 30.0f);
    EXPECT_FLOAT_EQ(pushed[1].values[2], 0.0f);
}

} // namespace
