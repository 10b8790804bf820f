// The combination-platform reader on any file content, through the real file
// path (CreateFileA and ReadFile of the Win32 layer). Besides memory and
// undefined-behaviour faults, it checks what a read without error promises
// the building of custom definitions.
#include "FuzzSupport.h"

#include "config/CComboRead.h"
#include "config/ConfigText.h"
#include "definitions/CustomDefinitions.h"

#include <algorithm>
#include <set>

using namespace zorvafuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::wstring>& reserved = ReservedNames();
    ZORVA::CComboRead reader;
    const ZORVA::ReaderResult result = ReadAsConfigFile(reader, "CombinationPlatform.cfg", data, size);
    Require(reader.comboLines >= 0 && reader.comboLines <= ZORVA::CComboRead::MaxCombos, "CP_INFO lines kept");
    Require(reader.memberLines >= 0 && reader.memberLines <= ZORVA::CComboRead::MaxMembers, "PP_INFO lines kept");
    Require(reader.memberPlatformLines >= 0 && reader.memberPlatformLines <= ZORVA::CComboRead::MaxMemberPlatforms,
            "PP_MEMBER lines kept");
    if (result != ZORVA::ReaderResult::Read)
        return 0;

    // What becomes a custom definition for each of the CP_COUNT combined platforms.
    Require(reader.CP_COUNT == reader.comboLines, "CP_COUNT matches the CP_INFO lines");
    std::set<std::wstring> names;
    for (int i = 0; i < reader.CP_COUNT; ++i) {
        const ZORVA::ComboPlatform& combo = reader.combos[static_cast<std::size_t>(i)];
        Require(!combo.name.empty() && combo.name.size() <= ZORVA::CComboRead::TextLimit, "a name of 1 to 28");
        Require(combo.name.find(L'\0') == std::wstring::npos, "no NUL in a name");
        Require(std::find(reserved.begin(), reserved.end(), combo.name) == reserved.end(), "no reserved name");
        Require(names.insert(combo.name).second, "each name once");
        Require(ZORVA::IsPlateSize(combo.xSize) && ZORVA::IsPlateSize(combo.ySize), "finite sizes, not negative");
    }
    Require(reader.plateCount == (reader.ENABLED != 0 ? reader.memberLines : 0), "plateCount");
    return 0;
}
