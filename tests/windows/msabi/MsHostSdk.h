// The plugin interfaces as a host built with Microsoft's compiler declares
// them: written from the slot lists, not taken from the plugin's headers, and
// compiled in the Microsoft C++ ABI (clang --target=x86_64-pc-windows-msvc),
// where IDevice's and IParameterValue's virtual destructor takes one slot.
// Freestanding: no standard library.
#pragma once

namespace mshost {

typedef unsigned long long u64;
typedef long long i64;

class HostResult
{
public:
    virtual const char* GetMessage() = 0;
    virtual void AddRef() = 0;
    virtual void Release() = 0;
};

class IParameterValue
{
public:
    virtual ~IParameterValue() {}
    virtual int GetType() = 0;
    virtual bool CopyTo(IParameterValue& target) = 0;
    virtual bool ReadFrom(const unsigned char* data, unsigned int size) = 0;
    virtual void SetFlagA(bool flag) = 0;
    virtual bool GetFlagA() = 0;
    virtual void SetFlagB(bool flag) = 0;
    virtual bool GetFlagB() = 0;
    virtual void SetFlagC(bool flag) = 0;
    virtual bool GetFlagC() = 0;
    virtual bool IsEqual(IParameterValue& other) = 0;
};

/// The typed part of the plugin's values. Called here only where T is a
/// scalar: the extras take the plugin's own library types.
template <typename T>
class IParameterValueTemplate : public IParameterValue
{
public:
    virtual void SetValue(const T& value) = 0;
    virtual T GetValue() = 0;
    virtual void WriteExtra(void* buffer) = 0;
    virtual bool ReadExtra(void* reader) = 0;
};

class IPluginHost
{
public:
    virtual void Log(const char* message, int level) = 0;
    virtual unsigned int GetTickRate() = 0;
    virtual void ReservedSlot3() = 0;
    virtual double GetTime() = 0;
};

class IDefinitionRegistry
{
public:
    virtual HostResult* BeginDefinition(const char* manufacturer, const char* name, const char* version,
                                        const char* description, const char* deviceType, const char* addLabel,
                                        const char* extra) = 0;
    virtual HostResult* AddParameter(const char* name, const char* displayName, const char* description,
                                     const char* group, bool definitionFlag, IParameterValue* value, u64 id) = 0;
    virtual HostResult* AddSyncPort(const char* portName) = 0;
    virtual HostResult* AddOutput(const char* name, int quantity) = 0;
    virtual HostResult* AddChannel(const char* name) = 0;
    virtual HostResult* ReservedSlot6() = 0;
    virtual HostResult* EndDefinition() = 0;
};

class IDevice;

class IDeviceInstantiator
{
public:
    virtual HostResult* InstantiateDevice(const char* manufacturer, const char* definitionName, const char* version,
                                          const char* deviceName, IDevice* device) = 0;
};

class IDeviceHost
{
public:
    virtual HostResult* GetParameterValue(IParameterValue* value, const char* name, const char* scope) = 0;
    virtual HostResult* SetParameterValue(IParameterValue* value, const char* name, const char* scope) = 0;
    virtual unsigned int GetChangedParameterCount() = 0;
    virtual HostResult* GetChangedParameters(unsigned int* cursor, u64* ids, unsigned int* count) = 0;
    virtual HostResult* PushSamples(unsigned int stream, i64 frame, int samplesPerBlock, const int* outputs,
                                    int outputCount, const float* values, int valueCount) = 0;
    virtual void NotifyChanged() = 0;
};

class ICaptureSetup
{
public:
    virtual HostResult* SetTicksPerSample(unsigned int ticks) = 0;
    virtual HostResult* AddSyncInput(const char* portName, int edge, int tolerance, int reserved1, int reserved2,
                                     bool enabled) = 0;
    virtual void SetTimingMode(int mode) = 0;
    virtual HostResult* SetSamplesPerBlock(unsigned int samples) = 0;
};

class IDevice
{
public:
    virtual ~IDevice() {}
    virtual void Attach(IDeviceHost* services) = 0;
    virtual void ParametersChanged() = 0;
    virtual bool Arm(unsigned int streamHandle, ICaptureSetup* setup) = 0;
    virtual void Reserved() = 0;
    virtual void StartCapture(double hostTime) = 0;
    virtual void Disarm() = 0;
    virtual void GetState(int* state, bool* rearmRequired) = 0;
};

} // namespace mshost
