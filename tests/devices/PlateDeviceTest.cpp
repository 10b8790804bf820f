// The plate device toward the host: its name and published parameters, its
// connection status, and the data stream it declares when armed.
#include "DevicesTestSupport.h"

#include "plugin/Plugin.h"

using namespace devtest;
using namespace MoldraDigitalDevice;

namespace {

class PlateDevice : public ::testing::Test
{
protected:
    std::unique_ptr<ZORVA::VZORVATrelDevice> Make(const DeviceInfo& info, unsigned int rate = 1000)
    {
        return std::unique_ptr<ZORVA::VZORVATrelDevice>(
            new ZORVA::VZORVATrelDevice(rate, info, nullptr, &host, nullptr));
    }

    zorvahost::RecordingHost host;
    zorvahost::DeviceServices services{host, "A1P7"};
    zorvahost::CaptureSetup setup{host};
};

TEST_F(PlateDevice, Attach_NewPlate_PublishesIdentityOriginThenConnected)
{
    DeviceInfo info = Unit("A1", "P7", 0);
    info.firmwareVersion = "3.2.7";
    info.originOffsets = {1, 1, 1};
    std::unique_ptr<ZORVA::VZORVATrelDevice> plate = Make(info);
    EXPECT_EQ(plate->Name(), "A1P7");
    EXPECT_EQ(LogTexts(host, LogLevel::Information), Lines{"Instantiating device 0: ZDA-100 A1 Pendra-600 P7"});
    EXPECT_EQ(host.Calls(), Lines{});

    plate->Attach(&services);

    auto origin = [](double metres) {
        IParameterValueDouble value;
        value.Value = metres;
        value.FlagA = true;
        value.FlagB = true;
        return zorvahost::DescribeValue(value);
    };
    // One inch each way, as single-precision products widened to double.
    const double inch = static_cast<double>(1.0f * 0.0254f);
    const std::string s = "SetParameterValue(\"A1P7\", ";
    EXPECT_EQ(
        host.Calls(),
        (Lines{s + "\"AmplifierSerial\", \"\", String(\"A1\" flags 110))",
               s + "\"AmplifierModel\", \"\", String(\"ZDA-100\" flags 110))",
               s + "\"PlatformModel\", \"\", String(\"Pendra-600\" flags 110))",
               s + "\"PlatformSerial\", \"\", String(\"P7\" flags 110))",
               s + "\"FirmwareVersion\", \"\", String(\"3.2.7\" flags 110))",
               s + "\"ParameterA\", \"\", " + origin(-inch) + ")", s + "\"ParameterB\", \"\", " + origin(inch) + ")",
               s + "\"ParameterAZ0\", \"\", " + origin(inch) + ")", "GetParameterValue(\"A1P7\", \"Connected\", \"\")",
               s + "\"Connected\", \"\", Bool(true flags 000))"}));
}

TEST_F(PlateDevice, Attach_HostHoldsConnectedFalse_PublishesTrue)
{
    IParameterValueBool off;
    off.Value = false;
    services.ChangeParameter("Connected", off, 0);
    std::unique_ptr<ZORVA::VZORVATrelDevice> plate = Make(Unit("A1", "P7", 0));
    plate->Attach(&services);
    auto* connected = dynamic_cast<IParameterValueBool*>(services.Parameter("Connected").get());
    ASSERT_NE(connected, nullptr);
    EXPECT_TRUE(connected->Value);
}

TEST_F(PlateDevice, SetConnected_Attached_PublishesEachChange)
{
    std::unique_ptr<ZORVA::VZORVATrelDevice> plate = Make(Unit("A1", "P7", 0));
    plate->SetConnected(true); // not attached: nothing to tell
    EXPECT_EQ(host.Calls(), Lines{});
    plate->Attach(&services);
    const std::size_t before = host.Calls().size();
    plate->SetConnected(false);
    plate->SetConnected(true);
    const std::string s = "SetParameterValue(\"A1P7\", \"Connected\", \"\", ";
    EXPECT_EQ(CallsSince(host, before), (Lines{s + "Bool(false flags 000))", s + "Bool(true flags 000))"}));
}

TEST_F(PlateDevice, Attach_Null_Ignored)
{
    std::unique_ptr<ZORVA::VZORVATrelDevice> plate = Make(Unit("A1", "P7", 0));
    plate->Attach(nullptr);
    plate->ParametersChanged();
    EXPECT_FALSE(plate->Arm(1, &setup));
    EXPECT_EQ(host.Calls(), Lines{});
}

struct ArmCase
{
    const char* name;
    ZORVA::SyncMode syncMode;
    int deviceIndex;
    unsigned int tickRate;
    unsigned int sampleRate;
    bool connected;
    bool result;
    Lines calls;
};

void PrintTo(const ArmCase& c, std::ostream* os) { *os << c.name; }

class PlateArm : public PlateDevice, public ::testing::WithParamInterface<ArmCase>
{};

const char* const Sync1500 = "AddSyncInput(\"Sync Port\", 1, 1500, 0, 0, true)";

const ArmCase ArmCases[] = {
    {"SoftwareTrigger",
     SyncMode::SoftwareTrigger,
     0,
     1000000,
     1000,
     true,
     true,
     {"SetSamplesPerBlock(16)", "SetTicksPerSample(1000)", "SetTimingMode(2)"}},
    {"HardwareTriggerFirstUnit_SyncInput",
     SyncMode::HardwareTrigger,
     0,
     1000000,
     1000,
     true,
     true,
     {"SetSamplesPerBlock(16)", "SetTicksPerSample(1000)", "SetTimingMode(2)", Sync1500}},
    {"HardwareTriggerSecondUnit_NoSyncInput",
     SyncMode::HardwareTrigger,
     1,
     1000000,
     1000,
     true,
     true,
     {"SetSamplesPerBlock(16)", "SetTicksPerSample(1000)", "SetTimingMode(2)"}},
    {"GenlockFirstUnit_NoSyncInput",
     SyncMode::Genlock,
     0,
     1000000,
     1000,
     true,
     true,
     {"SetSamplesPerBlock(16)", "SetTicksPerSample(1000)", "SetTimingMode(2)"}},
    // Fewer ticks than samples a second: 0 ticks, and a tolerance of 1.
    {"TickRateBelowSampleRate_ToleranceOne",
     SyncMode::HardwareTrigger,
     0,
     500,
     1000,
     true,
     true,
     {"SetSamplesPerBlock(16)", "SetTicksPerSample(0)", "SetTimingMode(2)",
      "AddSyncInput(\"Sync Port\", 1, 1, 0, 0, true)"}},
    {"ToleranceTruncated",
     SyncMode::HardwareTrigger,
     0,
     1000000,
     600,
     true,
     true,
     {"SetSamplesPerBlock(16)", "SetTicksPerSample(1666)", "SetTimingMode(2)",
      "AddSyncInput(\"Sync Port\", 1, 2499, 0, 0, true)"}},
    {"Disconnected_NoSetUpCall", SyncMode::HardwareTrigger, 0, 1000000, 1000, false, false, {}},
    {"RateZero_OnlySamplesPerBlock", SyncMode::SoftwareTrigger, 0, 1000000, 0, true, false, {"SetSamplesPerBlock(16)"}},
};

TEST_P(PlateArm, Arm_Settings_DeclaresStream)
{
    const ArmCase& c = GetParam();
    host.SetTickRate(c.tickRate);
    std::unique_ptr<ZORVA::VZORVATrelDevice> plate = Make(Unit("A1", "P7", c.deviceIndex), c.sampleRate);
    plate->Attach(&services);
    plate->SetConnected(c.connected);
    plate->SetSyncMode(c.syncMode);
    const std::size_t before = host.Calls().size();

    EXPECT_EQ(plate->Arm(3, &setup), c.result);
    EXPECT_EQ(CallsSince(host, before), c.calls);
    int state = -1;
    bool rearm = true;
    plate->GetState(&state, &rearm);
    EXPECT_EQ(static_cast<ZORVA::DeviceState>(state), ZORVA::DeviceState::Armed); // also when arming failed
    EXPECT_FALSE(rearm);
}

INSTANTIATE_TEST_SUITE_P(Cases, PlateArm, ::testing::ValuesIn(ArmCases),
                         [](const ::testing::TestParamInfo<ArmCase>& info) { return info.param.name; });

TEST_F(PlateDevice, Arm_NullSetup_FalseWithoutCalls)
{
    std::unique_ptr<ZORVA::VZORVATrelDevice> plate = Make(Unit("A1", "P7", 0));
    plate->Attach(&services);
    const std::size_t before = host.Calls().size();
    EXPECT_FALSE(plate->Arm(1, nullptr));
    EXPECT_EQ(CallsSince(host, before), Lines{});
}

TEST_F(PlateDevice, GetState_New_AcquiringAndNoRearm)
{
    std::unique_ptr<ZORVA::VZORVATrelDevice> plate = Make(Unit("A1", "P7", 0));
    int state = -1;
    bool rearm = true;
    plate->GetState(&state, &rearm);
    EXPECT_EQ(static_cast<ZORVA::DeviceState>(state), ZORVA::DeviceState::Acquiring);
    EXPECT_FALSE(rearm);
    plate->GetState(nullptr, nullptr);
}

} // namespace
