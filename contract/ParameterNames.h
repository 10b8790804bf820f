/// The names of the parameters a host and the tools read and write by name:
/// the shared configuration device's settings and actions, and a plate's.
/// Hosts keep values by these names: they stay byte for byte.
#pragma once

namespace ZORVA {
namespace ParameterName {

// The shared configuration device.
constexpr char SyncMode[] = "SyncMode";
constexpr char SampleRate[] = "SampleRate";
constexpr char DataThreshold[] = "DataThreshold";
constexpr char BroadcastZero[] = "BroadcastZero";
constexpr char ScanForHardware[] = "ScanForHardware";

// A plate.
constexpr char Connected[] = "Connected";
constexpr char BlinkAction[] = "BlinkAction";
constexpr char AmplifierSerial[] = "AmplifierSerial";
constexpr char AmplifierModel[] = "AmplifierModel";
constexpr char PlatformModel[] = "PlatformModel";
constexpr char PlatformSerial[] = "PlatformSerial";
constexpr char FirmwareVersion[] = "FirmwareVersion";

} // namespace ParameterName
} // namespace ZORVA
