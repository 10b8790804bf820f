/// The simulated bench, as the development host reaches it: the plain C
/// controls of the simulated USB library (simusb/SimControlExports.h), looked
/// up at run time in the USB library the plugin loaded. With the
/// conditioners' own library they are absent and Available() is false.
#pragma once

#include <string>

namespace zorvahost {

class BenchControl
{
public:
    /// Looks the controls up; call after the plugin was loaded.
    BenchControl();

    bool Available() const { return available_; }
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
    PlaceWeightFn placeWeight_ = nullptr;
    PulseTriggerFn pulseTrigger_ = nullptr;
};

/// A non-negative decimal index written in full ("0", "12"), or -1.
int ParseIndex(const std::string& text);

} // namespace zorvahost
