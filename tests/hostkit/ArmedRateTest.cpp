// The host kit's armed rate, read back from the ticks per sample a device
// declares when armed: the rate they stand for among those the shared
// definition's SampleRate setting offers, not the truncated quotient.
#include "definitions/VSharedConfigDefinition.h"
#include "hostkit/Host.h"
#include "plugin/Plugin.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace MoldraDigitalDevice;

namespace {

/// A device that declares its stream as a plate does: ticks per sample.
class Declares final : public IDevice
{
    ZORVA_HOST_OBJECT(Declares)

public:
    unsigned int ticks = 0;

    void Attach(IDeviceHost*) override {}
    void ParametersChanged() override {}
    bool Arm(unsigned int, ICaptureSetup* setup) override
    {
        setup->SetTicksPerSample(ticks);
        return true;
    }
    void Reserved() override {}
    void StartCapture(double) override {}
    void Disarm() override {}
    void GetState(int* state, bool* rearmRequired) override
    {
        *state = DeviceStateStopped;
        *rearmRequired = false;
    }
};

/// A host with the plugin's shared definition and one device of it, its
/// SampleRate set to `setting`.
class SharedRateHost
{
public:
    SharedRateHost(unsigned int tickRate, const std::string& setting)
    {
        host.SetTickRate(tickRate);
        ZORVA::sharedConfigDefinition.Describe(&host, true);
        const hostkit::Definition shared = host.Definitions().at(0);
        host.InstantiateDevice(shared.manufacturer.c_str(), shared.name.c_str(), shared.version.c_str(), "Shared",
                               &device);
        IParameterValueEnum rate;
        rate.SetValue(setting);
        EXPECT_TRUE(host.ChangeSetting(host.Instances().at(0), "SampleRate", rate));
    }

    /// Arms the device with these ticks per sample; the host's armed rate.
    unsigned int ArmAt(unsigned int ticks)
    {
        device.ticks = ticks;
        EXPECT_TRUE(host.ArmAll().armed);
        return host.ArmedRate();
    }

    hostkit::Host host;
    Declares device;
};

} // namespace

// Regression: the host kit read the rate back as the tick rate divided by the
// ticks per sample; the device's truncation of tickRate / rate made that 1801
// for 1800 and 1501 for 1500 at a million ticks per second.
TEST(HostKitArmedRate, ArmAll_EveryOfferedRate_TheRateItself)
{
    for (unsigned int tickRate : {1000000u, 3600000u, 100000u}) {
        SharedRateHost shared(tickRate, "1000");
        for (unsigned int rate : ZORVA::StandardRates)
            EXPECT_EQ(shared.ArmAt(tickRate / rate), rate) << tickRate << " ticks per second";
    }
}

struct ArmedRateCase
{
    const char* name;
    unsigned int tickRate;
    std::string setting; ///< the host's SampleRate
    unsigned int ticks;  ///< what the device declared
    unsigned int rate;   ///< the host's armed rate
};

TEST(HostKitArmedRate, ArmAll_TicksAndSetting_TheOfferedRateTheyStandFor)
{
    const ArmedRateCase cases[] = {
        // The plugin adjusts a rate the units lack and leaves the setting as it was.
        {"RateTheUnitsLack_TheRateRun", 1000000, "2000", 1000000 / 1200, 1200},
        // 10 000 / 2000 and 10 000 / 1800 are both 5.
        {"CoarseTicks_TheSettingAmongThem", 10000, "1800", 5, 1800},
        {"CoarseTicks_SettingNotAmongThem_TheHighest", 10000, "1000", 5, 2000},
        {"TicksOfNoOfferedRate_TheQuotient", 1000000, "1000", 1000000 / 1234, 1234},
        {"NoTicks_Unknown", 100, "1000", 0, 0},
    };
    for (const ArmedRateCase& c : cases) {
        SharedRateHost shared(c.tickRate, c.setting);
        EXPECT_EQ(shared.ArmAt(c.ticks), c.rate) << c.name;
    }
}

TEST(HostKitArmedRate, RateOfTicks_NoOfferedRates_TheQuotient)
{
    EXPECT_EQ(hostkit::RateOfTicks(1000000, 555, {}, 1800), 1801u);
    EXPECT_EQ(hostkit::RateOfTicks(1000000, 0, {}, 1800), 0u);
}
