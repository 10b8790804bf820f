#include "SyncMode.h"

#include <ostream>

namespace ZORVA {

namespace {

struct SyncModeEntry
{
    SyncMode mode;
    const char* text; ///< as the SyncMode setting offers it
    const char* name; ///< the enumerator
    const char* word; ///< on a command line
    const char* note; ///< what the word means, when its text does not say
};

/// The one place the setting's texts are tied to the modes, in the setting's order.
const SyncModeEntry SyncModeEntries[] = {
    {SyncMode::SoftwareTrigger, "Software trigger", "SoftwareTrigger", "software", "trigger at the capture start"},
    {SyncMode::HardwareTrigger, "Hardware trigger", "HardwareTrigger", "hardware", "the trigger input"},
    {SyncMode::Genlock, "Genlock", "Genlock", "genlock", ""},
};

const SyncModeEntry* Find(SyncMode mode)
{
    for (const SyncModeEntry& entry : SyncModeEntries) {
        if (entry.mode == mode)
            return &entry;
    }
    return nullptr;
}

} // namespace

std::vector<std::string> SyncModeTexts()
{
    std::vector<std::string> texts;
    for (const SyncModeEntry& entry : SyncModeEntries)
        texts.push_back(entry.text);
    return texts;
}

const char* SyncModeText(SyncMode mode)
{
    const SyncModeEntry* entry = Find(mode);
    return entry ? entry->text : "";
}

bool SyncModeFromText(const std::string& text, SyncMode& mode)
{
    for (const SyncModeEntry& entry : SyncModeEntries) {
        if (text == entry.text) {
            mode = entry.mode;
            return true;
        }
    }
    return false;
}

const char* SyncModeWord(SyncMode mode)
{
    const SyncModeEntry* entry = Find(mode);
    return entry ? entry->word : "";
}

const char* SyncModeNote(SyncMode mode)
{
    const SyncModeEntry* entry = Find(mode);
    return entry ? entry->note : "";
}

std::vector<SyncMode> SyncModes()
{
    std::vector<SyncMode> modes;
    for (const SyncModeEntry& entry : SyncModeEntries)
        modes.push_back(entry.mode);
    return modes;
}

bool SyncModeFromWord(const std::string& word, SyncMode& mode)
{
    for (const SyncModeEntry& entry : SyncModeEntries) {
        if (word == entry.word) {
            mode = entry.mode;
            return true;
        }
    }
    return false;
}

std::ostream& operator<<(std::ostream& out, SyncMode mode)
{
    const SyncModeEntry* entry = Find(mode);
    if (entry)
        return out << entry->name;
    return out << "SyncMode(" << static_cast<int>(mode) << ")";
}

} // namespace ZORVA
