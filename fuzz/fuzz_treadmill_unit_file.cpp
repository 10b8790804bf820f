// The treadmill-unit reader (Strivo.cfg) on any file content, through the real
// file path. Besides memory and undefined-behaviour faults, it checks what a
// read without error promises the building of custom definitions.
#include "FuzzSupport.h"

#include "config/StrivoRead.h"

#include <algorithm>

using namespace zorvafuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ZORVA::StrivoRead reader;
    const ZORVA::ReaderResult result = ReadAsConfigFile(reader, "Strivo.cfg", data, size);
    Require(reader.plateCount >= 0 && reader.plateCount <= 2 * ZORVA::StrivoRead::MaxUnits, "plateCount in range");
    if (result != ZORVA::ReaderResult::Read)
        return 0;
    const int lines = static_cast<int>(std::count(data, data + size, '\n')) + 1;

    Require(reader.VERSION == 101, "version 101");
    Require(reader.COUNT >= 1 && reader.COUNT <= ZORVA::StrivoRead::MaxUnits, "COUNT 1 to 4");
    Require(reader.countLine > 0, "the COUNT line known");
    Require(reader.plateCount == (reader.ENABLED ? 2 * reader.COUNT : 0), "plateCount");
    for (int i = 0; i < reader.COUNT; ++i) {
        const ZORVA::StrivoUnit& unit = reader.units[static_cast<std::size_t>(i)];
        Require(unit.name.size() <= ZORVA::StrivoRead::TextLimit, "a name of at most 29");
        // A unit needs no STRIVO line; without one it keeps its cleared name and sizes.
        Require(unit.defined == (unit.line > 0), "a STRIVO line exactly when defined");
        Require(unit.line <= lines, "the STRIVO line within the file");
        if (!unit.defined)
            Require(unit.name.empty() && unit.xSize == 0.0f && unit.ySize == 0.0f, "no line, a cleared record");
        Require(!unit.ampIds[0].empty() && !unit.ampIds[1].empty(), "both amplifier IDs");
        for (int slot : unit.sensorSlots)
            Require(slot >= 0 && slot <= 3, "all four sensor records");
    }
    return 0;
}
