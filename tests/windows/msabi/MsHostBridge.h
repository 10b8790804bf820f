// The C interface between the two halves of the Microsoft-ABI test host:
// - the host half (MsHost.cpp, Microsoft C++ ABI, freestanding) implements the
//   host objects and makes every call into the plugin's objects;
// - the runtime half (main.cpp, MinGW g++) loads the plugin, calls its
//   exports, waits, prints, and lends the host half memory, a lock and a clock.
// Only C types cross between the halves.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// ---- provided by the runtime half
void* msrt_alloc(unsigned long long size);
void msrt_free(void* memory);
/// One lock for the host half's records (the plugin calls in from its worker).
void msrt_lock(void);
void msrt_unlock(void);
/// Seconds on a steady clock.
double msrt_now(void);
/// A log line of the plugin.
void msrt_log(const char* text, int level);
/// A fault the host half found: the test fails.
void msrt_fail(const char* what, const char* detail);

// ---- provided by the host half (all pointers it returns are its own)
void* mshost_plugin_host(void);
void* mshost_registry(void);
void* mshost_instantiator(void);

struct MsDefinitionSummary
{
    int definitions;   ///< BeginDefinition ... EndDefinition pairs
    int values;        ///< AddParameter calls
    int copied;        ///< values whose CopyTo into a host value succeeded and matched GetType and flags
    int equal;         ///< values whose IsEqual with the host's copy was true
    int doublesRead;   ///< double values whose GetValue equalled the block's value
    int typeCounts[8]; ///< values by type code (0 action, 1 bool, 3 double, 4 string, 7 enum)
};
void mshost_definition_summary(struct MsDefinitionSummary* out);
/// The name of definition i in registration order, or null.
const char* mshost_definition_name(int i);

int mshost_device_count(void);
const char* mshost_device_name(int device);
const char* mshost_device_definition(int device);
/// Attaches every instantiated device not attached yet; returns how many.
int mshost_attach_new(void);
int mshost_notify_count(int device);
/// The host's stored value of a device parameter: 1 true, 0 false, -1 none or not a bool.
int mshost_parameter_bool(int device, const char* name);
/// Stores a new value of a setting, reports `id` changed and calls ParametersChanged.
/// 0 when the host has no such parameter.
int mshost_change_double(int device, const char* name, unsigned long long id, double value);
int mshost_change_text(int device, const char* name, unsigned long long id, const char* text);
/// Arm(stream, setup) on the device. A plate's stream statistics start
/// afresh for `stream`; pushes to its earlier stream count as late.
int mshost_arm(int device, unsigned int stream);
/// The capture's start (host clock, seconds) and rate, against which every
/// pushed block's sample numbers are held (MsStream::maxAhead).
void mshost_set_capture(double startTime, double rate);
void mshost_start_capture(int device, double hostTime);
void mshost_disarm(int device);
void mshost_get_state(int device, int* state, int* rearmRequired);

struct MsSetupCalls
{
    unsigned int ticksPerSample; ///< last SetTicksPerSample, 0 if none
    unsigned int samplesPerBlock;
    int timingMode; ///< -1 if none
    int syncInputs;
};
void mshost_setup_calls(int device, struct MsSetupCalls* out);

struct MsStream
{
    long long blocks;
    long long firstFrame;
    long long lastFrame;
    long long gaps;    ///< frames that did not follow the previous by 16
    long long badArgs; ///< calls whose stream, sizes or outputs were wrong
    long long loaded;  ///< samples with a non-zero vertical force
    double lastFz;
    long long late; ///< blocks for the device's earlier stream (after a new Arm)
    /// Most samples a block's last sample number ran ahead of the host clock
    /// at its arrival, rate x (now - start), since the capture began.
    double maxAhead;
};
void mshost_stream(int device, struct MsStream* out);

/// Destroys the host's objects (after Shutdown).
void mshost_release(void);

#ifdef __cplusplus
}
#endif
