// A host may call back into any device from inside any call the plugin makes
// into it (but Log and GetTime): to show a status, to disarm, to apply
// settings. The plugin holds none of its locks across those calls, so none of
// that deadlocks, races or changes the data. And the check that says so (every
// test program runs it, tests/support/LockCheck.cpp) does catch a call made
// under a lock.
#include "DevicesTestSupport.h"
#include "hostkit/VirtualTime.h"

#include "tests/support/LockCheck.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>

using namespace devtest;
using namespace MoldraDigitalDevice;

namespace {

const char* const TwoLoadedPlates = R"(
[scenario]
init_polls = 1
[unit A]
amplifier_serial = A1
platform_model = Pendra-600
platform_serial = P1
force = 0 0 -700
moment = 3 -7 0
[unit B]
amplifier_serial = A2
platform_model = Pendra-600
platform_serial = P2
force = 0 0 -650
)";

enum class CallBack
{
    None,
    GetState,
    Disarm,
    ParametersChanged
};

struct CallBackCase
{
    const char* name;
    const char* operation; ///< the host operation the call-back is made from
    CallBack callBack;
};

void PrintTo(const CallBackCase& c, std::ostream* os) { *os << c.name; }

/// What the host received, plate by plate.
typedef std::vector<std::vector<zorvahost::PushedBlock>> Received;

/// One session on a bench of its own: the shared device on a driver service
/// over the simulated library (stepped blocks, virtual time), a host that
/// calls back into the devices as the case says.
class CallBackSession
{
public:
    explicit CallBackSession(const CallBackCase& c) : case_(c) { zorvatest::StartSimulatedBench(host_); }
    ~CallBackSession()
    {
        host_.CallBackFrom(case_.operation, nullptr);
        service_.reset();
        shared_.reset();
        zorvatest::StopSimulatedBench();
    }

    /// Detection, a threshold and a rate change, arming, eight blocks of a
    /// capture, a blink; what the host received.
    Received Run()
    {
        if (case_.callBack != CallBack::None)
            host_.CallBackFrom(case_.operation, [this] { MakeCallBack(); });
        EXPECT_TRUE(zorvasim::LoadScenarioText(TwoLoadedPlates));
        service_.reset(new ZORVA::VZORVADriverService(&host_));
        shared_.reset(new ZORVA::VSharedConfigDevice(&host_, service_.get()));
        shared_->instantiator = &host_;
        shared_->Attach(&sharedServices_);
        // A detection ends with its result and then its report of acquisition stopped.
        EXPECT_TRUE(WaitUntil([this] { return sharedServices_.NotifyCount() >= 2; }));
        host_.AttachNewDevices();

        IParameterValueDouble threshold = DoubleValue(30.0);
        sharedServices_.ChangeParameter("DataThreshold", threshold, DataThresholdId);
        IParameterValueEnum rate = EnumValue("500");
        sharedServices_.ChangeParameter("SampleRate", rate, SampleRateId);
        shared_->ParametersChanged();

        unsigned int stream = 10;
        for (const PlatePtr& plate : shared_->Plates())
            plate->Arm(stream++, &setup_);
        shared_->Arm(1, nullptr);
        shared_->StartCapture(0.0);
        // The start is reported right after the library started.
        EXPECT_TRUE(WaitUntil([] {
            for (const std::string& line : zorvasim::GetTrace()) {
                if (line == "L0 ::fmBroadcastStart()")
                    return true;
            }
            return false;
        }));
        for (int i = 0; i < 8; ++i) {
            zorvasim::DeliverBlocks(1);
            EXPECT_TRUE(hostkit::virtualtime::Drain());
        }
        IParameterValueAction blink = ActionValue();
        Services(shared_->Plates()[0])->ChangeParameter("BlinkAction", blink, BlinkActionId);
        shared_->Plates()[0]->ParametersChanged();

        Received received;
        for (const PlatePtr& plate : shared_->Plates())
            received.push_back(Services(plate)->PushedBlocks());
        return received;
    }

    int CallBacks() const { return callBacks_.load(); }

private:
    zorvahost::DeviceServices* Services(const PlatePtr& plate)
    {
        for (const zorvahost::InstantiatedDevice& device : host_.Instantiated()) {
            if (device.device == plate.get())
                return device.services.get();
        }
        return nullptr;
    }

    void MakeCallBack()
    {
        ++callBacks_;
        std::vector<IDevice*> devices{shared_.get()};
        for (const zorvahost::InstantiatedDevice& device : host_.Instantiated())
            devices.push_back(device.device);
        for (IDevice* device : devices) {
            switch (case_.callBack) {
            case CallBack::None: break;
            case CallBack::GetState: {
                int state = 0;
                bool rearm = false;
                device->GetState(&state, &rearm);
                break;
            }
            case CallBack::Disarm: device->Disarm(); break;
            case CallBack::ParametersChanged: device->ParametersChanged(); break;
            }
        }
    }

    const CallBackCase case_;
    zorvahost::RecordingHost host_;
    zorvahost::DeviceServices sharedServices_{host_, "ZORVA Shared Config Device"};
    zorvahost::CaptureSetup setup_{host_};
    std::unique_ptr<ZORVA::VZORVADriverService> service_;
    std::unique_ptr<ZORVA::VSharedConfigDevice> shared_;
    std::atomic<int> callBacks_{0};
};

/// A session on a thread of its own: a deadlock ends the program with a
/// message rather than hanging it.
Received RunOrDeadlock(CallBackSession& session, const char* name)
{
    std::future<Received> run = std::async(std::launch::async, [&session] { return session.Run(); });
    if (run.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
        std::fprintf(stderr, "%s: the session did not end within 30 s: a deadlock\n", name);
        std::fflush(stderr);
        std::_Exit(1);
    }
    return run.get();
}

class HostCallBack : public ::testing::TestWithParam<CallBackCase>
{};

TEST_P(HostCallBack, Session_HostCallsBackFromInside_NoDeadlockSameData)
{
    const CallBackCase& c = GetParam();
    Received expected;
    {
        CallBackSession reference(CallBackCase{"reference", "", CallBack::None});
        expected = RunOrDeadlock(reference, "reference");
    }
    CallBackSession session(c);
    const Received received = RunOrDeadlock(session, c.name);

    EXPECT_GT(session.CallBacks(), 0) << "the host never called back from " << c.operation;
    ASSERT_EQ(received.size(), expected.size());
    for (std::size_t p = 0; p < expected.size(); ++p) {
        ASSERT_FALSE(expected[p].empty());
        ASSERT_EQ(received[p].size(), expected[p].size()) << "plate " << p;
        for (std::size_t b = 0; b < expected[p].size(); ++b) {
            EXPECT_EQ(received[p][b].stream, expected[p][b].stream);
            EXPECT_EQ(received[p][b].frame, expected[p][b].frame);
            EXPECT_EQ(received[p][b].values, expected[p][b].values);
        }
    }
}

const CallBackCase CallBackCases[] = {
    {"PushSamples_GetState", "PushSamples", CallBack::GetState},
    {"PushSamples_Disarm", "PushSamples", CallBack::Disarm},
    {"PushSamples_ParametersChanged", "PushSamples", CallBack::ParametersChanged},
    {"GetParameterValue_GetState", "GetParameterValue", CallBack::GetState},
    {"GetParameterValue_Disarm", "GetParameterValue", CallBack::Disarm},
    {"GetParameterValue_ParametersChanged", "GetParameterValue", CallBack::ParametersChanged},
    {"GetChangedParameters_GetState", "GetChangedParameters", CallBack::GetState},
    {"GetChangedParameters_Disarm", "GetChangedParameters", CallBack::Disarm},
    {"GetChangedParameters_ParametersChanged", "GetChangedParameters", CallBack::ParametersChanged},
    {"SetParameterValue_GetState", "SetParameterValue", CallBack::GetState},
    {"SetParameterValue_Disarm", "SetParameterValue", CallBack::Disarm},
    {"SetParameterValue_ParametersChanged", "SetParameterValue", CallBack::ParametersChanged},
    // Every other call the plugin makes into the host, for a host that shows a status.
    {"GetChangedParameterCount_GetState", "GetChangedParameterCount", CallBack::GetState},
    {"NotifyChanged_GetState", "NotifyChanged", CallBack::GetState},
    {"InstantiateDevice_GetState", "InstantiateDevice", CallBack::GetState},
    {"SetSamplesPerBlock_GetState", "SetSamplesPerBlock", CallBack::GetState},
    {"SetTicksPerSample_GetState", "SetTicksPerSample", CallBack::GetState},
    {"SetTimingMode_GetState", "SetTimingMode", CallBack::GetState},
    {"GetTickRate_GetState", "GetTickRate", CallBack::GetState},
};

INSTANTIATE_TEST_SUITE_P(Cases, HostCallBack, ::testing::ValuesIn(CallBackCases),
                         [](const ::testing::TestParamInfo<CallBackCase>& info) { return info.param.name; });

// The check itself: a host call made while a plugin lock is held is
// reported, with the call; Log and GetTime are allowed under a lock.
TEST(LockCheck, HostCall_PluginLockHeld_Reported)
{
    std::vector<std::string> reported;
    zorvahost::SetLockCheck(
        [] { return ZORVA::HeldPluginLocks(); },
        [&](const std::string& call, int held) { reported.push_back(call + " with " + std::to_string(held)); });
    zorvahost::RecordingHost host;
    zorvahost::DeviceServices services(host, "A1P1");
    {
        ZORVA::Mutex outer;
        ZORVA::Mutex inner;
        ZORVA::MutexLock first(outer);
        ZORVA::MutexLock second(inner);
        host.Log("allowed", 0);
        host.GetTime();
        services.NotifyChanged();
        IParameterValueBool value;
        services.GetParameterValue(&value, "Connected", "");
    }
    services.NotifyChanged();
    zorvatest::InstallLockCheck();

    EXPECT_EQ(reported,
              (Lines{"NotifyChanged(\"A1P1\") with 2", "GetParameterValue(\"A1P1\", \"Connected\", \"\") with 2"}));
    EXPECT_EQ(ZORVA::HeldPluginLocks(), 0);
}

} // namespace
