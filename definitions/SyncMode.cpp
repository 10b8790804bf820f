#include "SyncMode.h"

#include <ostream>

namespace ZORVA {

namespace {

struct SyncModeEntry
{
    SyncMode mode;
    const char* text; ///< as the SyncMode setting offers it
    const char* name; ///< the enumerator
};

/// The one place the setting's texts are tied to the modes, in the setting's order.
const SyncModeEntry SyncModeEntries[] = {
    {SyncMode::SoftwareTrigger, "Software trigger", "SoftwareTrigger"},
    {SyncMode::HardwareTrigger, "Hardware trigger", "HardwareTrigger"},
    {SyncMode::Genlock, "Genlock", "Genlock"},
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

std::ostream& operator<<(std::ostream& out, SyncMode mode)
{
    const SyncModeEntry* entry = Find(mode);
    if (entry)
        return out << entry->name;
    return out << "SyncMode(" << static_cast<int>(mode) << ")";
}

} // namespace ZORVA
