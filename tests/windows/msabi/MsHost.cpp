// The host half of the Microsoft-ABI test host: a host as one built with
// Microsoft's compiler would be, compiled with
//   clang++ --target=x86_64-pc-windows-msvc -ffreestanding -fno-rtti -fno-exceptions
// It implements every host object the plugin calls, keeps its own value
// objects (which read the plugin's byte blocks), and makes every call into the
// plugin's objects through the mscall_* functions below, whose virtual-table
// offsets check_offsets.sh reads back from the disassembly.
#include "MsHostBridge.h"
#include "MsHostSdk.h"

typedef decltype(sizeof 0) size_t;

void* operator new(size_t size) { return msrt_alloc(size); }
void operator delete(void* memory) noexcept { msrt_free(memory); }
void operator delete(void* memory, size_t) noexcept { msrt_free(memory); }

using namespace mshost;

namespace {

// ---------------------------------------------------------------- small tools

size_t Length(const char* text)
{
    size_t n = 0;
    while (text && text[n])
        ++n;
    return n;
}

bool Equal(const char* a, const char* b)
{
    if (!a || !b)
        return a == b;
    while (*a && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

void CopyBytes(void* to, const void* from, size_t n)
{
    unsigned char* t = static_cast<unsigned char*>(to);
    const unsigned char* f = static_cast<const unsigned char*>(from);
    for (size_t i = 0; i < n; ++i)
        t[i] = f[i];
}

/// A copy the host owns; null stays null.
char* Duplicate(const char* text)
{
    if (!text)
        return nullptr;
    const size_t n = Length(text);
    char* copy = static_cast<char*>(msrt_alloc(n + 1));
    CopyBytes(copy, text, n + 1);
    return copy;
}

class Lock
{
public:
    Lock() { msrt_lock(); }
    ~Lock() { msrt_unlock(); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
};

const int TypeAction = 0;
const int TypeBool = 1;
const int TypeDouble = 3;
const int TypeString = 4;
const int TypeEnum = 7;

bool KnownType(int type)
{
    return type == TypeAction || type == TypeBool || type == TypeDouble || type == TypeString || type == TypeEnum;
}

} // namespace

// ---------------------------------------------------------------- calls into the plugin's objects
//
// Each is one virtual call; check_offsets.sh expects the offset in the
// comment (Microsoft layout: the destructor takes slot 0 alone).

extern "C" __declspec(noinline) int mscall_value_GetType(IParameterValue* value) // +8
{
    return value->GetType();
}
extern "C" __declspec(noinline) bool mscall_value_CopyTo(IParameterValue* value, IParameterValue* target) // +0x10
{
    return value->CopyTo(*target);
}
extern "C" __declspec(noinline) bool mscall_value_ReadFrom(IParameterValue* value, const unsigned char* data,
                                                           unsigned int size) // +0x18
{
    return value->ReadFrom(data, size);
}
extern "C" __declspec(noinline) bool mscall_value_GetFlagA(IParameterValue* value) // +0x28
{
    return value->GetFlagA();
}
extern "C" __declspec(noinline) bool mscall_value_GetFlagB(IParameterValue* value) // +0x38
{
    return value->GetFlagB();
}
extern "C" __declspec(noinline) bool mscall_value_GetFlagC(IParameterValue* value) // +0x48
{
    return value->GetFlagC();
}
extern "C" __declspec(noinline) bool mscall_value_IsEqual(IParameterValue* value, IParameterValue* other) // +0x50
{
    return value->IsEqual(*other);
}
extern "C" __declspec(noinline) double mscall_double_GetValue(IParameterValue* value) // +0x60
{
    return static_cast<IParameterValueTemplate<double>*>(value)->GetValue();
}
extern "C" __declspec(noinline) void mscall_device_Attach(IDevice* device, IDeviceHost* services) // +8
{
    device->Attach(services);
}
extern "C" __declspec(noinline) void mscall_device_ParametersChanged(IDevice* device) // +0x10
{
    device->ParametersChanged();
}
extern "C" __declspec(noinline) bool mscall_device_Arm(IDevice* device, unsigned int stream,
                                                       ICaptureSetup* setup) // +0x18
{
    return device->Arm(stream, setup);
}
extern "C" __declspec(noinline) void mscall_device_StartCapture(IDevice* device, double hostTime) // +0x28
{
    device->StartCapture(hostTime);
}
extern "C" __declspec(noinline) void mscall_device_Disarm(IDevice* device) // +0x30
{
    device->Disarm();
}
extern "C" __declspec(noinline) void mscall_device_GetState(IDevice* device, int* state, bool* rearm) // +0x38
{
    device->GetState(state, rearm);
}

namespace {

// ---------------------------------------------------------------- results

class Failure final : public HostResult
{
public:
    explicit Failure(const char* message) : message_(Duplicate(message)) {}
    const char* GetMessage() override { return message_; }
    void AddRef() override { __atomic_add_fetch(&references_, 1, __ATOMIC_SEQ_CST); }
    void Release() override
    {
        if (__atomic_sub_fetch(&references_, 1, __ATOMIC_SEQ_CST) == 0) {
            msrt_free(message_);
            delete this;
        }
    }

private:
    ~Failure() = default;
    char* message_;
    int references_ = 1;
};

// ---------------------------------------------------------------- the host's own values

/// Reads the little-endian fields of a byte block, never past its end.
class BlockReader
{
public:
    BlockReader(const unsigned char* data, unsigned int size) : data_(data), size_(size) {}
    bool Bytes(void* out, unsigned int n)
    {
        if (n > size_ - position_)
            return false;
        CopyBytes(out, data_ + position_, n);
        position_ += n;
        return true;
    }
    bool Skip(unsigned int n)
    {
        if (n > size_ - position_)
            return false;
        position_ += n;
        return true;
    }
    bool Text()
    {
        unsigned int n = 0;
        return Bytes(&n, 4) && Skip(n);
    }
    unsigned int Position() const { return position_; }
    bool AtEnd() const { return position_ == size_; }

private:
    const unsigned char* data_;
    unsigned int size_;
    unsigned int position_ = 0;
};

/// A value as the host keeps it: the block it was given, checked field by
/// field, and the fields it needs. It hands the same block back through CopyTo.
class HostValue final : public IParameterValue
{
public:
    explicit HostValue(int type) : type_(type) {}
    ~HostValue() override { msrt_free(block_); }

    int GetType() override { return type_; }
    bool CopyTo(IParameterValue& target) override { return block_ && mscall_value_ReadFrom(&target, block_, size_); }
    bool ReadFrom(const unsigned char* data, unsigned int size) override
    {
        if (!data || size == 0)
            return false;
        BlockReader reader(data, size);
        int type = -1;
        if (!reader.Bytes(&type, 4) || type != type_)
            return false;
        bool boolValue = false;
        double doubleValue = 0.0;
        switch (type_) {
        case TypeBool: {
            unsigned char b = 0;
            if (!reader.Bytes(&b, 1))
                return false;
            boolValue = b != 0;
            break;
        }
        case TypeAction:
            if (!reader.Skip(4))
                return false;
            break;
        case TypeDouble:
            if (!reader.Bytes(&doubleValue, 8))
                return false;
            break;
        default:
            if (!reader.Text())
                return false;
        }
        unsigned char flags[3] = {};
        if (!reader.Bytes(flags, 3))
            return false;
        if (type_ == TypeDouble && !reader.Skip(17))
            return false;
        if (type_ == TypeEnum) {
            unsigned int count = 0;
            if (!reader.Bytes(&count, 4))
                return false;
            for (unsigned int i = 0; i < count; ++i)
                if (!reader.Text())
                    return false;
        }
        if (!reader.AtEnd())
            return false;

        unsigned char* copy = static_cast<unsigned char*>(msrt_alloc(size));
        CopyBytes(copy, data, size);
        msrt_free(block_);
        block_ = copy;
        size_ = size;
        boolValue_ = boolValue;
        doubleValue_ = doubleValue;
        flagA_ = flags[0] != 0;
        flagB_ = flags[1] != 0;
        flagC_ = flags[2] != 0;
        return true;
    }
    void SetFlagA(bool) override { msrt_fail("host value", "SetFlagA is not used"); }
    bool GetFlagA() override { return flagA_; }
    void SetFlagB(bool) override { msrt_fail("host value", "SetFlagB is not used"); }
    bool GetFlagB() override { return flagB_; }
    void SetFlagC(bool) override { msrt_fail("host value", "SetFlagC is not used"); }
    bool GetFlagC() override { return flagC_; }
    bool IsEqual(IParameterValue& other) override
    {
        HostValue local(type_);
        if (!mscall_value_CopyTo(&other, &local) || local.size_ != size_)
            return false;
        for (unsigned int i = 0; i < size_; ++i)
            if (local.block_[i] != block_[i])
                return false;
        return true;
    }

    bool BoolValue() const { return boolValue_; }
    double DoubleValue() const { return doubleValue_; }
    const unsigned char* Block() const { return block_; }
    unsigned int Size() const { return size_; }

    /// The same value with its value field replaced (a user's change in the
    /// host); the flags and extras stay. False if the new block is refused.
    bool ReplaceDouble(double value)
    {
        if (type_ != TypeDouble || !block_)
            return false;
        unsigned char* block = static_cast<unsigned char*>(msrt_alloc(size_));
        CopyBytes(block, block_, size_);
        CopyBytes(block + 4, &value, 8);
        const bool read = ReadFrom(block, size_);
        msrt_free(block);
        return read;
    }
    bool ReplaceText(const char* text)
    {
        if ((type_ != TypeString && type_ != TypeEnum) || !block_ || size_ < 8)
            return false;
        unsigned int old = 0;
        CopyBytes(&old, block_ + 4, 4);
        const unsigned int n = static_cast<unsigned int>(Length(text));
        const unsigned int size = size_ - old + n;
        unsigned char* block = static_cast<unsigned char*>(msrt_alloc(size));
        CopyBytes(block, block_, 4);
        CopyBytes(block + 4, &n, 4);
        CopyBytes(block + 8, text, n);
        CopyBytes(block + 8 + n, block_ + 8 + old, size_ - 8 - old);
        const bool read = ReadFrom(block, size);
        msrt_free(block);
        return read;
    }

private:
    int type_;
    unsigned char* block_ = nullptr;
    unsigned int size_ = 0;
    bool boolValue_ = false;
    double doubleValue_ = 0.0;
    bool flagA_ = false;
    bool flagB_ = false;
    bool flagC_ = false;
};

// ---------------------------------------------------------------- records

const int MaxDefinitions = 128;
const int MaxParameters = 32;
const int MaxDevices = 64;
const int MaxChanges = 64;

struct Parameter
{
    char* name = nullptr;
    HostValue* value = nullptr;
    u64 id = 0;
};

struct Definition
{
    char* manufacturer = nullptr;
    char* name = nullptr;
    char* version = nullptr;
    Parameter parameters[MaxParameters];
    int parameterCount = 0;
    bool ended = false;
};

Definition g_definitions[MaxDefinitions];
int g_definitionCount = 0;
MsDefinitionSummary g_summary = {};

// ---------------------------------------------------------------- host objects

class PluginHost final : public IPluginHost
{
public:
    void Log(const char* message, int level) override { msrt_log(message ? message : "(null)", level); }
    unsigned int GetTickRate() override { return 1000000; }
    void ReservedSlot3() override { msrt_fail("IPluginHost", "the plugin called the reserved slot"); }
    double GetTime() override { return msrt_now(); }
};

class Registry final : public IDefinitionRegistry
{
public:
    HostResult* BeginDefinition(const char* manufacturer, const char* name, const char* version, const char*,
                                const char*, const char*, const char*) override
    {
        if (g_definitionCount == MaxDefinitions) {
            msrt_fail("BeginDefinition", "more definitions than the test host holds");
            return new Failure("no room");
        }
        if (g_definitionCount > 0 && !g_definitions[g_definitionCount - 1].ended)
            msrt_fail("BeginDefinition", "the previous definition was not ended");
        Definition& d = g_definitions[g_definitionCount++];
        d.manufacturer = Duplicate(manufacturer);
        d.name = Duplicate(name);
        d.version = Duplicate(version);
        ++g_summary.definitions;
        return nullptr;
    }

    HostResult* AddParameter(const char* name, const char*, const char*, const char*, bool, IParameterValue* value,
                             u64 id) override
    {
        if (g_definitionCount == 0 || !value)
            return new Failure("no definition or no value");
        Definition& d = g_definitions[g_definitionCount - 1];
        ++g_summary.values;
        const int type = mscall_value_GetType(value);
        if (!KnownType(type)) {
            msrt_fail(name, "GetType returned an unknown type code");
            return nullptr;
        }
        ++g_summary.typeCounts[type];
        HostValue* copy = new HostValue(type);
        if (!mscall_value_CopyTo(value, copy)) {
            msrt_fail(name, "CopyTo into the host's value failed");
            delete copy;
            return nullptr;
        }
        if (copy->GetFlagA() != mscall_value_GetFlagA(value) || copy->GetFlagB() != mscall_value_GetFlagB(value) ||
            copy->GetFlagC() != mscall_value_GetFlagC(value))
            msrt_fail(name, "the flags read through GetFlagA/B/C differ from the block's");
        else
            ++g_summary.copied;
        if (mscall_value_IsEqual(value, copy))
            ++g_summary.equal;
        else
            msrt_fail(name, "IsEqual with the host's copy returned false");
        if (type == TypeDouble) {
            if (mscall_double_GetValue(value) == copy->DoubleValue())
                ++g_summary.doublesRead;
            else
                msrt_fail(name, "GetValue differs from the block's value");
        }
        if (d.parameterCount == MaxParameters) {
            msrt_fail(name, "more parameters than the test host holds");
            delete copy;
            return nullptr;
        }
        Parameter& p = d.parameters[d.parameterCount++];
        p.name = Duplicate(name);
        p.value = copy;
        p.id = id;
        return nullptr;
    }

    HostResult* AddSyncPort(const char*) override { return nullptr; }
    HostResult* AddOutput(const char*, int) override { return nullptr; }
    HostResult* AddChannel(const char*) override { return nullptr; }
    HostResult* ReservedSlot6() override
    {
        msrt_fail("IDefinitionRegistry", "the plugin called the reserved slot");
        return nullptr;
    }
    HostResult* EndDefinition() override
    {
        if (g_definitionCount == 0 || g_definitions[g_definitionCount - 1].ended)
            msrt_fail("EndDefinition", "no definition is open");
        else
            g_definitions[g_definitionCount - 1].ended = true;
        return nullptr;
    }
};

struct Stream
{
    MsStream stats = {0, 0, 0, 0, 0, 0, 0.0, 0, -1e300};
};

class DeviceServices;

class CaptureSetup final : public ICaptureSetup
{
public:
    HostResult* SetTicksPerSample(unsigned int ticks) override
    {
        calls.ticksPerSample = ticks;
        return nullptr;
    }
    HostResult* AddSyncInput(const char*, int, int, int, int, bool) override
    {
        ++calls.syncInputs;
        return nullptr;
    }
    void SetTimingMode(int mode) override { calls.timingMode = mode; }
    HostResult* SetSamplesPerBlock(unsigned int samples) override
    {
        calls.samplesPerBlock = samples;
        return nullptr;
    }
    MsSetupCalls calls = {0, 0, -1, 0};
};

struct Device
{
    char* deviceName = nullptr;
    int definition = -1;
    IDevice* device = nullptr;
    DeviceServices* services = nullptr;
    CaptureSetup setup;
    bool attached = false;
};

Device g_devices[MaxDevices];
int g_deviceCount = 0;
/// The running capture's start (host clock, seconds) and rate; under msrt_lock.
double g_captureStart = 0.0;
double g_captureRate = 0.0;

/// The per-device services object: the device's parameters as the host
/// holds them, the changes it reports, and what the device pushes.
class DeviceServices final : public IDeviceHost
{
public:
    DeviceServices(unsigned int stream, const Definition& definition) : stream_(stream)
    {
        for (int i = 0; i < definition.parameterCount && i < MaxParameters; ++i) {
            const Parameter& from = definition.parameters[i];
            HostValue* value = new HostValue(from.value->GetType());
            from.value->CopyTo(*value);
            parameters_[count_].name = Duplicate(from.name);
            parameters_[count_].value = value;
            parameters_[count_].id = from.id;
            ++count_;
        }
    }

    HostResult* GetParameterValue(IParameterValue* value, const char* name, const char*) override
    {
        Lock lock;
        Parameter* p = Find(name);
        if (!p || !value)
            return new Failure("no such parameter");
        // The host writes its value into the plugin's object.
        return p->value->CopyTo(*value) ? nullptr : new Failure("the device's value refused the host's");
    }

    HostResult* SetParameterValue(IParameterValue* value, const char* name, const char*) override
    {
        if (!value)
            return new Failure("no value");
        Lock lock;
        Parameter* p = Find(name);
        if (!p) {
            if (count_ == MaxParameters)
                return new Failure("no room");
            p = &parameters_[count_++];
            p->name = Duplicate(name);
            p->value = new HostValue(mscall_value_GetType(value));
        }
        if (!mscall_value_CopyTo(value, p->value)) {
            msrt_fail(name, "SetParameterValue: CopyTo into the host's value failed");
            return new Failure("refused");
        }
        return nullptr;
    }

    unsigned int GetChangedParameterCount() override
    {
        Lock lock;
        return static_cast<unsigned int>(changeCount_);
    }

    HostResult* GetChangedParameters(unsigned int* cursor, u64* ids, unsigned int* count) override
    {
        if (!cursor || !count)
            return new Failure("null argument");
        Lock lock;
        unsigned int n = 0;
        for (int i = static_cast<int>(*cursor) - 1; i >= 0 && i < changeCount_; ++i) {
            if (ids)
                ids[n] = changes_[i];
            ++n;
        }
        *count = ids ? n : 0;
        *cursor = static_cast<unsigned int>(changeCount_) + 1;
        return nullptr;
    }

    HostResult* PushSamples(unsigned int stream, i64 frame, int samplesPerBlock, const int* outputs, int outputCount,
                            const float* values, int valueCount) override
    {
        const double now = msrt_now();
        Lock lock;
        MsStream& s = stats_;
        if (stream == previousStream_ && stream != stream_) {
            // Prepared for the earlier capture before the new Arm, pushed after it.
            ++s.late;
            return nullptr;
        }
        const bool argsOk = stream == stream_ && samplesPerBlock == 16 && outputCount == 3 && outputs &&
                            outputs[0] == 0 && outputs[1] == 1 && outputs[2] == 2 && values && valueCount == 144;
        if (!argsOk) {
            ++s.badArgs;
            return nullptr;
        }
        if (s.blocks > 0 && frame != s.lastFrame + 16)
            ++s.gaps;
        if (s.blocks == 0)
            s.firstFrame = frame;
        s.lastFrame = frame;
        ++s.blocks;
        const double ahead = static_cast<double>(frame + 15) - g_captureRate * (now - g_captureStart);
        if (ahead > s.maxAhead)
            s.maxAhead = ahead;
        for (int sample = 0; sample < 16; ++sample) {
            const float fz = values[sample * 9 + 2];
            if (fz != 0.0f)
                ++s.loaded;
            s.lastFz = fz;
        }
        return nullptr;
    }

    void NotifyChanged() override
    {
        Lock lock;
        ++notifications_;
    }

    /// The user changes a setting: store it and report its id.
    bool Change(const char* name, u64 id, double number, const char* text)
    {
        Lock lock;
        Parameter* p = Find(name);
        if (!p || changeCount_ == MaxChanges)
            return false;
        if (!(text ? p->value->ReplaceText(text) : p->value->ReplaceDouble(number)))
            return false;
        changes_[changeCount_++] = id;
        return true;
    }

    int BoolParameter(const char* name)
    {
        Lock lock;
        Parameter* p = Find(name);
        if (!p || p->value->GetType() != TypeBool)
            return -1;
        return p->value->BoolValue() ? 1 : 0;
    }

    int Notifications()
    {
        Lock lock;
        return notifications_;
    }
    MsStream Stats()
    {
        Lock lock;
        return stats_;
    }

    /// A new Arm: statistics start afresh for `stream`.
    void NewStream(unsigned int stream)
    {
        Lock lock;
        previousStream_ = stream_;
        stream_ = stream;
        stats_ = MsStream{0, 0, 0, 0, 0, 0, 0.0, 0, -1e300};
    }

    void Release()
    {
        for (int i = 0; i < count_; ++i) {
            msrt_free(parameters_[i].name);
            delete parameters_[i].value;
        }
        count_ = 0;
    }

private:
    Parameter* Find(const char* name)
    {
        for (int i = 0; i < count_; ++i)
            if (Equal(parameters_[i].name, name))
                return &parameters_[i];
        return nullptr;
    }

    unsigned int stream_;
    unsigned int previousStream_ = 0;
    Parameter parameters_[MaxParameters];
    int count_ = 0;
    u64 changes_[MaxChanges] = {};
    int changeCount_ = 0;
    int notifications_ = 0;
    MsStream stats_ = {0, 0, 0, 0, 0, 0, 0.0, 0, -1e300};
};

class Instantiator final : public IDeviceInstantiator
{
public:
    HostResult* InstantiateDevice(const char* manufacturer, const char* definitionName, const char* version,
                                  const char* deviceName, IDevice* device) override
    {
        int found = -1;
        for (int i = 0; i < g_definitionCount; ++i) {
            const Definition& d = g_definitions[i];
            if (Equal(d.manufacturer, manufacturer) && Equal(d.name, definitionName) && Equal(d.version, version))
                found = i;
        }
        if (found < 0 || !device) {
            msrt_fail(deviceName, "InstantiateDevice names no registered definition");
            return new Failure("unknown definition");
        }
        Lock lock;
        if (g_deviceCount == MaxDevices)
            return new Failure("no room");
        const int index = g_deviceCount;
        Device& d = g_devices[index];
        d.deviceName = Duplicate(deviceName);
        d.definition = found;
        d.device = device;
        // Stream handles are 100 + the device's position.
        d.services = new DeviceServices(100u + static_cast<unsigned int>(index), g_definitions[found]);
        ++g_deviceCount;
        return nullptr;
    }
};

PluginHost g_pluginHost;
Registry g_registry;
Instantiator g_instantiator;

Device* DeviceAt(int index)
{
    Lock lock;
    return index >= 0 && index < g_deviceCount ? &g_devices[index] : nullptr;
}

} // namespace

// ---------------------------------------------------------------- the bridge

extern "C" void* mshost_plugin_host(void) { return static_cast<IPluginHost*>(&g_pluginHost); }
extern "C" void* mshost_registry(void) { return static_cast<IDefinitionRegistry*>(&g_registry); }
extern "C" void* mshost_instantiator(void) { return static_cast<IDeviceInstantiator*>(&g_instantiator); }

extern "C" void mshost_definition_summary(MsDefinitionSummary* out) { *out = g_summary; }

extern "C" const char* mshost_definition_name(int i)
{
    return i >= 0 && i < g_definitionCount ? g_definitions[i].name : nullptr;
}

extern "C" int mshost_device_count(void)
{
    Lock lock;
    return g_deviceCount;
}

extern "C" const char* mshost_device_name(int device)
{
    Device* d = DeviceAt(device);
    return d ? d->deviceName : nullptr;
}

extern "C" const char* mshost_device_definition(int device)
{
    Device* d = DeviceAt(device);
    return d ? g_definitions[d->definition].name : nullptr;
}

extern "C" int mshost_attach_new(void)
{
    int attached = 0;
    for (int i = 0;; ++i) {
        Device* d = DeviceAt(i);
        if (!d)
            break;
        if (d->attached)
            continue;
        d->attached = true;
        // Never under the host's lock: the plugin may call back from its worker.
        mscall_device_Attach(d->device, d->services);
        ++attached;
    }
    return attached;
}

extern "C" int mshost_notify_count(int device)
{
    Device* d = DeviceAt(device);
    return d ? d->services->Notifications() : -1;
}

extern "C" int mshost_parameter_bool(int device, const char* name)
{
    Device* d = DeviceAt(device);
    return d ? d->services->BoolParameter(name) : -1;
}

extern "C" int mshost_change_double(int device, const char* name, unsigned long long id, double value)
{
    Device* d = DeviceAt(device);
    if (!d || !d->services->Change(name, id, value, nullptr))
        return 0;
    mscall_device_ParametersChanged(d->device);
    return 1;
}

extern "C" int mshost_change_text(int device, const char* name, unsigned long long id, const char* text)
{
    Device* d = DeviceAt(device);
    if (!d || !text || !d->services->Change(name, id, 0.0, text))
        return 0;
    mscall_device_ParametersChanged(d->device);
    return 1;
}

extern "C" int mshost_arm(int device, unsigned int stream)
{
    Device* d = DeviceAt(device);
    if (!d)
        return 0;
    d->services->NewStream(stream);
    return mscall_device_Arm(d->device, stream, &d->setup) ? 1 : 0;
}

extern "C" void mshost_set_capture(double startTime, double rate)
{
    msrt_lock();
    g_captureStart = startTime;
    g_captureRate = rate;
    msrt_unlock();
}

extern "C" void mshost_start_capture(int device, double hostTime)
{
    if (Device* d = DeviceAt(device))
        mscall_device_StartCapture(d->device, hostTime);
}

extern "C" void mshost_disarm(int device)
{
    if (Device* d = DeviceAt(device))
        mscall_device_Disarm(d->device);
}

extern "C" void mshost_get_state(int device, int* state, int* rearmRequired)
{
    *state = -1;
    *rearmRequired = -1;
    if (Device* d = DeviceAt(device)) {
        // Sentinels the plugin must overwrite.
        int s = 77;
        bool r = true;
        unsigned char* bytes = reinterpret_cast<unsigned char*>(&r);
        bytes[0] = 0x5a;
        mscall_device_GetState(d->device, &s, &r);
        *state = s;
        *rearmRequired = bytes[0] == 0 ? 0 : bytes[0] == 1 ? 1 : 2;
    }
}

extern "C" void mshost_setup_calls(int device, MsSetupCalls* out)
{
    Device* d = DeviceAt(device);
    *out = d ? d->setup.calls : MsSetupCalls{0, 0, -1, 0};
}

extern "C" void mshost_stream(int device, MsStream* out)
{
    Device* d = DeviceAt(device);
    *out = d ? d->services->Stats() : MsStream{0, 0, 0, 0, 0, 0, 0.0, 0, -1e300};
}

extern "C" void mshost_release(void)
{
    for (int i = 0; i < g_deviceCount; ++i) {
        g_devices[i].services->Release();
        delete g_devices[i].services;
        msrt_free(g_devices[i].deviceName);
    }
    g_deviceCount = 0;
    for (int i = 0; i < g_definitionCount; ++i) {
        Definition& d = g_definitions[i];
        for (int p = 0; p < d.parameterCount; ++p) {
            msrt_free(d.parameters[p].name);
            delete d.parameters[p].value; // the host value's own (Microsoft) deleting destructor
        }
        msrt_free(d.manufacturer);
        msrt_free(d.name);
        msrt_free(d.version);
    }
    g_definitionCount = 0;
}
