// The Windows layout only: slot 0 of the objects a host calls into behaves
// like the scalar deleting destructor a Microsoft-compiled host expects there.
#include "host/HostAbi.h"
#include "values/ParameterValues.h"

#include <gtest/gtest.h>

#include <new>

using namespace MoldraDigitalDevice;

namespace {

int g_destroyed = 0;

class Probe final : public IParameterValue
{
    ZORVA_HOST_OBJECT(Probe)

public:
    ~Probe() { ++g_destroyed; }
    int GetType() override { return -1; }
    bool CopyTo(IParameterValue&) override { return false; }
    bool ReadFrom(const unsigned char*, unsigned int) override { return false; }
    void SetFlagA(bool) override {}
    bool GetFlagA() override { return false; }
    void SetFlagB(bool) override {}
    bool GetFlagB() override { return false; }
    void SetFlagC(bool) override {}
    bool GetFlagC() override { return false; }
    bool IsEqual(IParameterValue&) override { return false; }
};

} // namespace

TEST(HostAbiWindows, ScalarDeletingDestructor_FlagZero_DestroysWithoutFreeing)
{
    alignas(Probe) unsigned char storage[sizeof(Probe)];
    IParameterValue* value = new (storage) Probe();
    g_destroyed = 0;
    // Freeing storage on the stack would corrupt the heap.
    EXPECT_EQ(value->ScalarDeletingDestructor(0), static_cast<void*>(storage));
    EXPECT_EQ(g_destroyed, 1);
}

TEST(HostAbiWindows, ScalarDeletingDestructor_FlagOne_DestroysAndFrees)
{
    IParameterValue* value = new Probe();
    void* const address = value;
    g_destroyed = 0;
    EXPECT_EQ(value->ScalarDeletingDestructor(1), address);
    EXPECT_EQ(g_destroyed, 1);
}

TEST(HostAbiWindows, DeleteHostObject_ThroughTheInterface_DestroysTheWholeObject)
{
    IParameterValue* value = new Probe();
    g_destroyed = 0;
    DeleteHostObject(value);
    EXPECT_EQ(g_destroyed, 1);
}
