// The virtual-table layout of the objects a host calls into, as this compiler
// lays them out. A pointer to a virtual member function holds 1 + the
// function's byte offset in the virtual table (g++'s C++ ABI, on Linux and on
// MinGW alike), so each operation's slot can be read back and compared with
// the host's: the destructor first (two slots for g++ hosts, one for
// Microsoft-compiled hosts), then the operations in the host's order.
#include "devices/VSharedConfigDevice.h"
#include "devices/VZORVATrelDevice.h"
#include "host/HostAbi.h"
#include "host/IDevice.h"
#include "values/ParameterValues.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <string>

using namespace MoldraDigitalDevice;

namespace {

template <typename MemberFunction>
std::ptrdiff_t VtableOffset(MemberFunction function)
{
    static_assert(sizeof function == 2 * sizeof(std::ptrdiff_t), "a pointer to member function of this ABI");
    std::ptrdiff_t words[2];
    std::memcpy(words, &function, sizeof words);
    return words[0] - 1;
}

/// The byte offset of the operation at `position` after the destructor.
std::ptrdiff_t HostOffset(int position)
{
    return static_cast<std::ptrdiff_t>((HostDestructorSlots + position) * sizeof(void*));
}

struct Slot
{
    const char* name;
    std::ptrdiff_t offset;
    int position;
};

} // namespace

TEST(HostAbi, ValueOperations_FollowTheDestructorInTheHostsOrder)
{
    typedef IParameterValueTemplate<double> DoubleTemplate;
    const Slot slots[] = {
        {"GetType", VtableOffset(&IParameterValue::GetType), 0},
        {"CopyTo", VtableOffset(&IParameterValue::CopyTo), 1},
        {"ReadFrom", VtableOffset(&IParameterValue::ReadFrom), 2},
        {"SetFlagA", VtableOffset(&IParameterValue::SetFlagA), 3},
        {"GetFlagA", VtableOffset(&IParameterValue::GetFlagA), 4},
        {"SetFlagB", VtableOffset(&IParameterValue::SetFlagB), 5},
        {"GetFlagB", VtableOffset(&IParameterValue::GetFlagB), 6},
        {"SetFlagC", VtableOffset(&IParameterValue::SetFlagC), 7},
        {"GetFlagC", VtableOffset(&IParameterValue::GetFlagC), 8},
        {"IsEqual", VtableOffset(&IParameterValue::IsEqual), 9},
        {"SetValue", VtableOffset(&DoubleTemplate::SetValue), 10},
        {"GetValue", VtableOffset(&DoubleTemplate::GetValue), 11},
        {"WriteExtra", VtableOffset(&DoubleTemplate::WriteExtra), 12},
        {"ReadExtra", VtableOffset(&DoubleTemplate::ReadExtra), 13},
        {"SetEnumValues", VtableOffset(&IParameterValueEnum::SetEnumValues), 14},
    };
    for (const Slot& slot : slots)
        EXPECT_EQ(slot.offset, HostOffset(slot.position)) << slot.name;
}

TEST(HostAbi, DeviceOperations_FollowTheDestructorInTheHostsOrder)
{
    const Slot slots[] = {
        {"Attach", VtableOffset(&IDevice::Attach), 0},
        {"ParametersChanged", VtableOffset(&IDevice::ParametersChanged), 1},
        {"Arm", VtableOffset(&IDevice::Arm), 2},
        {"Reserved", VtableOffset(&IDevice::Reserved), 3},
        {"StartCapture", VtableOffset(&IDevice::StartCapture), 4},
        {"Disarm", VtableOffset(&IDevice::Disarm), 5},
        {"GetState", VtableOffset(&IDevice::GetState), 6},
        // The plate's own operations come after the seven of IDevice.
        {"SetConnected", VtableOffset(&ZORVA::VZORVATrelDevice::SetConnected), 7},
        {"SetDataThreshold", VtableOffset(&ZORVA::VZORVATrelDevice::SetDataThreshold), 8},
        {"SetSyncMode", VtableOffset(&ZORVA::VZORVATrelDevice::SetSyncMode), 9},
    };
    for (const Slot& slot : slots)
        EXPECT_EQ(slot.offset, HostOffset(slot.position)) << slot.name;
}

TEST(HostAbi, DeleteHostObject_ThroughTheInterface_DestroysTheWholeValue)
{
    // An enumeration owns heap memory in its list: a partial destruction leaks
    // it (the leak checker of the sanitizer build reports it).
    IParameterValueEnum* value = new IParameterValueEnum();
    value->SetEnumValues({std::string(100, 'a'), std::string(100, 'b')});
    std::unique_ptr<IParameterValue, HostObjectDeleter> owned(value);
    owned.reset();
    SUCCEED();
}
