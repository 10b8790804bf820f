/// The host application's service interfaces, as the plugin uses them.
///
/// Each class declares its virtual operations exactly in the host's slot order;
/// a Reserved operation keeps the place of one the plugin never calls. None has
/// a virtual destructor: the host owns these objects and the plugin never
/// deletes one. Texts are narrow, NUL-terminated and copied by the receiver.
/// HostAbi.h says what crosses the boundary, in which C++ ABI, and why it is safe.
#pragma once

#include "HostResult.h"

#include <cstdint>

namespace MoldraDigitalDevice {

class IParameterValue;
class IDevice;

/// Handed to Initialise; kept for the plugin's lifetime.
class IPluginHost
{
public:
    /// level: 0 trace, 1 information, 2 warning, 3 failed detection.
    virtual void Log(const char* message, int level) = 0;
    /// Host ticks per second.
    virtual unsigned int GetTickRate() = 0;
    virtual void ReservedSlot3() = 0; // not called
    /// Host time in seconds, on the clock of IDevice::StartCapture.
    virtual double GetTime() = 0;

protected:
    ~IPluginHost() = default;
};

/// Handed to ProvideDeviceDefinitions: one BeginDefinition ... EndDefinition per definition.
class IDefinitionRegistry
{
public:
    virtual HostResult* BeginDefinition(const char* manufacturer, const char* name, const char* version,
                                        const char* description, const char* deviceType, const char* addLabel,
                                        const char* extra) = 0;
    /// The host copies `value` (through CopyTo) during the call.
    virtual HostResult* AddParameter(const char* name, const char* displayName, const char* description,
                                     const char* group, bool definitionFlag, IParameterValue* value,
                                     std::uint64_t id) = 0;
    virtual HostResult* AddSyncPort(const char* portName) = 0;
    /// quantity: 13 force, 14 moment, 1 centre of pressure.
    virtual HostResult* AddOutput(const char* name, int quantity) = 0;
    /// A channel of the output added last.
    virtual HostResult* AddChannel(const char* name) = 0;
    virtual HostResult* ReservedSlot6() = 0; // not called
    virtual HostResult* EndDefinition() = 0;

protected:
    ~IDefinitionRegistry() = default;
};

/// Handed to BeginDeviceInstantiation; the device stays owned by the plugin.
class IDeviceInstantiator
{
public:
    virtual HostResult* InstantiateDevice(const char* manufacturer, const char* definitionName, const char* version,
                                          const char* deviceName, IDevice* device) = 0;

protected:
    ~IDeviceInstantiator() = default;
};

/// Handed to each device by IDevice::Attach; scope is always "".
class IDeviceHost
{
public:
    /// The host writes its current value of the named parameter into `value`.
    virtual HostResult* GetParameterValue(IParameterValue* value, const char* name, const char* scope) = 0;
    /// The host takes the plugin's new value.
    virtual HostResult* SetParameterValue(IParameterValue* value, const char* name, const char* scope) = 0;
    /// The most ids the next GetChangedParameters can return.
    virtual unsigned int GetChangedParameterCount() = 0;
    /// Writes the ids changed since *cursor into ids (room for the count above),
    /// their number into *count, and advances *cursor.
    virtual HostResult* GetChangedParameters(unsigned int* cursor, std::uint64_t* ids, unsigned int* count) = 0;
    virtual HostResult* PushSamples(unsigned int stream, std::int64_t frame, int samplesPerBlock, const int* outputs,
                                    int outputCount, const float* values, int valueCount) = 0;
    virtual void NotifyChanged() = 0;

protected:
    ~IDeviceHost() = default;
};

/// Handed to a plate device by IDevice::Arm; used only during that call.
class ICaptureSetup
{
public:
    virtual HostResult* SetTicksPerSample(unsigned int ticks) = 0;
    virtual HostResult* AddSyncInput(const char* portName, int edge, int tolerance, int reserved1, int reserved2,
                                     bool enabled) = 0;
    virtual void SetTimingMode(int mode) = 0;
    virtual HostResult* SetSamplesPerBlock(unsigned int samples) = 0;

protected:
    ~ICaptureSetup() = default;
};

} // namespace MoldraDigitalDevice
