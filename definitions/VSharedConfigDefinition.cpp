#include "VSharedConfigDefinition.h"

#include "ParameterRegistration.h"
#include "contract/ParameterNames.h"
#include "contract/SyncMode.h"

#include "host/HostInterfaces.h"
#include "host/HostResultHandle.h"

#include <vector>

namespace ZORVA {

using namespace MoldraDigitalDevice;

namespace {

template <typename V>
void Init(VParameter<V>& parameter, const char* name, const char* displayName, const char* description,
          const char* group, std::uint64_t id)
{
    parameter.Name = name;
    parameter.DisplayName = displayName;
    parameter.Description = description;
    parameter.Group = group;
    parameter.DefinitionFlag = true;
    parameter.Id = id;
}

} // namespace

VSharedConfigParameterHolder::VSharedConfigParameterHolder()
{
    Init(SyncMode, ParameterName::SyncMode, "Synchronization mode", "Synchronization mode", "Device collection", 0);
    SyncMode.Value.SetEnumValues(SyncModeTexts());
    SyncMode.Value.SetValue(SyncModeText(ZORVA::SyncMode::SoftwareTrigger));

    Init(SampleRate, ParameterName::SampleRate, "Acquisition rate",
         "Broadcasts an acquisition rate, in datasets per second, to all connected signal conditioners.",
         "Device collection", 1);
    std::vector<std::string> rates;
    for (unsigned int rate : StandardRates)
        rates.push_back(std::to_string(rate));
    SampleRate.Value.SetEnumValues(rates);
    SampleRate.Value.SetValue(rates[4]);

    Init(DataThreshold, ParameterName::DataThreshold, "Fz Threshold", "Fz limit below which data are not collected.",
         "Device collection", 2);
    DataThreshold.Value.Minimum = 0.0;
    DataThreshold.Value.Maximum = 50.0;
    DataThreshold.Value.SetValue(20.0);
    DataThreshold.Value.LimitsSet = true;

    Init(BroadcastZero, ParameterName::BroadcastZero, "Zero digital platforms",
         "Send a 'Zero' command to all of the signal conditioners. Calling this function doesn't interrupt data "
         "acquisition.",
         "Actions", 3);
    Init(ScanForHardware, ParameterName::ScanForHardware, "Detect ZORVA digital devices",
         "Search for additional signal conditioners", "Plug-in", 5);
}

VSharedConfigDefinition::VSharedConfigDefinition()
    : Name("Digital device common settings"),
      Version("V1.13"),
      Manufacturer("ZORVA"),
      Description("This is a placeholder device controlling settings common to all ZORVA devices")
{}

void VSharedConfigDefinition::Describe(IDefinitionRegistry* registry, bool /*includeActions*/)
{
    if (!registry)
        return;
    HostResultHandle(registry->BeginDefinition(Manufacturer.c_str(), Name.c_str(), Version.c_str(), Description.c_str(),
                                               "Shared Configuration", "Add ZORVA Trel/Celvo devices", ""));
    // The host lists the rate first; declaration order puts SyncMode first.
    AddParameter(registry, SampleRate);
    AddParameter(registry, SyncMode);
    AddParameter(registry, DataThreshold);
    AddParameter(registry, BroadcastZero);
    AddParameter(registry, ScanForHardware);
    HostResultHandle(registry->EndDefinition());
}

} // namespace ZORVA
