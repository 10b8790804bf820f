// The combination-platform reader on any file content, through the real file
// path (CreateFileA and ReadFile of the Win32 layer). Besides memory and
// undefined-behaviour faults, it checks what a read without error promises
// the building of custom definitions.
#include "FuzzSupport.h"

#include "config/CComboRead.h"

#include <algorithm>

using namespace zorvafuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ZORVA::CComboRead reader;
    const ZORVA::ReaderResult result = ReadAsConfigFile(reader, "CombinationPlatform.cfg", data, size);
    Require(reader.comboLines >= 0 && reader.comboLines <= ZORVA::CComboRead::MaxCombos, "CP_INFO lines kept");
    Require(reader.memberLines >= 0 && reader.memberLines <= ZORVA::CComboRead::MaxMembers, "PP_INFO lines kept");
    Require(reader.memberPlatformLines >= 0 && reader.memberPlatformLines <= ZORVA::CComboRead::MaxMemberPlatforms,
            "PP_MEMBER lines kept");
    if (result != ZORVA::ReaderResult::Read)
        return 0;
    const int lines = static_cast<int>(std::count(data, data + size, '\n')) + 1;

    // What becomes a custom definition for each of the CP_COUNT combined
    // platforms: a record a CP_INFO line gave (with its line), or a cleared
    // one, which the building leaves out for its empty name at the CP_COUNT line.
    Require(reader.CP_COUNT == reader.comboLines, "CP_COUNT matches the CP_INFO lines");
    Require(reader.CP_COUNT == 0 || reader.countLine > 0, "the CP_COUNT line known");
    for (int i = 0; i < reader.CP_COUNT; ++i) {
        const ZORVA::ComboPlatform& combo = reader.combos[static_cast<std::size_t>(i)];
        Require(combo.name.size() <= ZORVA::CComboRead::TextLimit, "a name of at most 28");
        Require(combo.line >= 0 && combo.line <= lines, "the CP_INFO line within the file");
        if (combo.line == 0)
            Require(combo.name.empty() && combo.xSize == 0.0f && combo.ySize == 0.0f, "no line, a cleared record");
    }
    Require(reader.plateCount == (reader.ENABLED != 0 ? reader.memberLines : 0), "plateCount");
    return 0;
}
