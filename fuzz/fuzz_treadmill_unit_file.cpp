// The treadmill-unit reader (Strivo.cfg) on any file content, through the real
// file path. Besides memory and undefined-behaviour faults, it checks what a
// read without error promises the building of custom definitions.
#include "FuzzSupport.h"

#include "config/ConfigText.h"
#include "config/StrivoRead.h"
#include "definitions/CustomDefinitions.h"

#include <algorithm>
#include <set>

using namespace zorvafuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::wstring>& reserved = ReservedNames();
    ZORVA::StrivoRead reader;
    const ZORVA::ReaderResult result = ReadAsConfigFile(reader, "Strivo.cfg", data, size);
    Require(reader.plateCount >= 0 && reader.plateCount <= 2 * ZORVA::StrivoRead::MaxUnits, "plateCount in range");
    if (result != ZORVA::ReaderResult::Read)
        return 0;

    Require(reader.VERSION == 101, "version 101");
    Require(reader.COUNT >= 1 && reader.COUNT <= ZORVA::StrivoRead::MaxUnits, "COUNT 1 to 4");
    Require(reader.plateCount == (reader.ENABLED ? 2 * reader.COUNT : 0), "plateCount");
    std::set<std::wstring> names;
    for (int i = 0; i < reader.COUNT; ++i) {
        const ZORVA::StrivoUnit& unit = reader.units[static_cast<std::size_t>(i)];
        Require(unit.defined, "every unit has its STRIVO line");
        Require(!unit.name.empty() && unit.name.size() <= ZORVA::StrivoRead::TextLimit, "a name of 1 to 29");
        Require(unit.name.find(L'\0') == std::wstring::npos, "no NUL in a name");
        Require(std::find(reserved.begin(), reserved.end(), unit.name) == reserved.end(), "no reserved name");
        Require(names.insert(unit.name).second, "each name once");
        Require(ZORVA::IsPlateSize(unit.xSize) && ZORVA::IsPlateSize(unit.ySize), "finite sizes, not negative");
        Require(!unit.ampIds[0].empty() && !unit.ampIds[1].empty(), "both amplifier IDs");
        for (int slot : unit.sensorSlots)
            Require(slot >= 0 && slot <= 3, "all four sensor records");
    }
    return 0;
}
