// The host kit's owner side: what an arming did, as a result its callers
// read, and the devices the plugin offered as plain records.
#include "hostkit/Host.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace MoldraDigitalDevice;

namespace {

/// A device that arms or refuses as told, and counts its arming.
class Device final : public IDevice
{
    ZORVA_HOST_OBJECT(Device)

public:
    explicit Device(bool arms) : arms_(arms) {}
    int armed = 0;

    void Attach(IDeviceHost*) override {}
    void ParametersChanged() override {}
    bool Arm(unsigned int, ICaptureSetup*) override
    {
        ++armed;
        return arms_;
    }
    void Reserved() override {}
    void StartCapture(double) override {}
    void Disarm() override {}
    void GetState(int* state, bool* rearmRequired) override
    {
        *state = arms_ ? DeviceStateArmed : DeviceStateStopped;
        *rearmRequired = !arms_;
    }

private:
    bool arms_;
};

} // namespace

TEST(HostKitHost, ArmAll_PlatesThatRefuse_NamedInOrderAndTheSharedDeviceDecides)
{
    struct Case
    {
        const char* name;
        bool sharedArms;
        std::vector<bool> platesArm;
        std::vector<std::string> refused;
    };
    const Case cases[] = {
        {"AllArm", true, {true, true}, {}},
        {"TwoRefuse", true, {false, true, false}, {"plate 0", "plate 2"}},
        {"SharedRefuses", false, {true}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        hostkit::Host host;
        Device shared(c.sharedArms);
        std::vector<std::unique_ptr<Device>> plates;
        host.InstantiateDevice("ZORVA", "Shared", "1", "shared", &shared);
        for (std::size_t i = 0; i < c.platesArm.size(); ++i) {
            plates.push_back(std::make_unique<Device>(c.platesArm[i]));
            host.InstantiateDevice("ZORVA", "Plate", "1", ("plate " + std::to_string(i)).c_str(), plates.back().get());
        }
        const hostkit::ArmResult result = host.ArmAll();
        EXPECT_EQ(result.armed, c.sharedArms);
        EXPECT_EQ(result.refused, c.refused);
        EXPECT_EQ(shared.armed, 1);
        // What the host reads of a device goes through the host, by its record.
        const std::vector<hostkit::OfferedDevice> offered = host.Instances();
        EXPECT_EQ(host.StatusOf(offered.at(0)).rearmRequired, !c.sharedArms);
        EXPECT_TRUE(offered.at(0).SameDevice(host.Instances().at(0)));
        if (offered.size() > 1) {
            EXPECT_FALSE(offered.at(0).SameDevice(offered.at(1)));
        }
    }
}

TEST(HostKitHost, ArmAll_NoDeviceOffered_NotArmed)
{
    hostkit::Host host;
    const hostkit::ArmResult result = host.ArmAll();
    EXPECT_FALSE(result.armed);
    EXPECT_TRUE(result.refused.empty());
}
