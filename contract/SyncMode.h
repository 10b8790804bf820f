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

/// The short word a command line takes for a mode ("software", "hardware",
/// "genlock"), and what it means in a few words ("" when the setting's text
/// says it); "" for a value outside the enumeration.
const char* SyncModeWord(SyncMode mode);
const char* SyncModeNote(SyncMode mode);
/// The modes in the setting's order.
std::vector<SyncMode> SyncModes();

/// The mode whose word is exactly `word`; false, `mode` untouched, for none.
bool SyncModeFromWord(const std::string& word, SyncMode& mode);

/// The enumerator's name ("Genlock"), or "SyncMode(7)" for another value.
std::ostream& operator<<(std::ostream& out, SyncMode mode);

} // namespace ZORVA
