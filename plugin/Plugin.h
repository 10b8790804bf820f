/// The plugin-wide objects and the C++ side of the six exported entry points.
///
/// Threads: the host calls the entry points one at a time on its own thread,
/// in lifecycle order (load, Initialise, ProvideDeviceDefinitions,
/// BeginDeviceInstantiation, Shutdown, unload); none of them takes a lock.
/// The driver service's worker never calls an entry point.
#pragma once

#include "contract/Log.h"

#include "definitions/VSharedConfigDefinition.h"
#include "definitions/VZORVAGenericPlateDefinition.h"
#include "host/HostInterfaces.h"

#include <boost/shared_ptr.hpp>

namespace ZORVA {

class VZORVADriverService;
class VSharedConfigDevice;

/// Host services object given to Initialise; kept (not owned) for the plugin's lifetime.
extern MoldraDigitalDevice::IPluginHost* hostServices;
/// The host's instantiation callback, given to BeginDeviceInstantiation.
extern MoldraDigitalDevice::IDeviceInstantiator* deviceInstantiator;
/// The shared configuration device was handed to the host (once per start).
extern bool sharedDeviceInstantiated;
extern boost::shared_ptr<VZORVADriverService> driverService;
extern boost::shared_ptr<VSharedConfigDevice> sharedConfigDevice;

/// Static definitions, constructed at load in this order and destroyed at unload.
extern VSharedConfigDefinition sharedConfigDefinition;
extern VZORVAGenericPlateDefinition* const standardPlateDefinitions[StandardPlateModelCount];
extern VZORVAGenericPlateDefinition genericPlateDefinition;

/// The shared configuration device's name in the host.
extern const char* const SharedConfigDeviceName;

int PluginAPIVersion();
bool Initialise(MoldraDigitalDevice::IPluginHost* host);
void ProvideDeviceDefinitions(MoldraDigitalDevice::IDefinitionRegistry* registry);
void BeginDeviceInstantiation(MoldraDigitalDevice::IDeviceInstantiator* instantiator);
void OnManualDeviceInstantiation(const char* manufacturer, const char* definitionName, const char* version);
void Shutdown();

} // namespace ZORVA
