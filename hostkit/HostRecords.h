/// What the host kit keeps of the plugin's calls and hands its owner: the
/// log lines, the registered definitions with their parameters and outputs,
/// the pushed blocks, and the devices the plugin offered. Plain values: the
/// plugin's objects stay behind the host (HostAnswers.h), so an owner never
/// holds a device interface of the plugin.
#pragma once

#include "hostkit/Values.h"
#include "contract/Log.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace hostkit {

class Instance;

/// What an output measures, as the host's AddOutput numbers it.
enum class Quantity : int
{
    CentreOfPressure = 1,
    Force = 13,
    Moment = 14
};

struct LogLine
{
    std::string text;
    /// As the plugin passed it: 0 trace, 1 information, 2 warning, 3 failed
    /// detection (Level() names them).
    int level = 0;

    ZORVA::LogLevel Level() const { return static_cast<ZORVA::LogLevel>(level); }
};

struct DefinedParameter
{
    std::string name;
    std::string displayName;
    std::string description;
    std::string group;
    bool definitionFlag = false;
    std::shared_ptr<IParameterValue> value; ///< the host's copy of the starting value
    std::uint64_t id = 0;
};

struct DefinedOutput
{
    std::string name;
    Quantity quantity = Quantity::Force;
    std::vector<std::string> channels;
};

/// One BeginDefinition ... EndDefinition.
struct Definition
{
    std::string manufacturer, name, version, description, deviceType, addLabel, extra;
    std::vector<DefinedParameter> parameters;
    std::vector<DefinedOutput> outputs;
    std::vector<std::string> syncPorts;
    bool ended = false;

    /// The parameter with this name, or null.
    const DefinedParameter* Parameter(const std::string& parameterName) const;
    /// The starting value of a parameter as the value class T, or null when
    /// there is no such parameter or its value is of another class.
    template <typename T>
    T* Value(const std::string& parameterName) const
    {
        const DefinedParameter* parameter = Parameter(parameterName);
        return parameter ? As<T>(parameter->value.get()) : nullptr;
    }
    /// A double parameter's starting value; 0 for none.
    double Number(const std::string& parameterName) const;
    /// The texts an enumeration parameter offers; none for another parameter.
    std::vector<std::string> Offered(const std::string& parameterName) const;
};

/// One PushSamples call as a sample sink sees it. The pointers are the
/// plugin's and valid only during the call: a sink copies what it keeps.
struct SampleBlock
{
    double hostTime = 0.0; ///< the host's clock when the block arrived (Host::Now)
    unsigned int stream = 0;
    std::int64_t frame = 0; ///< the host sample number of the block's first sample
    int samplesPerBlock = 0;
    const int* outputs = nullptr;
    int outputCount = 0;
    const float* values = nullptr; ///< samplesPerBlock rows of valueCount / samplesPerBlock values
    int valueCount = 0;
};

/// A device the plugin offered through InstantiateDevice, as the host's owner
/// sees it; the host does what a user does to it (Host::ChangeSetting,
/// Host::StatusOf, ...).
struct OfferedDevice
{
    std::string manufacturer, definitionName, version, deviceName;
    bool accepted = false;
    std::shared_ptr<Instance> services; ///< created when accepted

    /// The same device of the plugin (a rescan keeps a plate's device).
    bool SameDevice(const OfferedDevice& other) const { return services && services == other.services; }
};

/// A device's GetState.
struct DeviceStatus
{
    int state = 2;              ///< MoldraDigitalDevice::DeviceState: 0 armed, 1 acquiring, 2 stopped
    bool rearmRequired = false; ///< the device asks to be armed again
};

/// What Host::ArmAll did.
struct ArmResult
{
    bool armed = false;               ///< the first device (the shared one) armed
    std::vector<std::string> refused; ///< the instance names of the others that refused, in order
};

} // namespace hostkit
