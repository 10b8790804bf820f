#include "VZORVAGenericPlateDefinition.h"

#include "ParameterRegistration.h"
#include "contract/ParameterNames.h"

#include "host/HostInterfaces.h"
#include "host/HostResultHandle.h"

namespace ZORVA {

using namespace MoldraDigitalDevice;

namespace {

template <typename V>
void Init(VParameter<V>& parameter, const char* name, const char* displayName, const char* description,
          const char* group, bool deviceSupplied, std::uint64_t id)
{
    parameter.Name = name;
    parameter.DisplayName = displayName;
    parameter.Description = description;
    parameter.Group = group;
    parameter.DefinitionFlag = true;
    parameter.Value.FlagA = deviceSupplied;
    parameter.Value.FlagB = deviceSupplied;
    parameter.Value.FlagC = false;
    parameter.Id = id;
}

/// An output with its three channels; a host failure ends the group.
void AddOutputGroup(IDefinitionRegistry* registry, const char* output, int quantity, const char* const (&channels)[3])
{
    if (HostResultHandle(registry->AddOutput(output, quantity)))
        return;
    for (const char* channel : channels) {
        if (HostResultHandle(registry->AddChannel(channel)))
            return;
    }
}

} // namespace

VGenericPlateParameterHolder::VGenericPlateParameterHolder()
{
    Init(FirmwareVersion, ParameterName::FirmwareVersion, "Firmware Version", "Firmware Version", "Amplifier", true, 0);
    Init(AmplifierModel, ParameterName::AmplifierModel, "Amplifier Model", "Amplifier Model", "Amplifier", true, 1);
    Init(AmplifierSerial, ParameterName::AmplifierSerial, "Amplifier Serial", "Amplifier Serial", "Amplifier", true, 2);
    Init(PlatformModel, ParameterName::PlatformModel, "Platform Model", "Platform Model", "Platform", true, 3);
    Init(PlatformSerial, ParameterName::PlatformSerial, "Platform Serial", "Platform Serial", "Platform", true, 4);
    Init(BlinkAction, ParameterName::BlinkAction, "Blink",
         "Make the selected signal conditioner blink. The amber light will blink for ten seconds. ", "Amplifier", false,
         5);
    Init(ParameterA, "ParameterA", "a", "X displacement from sensor origin to force plate origin.", "Origin", true, 6);
    Init(ParameterB, "ParameterB", "b", "Y displacement from sensor origin to force plate origin.", "Origin", true, 6);
    Init(ParameterAZ0, "ParameterAZ0", "az0", "Negative Z displacement from sensor origin to force plate surface.",
         "Origin", true, 6);
}

VZORVAGenericPlateDefinition::VZORVAGenericPlateDefinition() : VZORVAGenericPlateDefinition("Force plate", 0.5, 0.5) {}

VZORVAGenericPlateDefinition::VZORVAGenericPlateDefinition(const char* name, double dimensionX, double dimensionY)
    : Description("This device represents an ZORVA force plate/signal conditioner pair"),
      Manufacturer("ZORVA"),
      Version("   "),
      SyncPort("Sync Port"),
      Name(name),
      DimensionX(dimensionX),
      DimensionY(dimensionY)
{}

void VZORVAGenericPlateDefinition::Describe(IDefinitionRegistry* registry, bool includeActions)
{
    if (!registry)
        return;
    HostResultHandle(registry->BeginDefinition(Manufacturer.c_str(), Name.c_str(), Version.c_str(), Description.c_str(),
                                               "ForcePlate", "", ""));

    IParameterValueBool connected;
    connected.Value = false;
    connected.FlagA = true;
    connected.FlagB = true;
    connected.FlagC = false;
    HostResultHandle(registry->AddParameter(ParameterName::Connected, "Connected",
                                            "Indicates whether the device is connected", "Status", false, &connected,
                                            0));

    static const char* const force[3] = {"Fx", "Fy", "Fz"};
    static const char* const moment[3] = {"Mx", "My", "Mz"};
    static const char* const cop[3] = {"Cx", "Cy", "Cz"};
    AddOutputGroup(registry, "Force", 13, force);
    AddOutputGroup(registry, "Moment", 14, moment);
    AddOutputGroup(registry, "CoP", 1, cop);

    IParameterValueDouble dimension;
    dimension.FlagA = true;
    dimension.FlagB = true;
    dimension.FlagC = false;
    dimension.Value = DimensionX;
    const bool xFailed = HostResultHandle(registry->AddParameter("StandardDimension_X", "X",
                                                                 "Length of force plate in the X Axis (meters)",
                                                                 "Dimensions", true, &dimension, 6))
                             .Failed();
    if (!xFailed) {
        dimension.Value = DimensionY;
        HostResultHandle(registry->AddParameter("StandardDimension_Y", "Y",
                                                "Length of force plate in the Y Axis (meters)", "Dimensions", true,
                                                &dimension, 0));
    }

    AddParameter(registry, ParameterA);
    AddParameter(registry, ParameterB);
    AddParameter(registry, ParameterAZ0);
    AddParameter(registry, AmplifierModel);
    AddParameter(registry, AmplifierSerial);
    AddParameter(registry, PlatformModel);
    AddParameter(registry, PlatformSerial);
    AddParameter(registry, FirmwareVersion);
    if (includeActions)
        AddParameter(registry, BlinkAction);

    HostResultHandle(registry->AddSyncPort(SyncPort.c_str()));
    HostResultHandle(registry->EndDefinition());
}

std::unique_ptr<VZORVAGenericPlateDefinition> CreateStandardPlateDefinition(int modelIndex)
{
    int row = 0;
#define ZORVA_PLATE_MODEL_CASE(Tag, Name, X, Y, Actions, OtherText, MatchY, MatchX)                                    \
    if (modelIndex == ++row)                                                                                           \
        return std::make_unique<VZORVA_##Tag##_PlateDefinition>();
    ZORVA_STANDARD_PLATE_MODELS(ZORVA_PLATE_MODEL_CASE)
#undef ZORVA_PLATE_MODEL_CASE
    return nullptr;
}

} // namespace ZORVA
