#include "Plugin.h"

#include "definitions/CustomDefinitions.h"
#include "devices/VSharedConfigDevice.h"
#include "driver/VZORVADriverService.h"
#include "host/HostResultHandle.h"

#include <cstring>

namespace ZORVA {

using namespace MoldraDigitalDevice;

IPluginHost* hostServices = nullptr;
IDeviceInstantiator* deviceInstantiator = nullptr;
bool sharedDeviceInstantiated = false;
boost::shared_ptr<VZORVADriverService> driverService;
boost::shared_ptr<VSharedConfigDevice> sharedConfigDevice;

const char* const SharedConfigDeviceName = "ZORVA Shared Config Device";

// Construction order at load is declaration order within this file.
VSharedConfigDefinition sharedConfigDefinition;

namespace {
#define ZORVA_PLATE_MODEL_STATIC(Tag, Name, X, Y, Actions, OtherText, MatchY, MatchX)                                  \
    VZORVA_##Tag##_PlateDefinition Tag##Definition;
ZORVA_STANDARD_PLATE_MODELS(ZORVA_PLATE_MODEL_STATIC)
#undef ZORVA_PLATE_MODEL_STATIC
} // namespace

#define ZORVA_PLATE_MODEL_ADDRESS(Tag, Name, X, Y, Actions, OtherText, MatchY, MatchX) &Tag##Definition,
VZORVAGenericPlateDefinition* const standardPlateDefinitions[StandardPlateModelCount] = {
    ZORVA_STANDARD_PLATE_MODELS(ZORVA_PLATE_MODEL_ADDRESS)};
#undef ZORVA_PLATE_MODEL_ADDRESS

VZORVAGenericPlateDefinition genericPlateDefinition;

namespace {

/// Hands the shared configuration device to the host. The flag is set before
/// the call, so a refused instantiation is never retried.
void InstantiateSharedDevice(IDeviceInstantiator* instantiator)
{
    sharedDeviceInstantiated = true;
    HostResultHandle(instantiator->InstantiateDevice(
        sharedConfigDefinition.Manufacturer.c_str(), sharedConfigDefinition.Name.c_str(),
        sharedConfigDefinition.Version.c_str(), SharedConfigDeviceName, sharedConfigDevice.get()));
}

bool SameText(const char* text, const std::string& expected)
{
    return text != nullptr && std::strlen(text) == expected.size() &&
           std::memcmp(text, expected.data(), expected.size()) == 0;
}

} // namespace

int PluginAPIVersion() { return 1; }

bool Initialise(IPluginHost* host)
{
    // Kept for the exports' catch-alls, which log through it.
    hostServices = host;
    // Its constructor returns once the worker thread is ready.
    driverService.reset(new VZORVADriverService(host));
    sharedConfigDevice.reset(new VSharedConfigDevice(host, driverService.get(), sharedConfigDefinition));
    BuildCustomDefinitions(host);
    return true;
}

void ProvideDeviceDefinitions(IDefinitionRegistry* registry)
{
    if (!registry)
        return;
    sharedConfigDefinition.Describe(registry, true);
    for (int i = 0; i < StandardPlateModelCount; ++i)
        standardPlateDefinitions[i]->Describe(registry, StandardPlateModels[i].actions);
    for (int i = 0; i < customDefinitionCount; ++i)
        customDefinitions[i].Describe(registry, true);
    genericPlateDefinition.Describe(registry, true);
}

void BeginDeviceInstantiation(IDeviceInstantiator* instantiator)
{
    deviceInstantiator = instantiator;
    if (!sharedConfigDevice)
        return; // before Initialise: nothing to hand over yet
    sharedConfigDevice->instantiator = instantiator;
    if (sharedDeviceInstantiated || !instantiator)
        return;
    InstantiateSharedDevice(instantiator);
}

void OnManualDeviceInstantiation(const char* manufacturer, const char* definitionName, const char* version)
{
    // The plugin creates no other device by hand.
    if (!SameText(manufacturer, sharedConfigDefinition.Manufacturer) ||
        !SameText(definitionName, sharedConfigDefinition.Name) || !SameText(version, sharedConfigDefinition.Version))
        return;
    if (sharedDeviceInstantiated || !deviceInstantiator || !sharedConfigDevice)
        return;
    InstantiateSharedDevice(deviceInstantiator);
}

void Shutdown()
{
    // The host's calls still running in the devices end first (an Arm in its
    // pause would otherwise start acquisition on a service being destroyed);
    // later ones do nothing.
    if (sharedConfigDevice)
        sharedConfigDevice->Close();
    // The driver service goes next: its worker calls into the shared device.
    driverService.reset();
    sharedConfigDevice.reset();
    ReleaseCustomDefinitions();
    // Ready for a second Initialise: the new shared device is handed over anew.
    sharedDeviceInstantiated = false;
}

} // namespace ZORVA
