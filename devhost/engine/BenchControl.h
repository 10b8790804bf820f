/// The simulated bench, as the development host reaches it: the plain C
/// controls of the simulated USB library (simusb/SimControlC.h), looked up
/// at run time in the USB library the plugin loaded, or behind the recorder
/// when it stands in front. With the conditioners' own library they are
/// absent and Available() is false.
#pragma once

#include "simusb/SimControlC.h"

#include <string>
#include <vector>

namespace zorvahost {

class BenchControl
{
public:
    /// Looks the controls up; call after the plugin was loaded.
    BenchControl();
    /// No controls (Available() false), without looking anything up.
    struct Absent
    {};
    explicit BenchControl(Absent) {}

    bool Available() const { return available_; }
    /// A replay: the library answers from a trace, its bench (still there
    /// behind it) stands for nothing; Available() is false from now on.
    void SetReplaying() { available_ = false; }
    /// Where the scenario came from and its name; empty when not available.
    std::string Description() const;
    int UnitCount() const;
    std::string UnitName(int unit) const;
    /// "amplifier serial / platform model platform serial".
    std::string UnitIdentity(int unit) const;
    bool Plugged(int unit) const;
    /// False for an unknown unit or without the controls.
    bool SetPlugged(int unit, bool plugged) const;

    /// What a user does on the bench, for the self-test; false without the
    /// controls (an older simulated library) or when the library refuses.
    /// A mass of `kg` at (x, y) of the unit's plate, metres; 0 takes it off.
    bool PlaceWeight(int unit, double kg, double x, double y) const;
    /// Every unit's trigger input active for `samples` samples from the next.
    bool PulseTrigger(int samples) const;
    /// The unit (scenario position) with these serials and platform model; -1 if none.
    int FindUnit(const std::string& amplifierSerial, const std::string& platformModel,
                 const std::string& platformSerial) const;

    /// The unit named by its section name or its 0-based position; -1 with
    /// `error` saying why (and which units there are) otherwise.
    int ResolveUnit(const std::string& nameOrIndex, std::string& error) const;

    /// The fault for the library's next `count` blocks or transfers
    /// (ZorvaSim_InjectFault); false without the controls or when the library
    /// refuses.
    bool SetFault(ZorvaSimFault fault, int count) const;

    /// Replay: loads a trace to answer every call from (messages posted right
    /// after the call they followed); false with `error` without the controls.
    bool LoadTrace(const std::string& path, std::string& error) const;
    /// The replay's counts; false when no trace is loaded.
    bool ReplayProgress(ZorvaSimReplayProgress& progress) const;
    /// The replay's differences, as ZorvaSim_ReplayMismatch words them.
    std::vector<std::string> ReplayMismatches() const;

private:
    typedef int (*CountFn)();
    typedef int (*TextFn)(int, char*, int);
    typedef int (*PluggedFn)(int);
    typedef int (*SetPluggedFn)(int, int);
    typedef int (*DescriptionFn)(char*, int);
    typedef int (*PlaceWeightFn)(int, double, double, double);
    typedef int (*PulseTriggerFn)(int);

    std::string Text(TextFn function, int unit) const;

    bool available_ = false;
    CountFn unitCount_ = nullptr;
    TextFn unitName_ = nullptr;
    TextFn unitIdentity_ = nullptr;
    PluggedFn unitPlugged_ = nullptr;
    SetPluggedFn setPlugged_ = nullptr;
    DescriptionFn description_ = nullptr;
    ZorvaSimFaultFn injectFault_ = nullptr;
    int (*loadTrace_)(const char*, int, char*, int) = nullptr;
    int (*replayProgress_)(ZorvaSimReplayProgress*) = nullptr;
    int (*mismatchCount_)() = nullptr;
    int (*mismatch_)(int, char*, int) = nullptr;
    PlaceWeightFn placeWeight_ = nullptr;
    PulseTriggerFn pulseTrigger_ = nullptr;
};

/// A non-negative decimal index written in full ("0", "12"), or -1.
int ParseIndex(const std::string& text);

} // namespace zorvahost
