/// How the plates' sample numbers are aligned with the host's: the shared
/// configuration device's SyncMode setting.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace ZORVA {

enum class SyncMode : int
{
    SoftwareTrigger = 0, ///< from the host time StartCapture gives
    HardwareTrigger = 1, ///< from the first unit's trigger-input marker
    Genlock = 2          ///< the library's counters are the sample numbers
};

/// The SyncMode setting's texts, in the order the setting offers them.
std::vector<std::string> SyncModeTexts();

/// The setting's text of a mode ("Software trigger", "Hardware trigger",
/// "Genlock"); "" for a value outside the enumeration.
const char* SyncModeText(SyncMode mode);

/// The mode whose setting text is exactly `text` (whole text, case-sensitive);
/// false, `mode` untouched, when no mode has that text.
bool SyncModeFromText(const std::string& text, SyncMode& mode);

/// The enumerator's name ("Genlock"), or "SyncMode(7)" for another value.
std::ostream& operator<<(std::ostream& out, SyncMode mode);

} // namespace ZORVA
