/// Reads the plugin's log as a host sees it and turns each hardware detection
/// into a report: its outcome, the units the USB library reported (from the
/// traced identity queries) and what the plugin said about them.
#pragma once

#include "contract/UnitIdentity.h"
#include "hostkit/HostRecords.h"

#include <deque>
#include <string>
#include <vector>

namespace hostkit {

/// One signal conditioner with its platform, as the identity queries reported it.
struct DetectedUnit
{
    int index = -1; ///< the library's device index
    int productType = 0;
    std::string amplifierModel, amplifierSerial, firmwareVersion;
    std::string platformModel, platformSerial;
    double origin[3] = {0.0, 0.0, 0.0}; ///< inches
    std::string length, width;          ///< texts, inches
    bool complete = false;              ///< the product type was read

    /// The instance name the plugin gives its plate: amplifier serial followed by platform serial.
    std::string InstanceName() const { return ZORVA::InstanceName(amplifierSerial, platformSerial); }
};

struct DetectionReport
{
    bool succeeded = false; ///< the library's start-up did not time out
    std::string message;    ///< the start-up's set-up message
    int deviceCount = 0;    ///< "Detected %d ZORVA digital devices"
    std::vector<DetectedUnit> units;
    std::vector<int> unsupportedTypes; ///< in the order the plugin skipped them
    /// "Host returned ..." lines: a plate device the host refused.
    std::vector<std::string> refusals;
    /// Every line from the library's start-up to the end of the detection.
    std::vector<LogLine> log;
};

/// Fed the log lines in order; collects one report per detection.
///
/// The lines are recognised by the plugin's own table of them
/// (contract/LogLines.h). A detection starts at the library's start-up (Init)
/// and its outcome line comes with its device count (DevicesDetected). The plugin's remaining calls for it
/// (lines about unsupported units, the new plates' InstantiateDevice, lines
/// about refused plates) follow once it has let go of its lock, and its last
/// call is the shared device's NotifyChanged, on the same thread. The owner
/// therefore feeds that NotifyChanged in its place among the lines
/// (SharedDeviceNotified()); Finish() ends a detection without it.
class DetectionLogParser
{
public:
    void Feed(const LogLine& line);
    /// The current detection has logged its device count and is not finished yet.
    bool AwaitingEnd() const { return ended_; }
    /// The shared device's NotifyChanged, in its order among the log lines:
    /// finishes the current detection if it logged its device count.
    void SharedDeviceNotified() { Finish(); }
    /// Finishes the current detection, if it logged its device count.
    void Finish();
    /// Takes the finished reports, oldest first.
    std::vector<DetectionReport> TakeReports();

private:
    DetectionReport current_;
    bool started_ = false;
    bool ended_ = false;
    std::deque<DetectionReport> finished_;
};

} // namespace hostkit
