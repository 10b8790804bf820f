// The treadmill-support reader on any file content, through the real file
// path. Besides memory and undefined-behaviour faults, it checks the record a
// read leaves, and the lines it names for the treadmill plate.
#include "FuzzSupport.h"

#include "config/TreadmillSupportRead.h"

using namespace zorvafuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    UseTemporaryDrive();
    WriteConfigFile("TreadmillSupport.cfg", data, size);

    ZORVA::TreadmillSupportRecord record;
    int plates = -1;
    std::wstring errorText;
    const ZORVA::ReaderResult result =
        ZORVA::ReadTreadmillSupport(plates, L"C:\\ZORVA\\CFG\\TreadmillSupport.cfg", record, errorText);
    Require(result == ZORVA::ReaderResult::Read || result == ZORVA::ReaderResult::Failed,
            "the result is Read or Failed");
    Require((result == ZORVA::ReaderResult::Read) == errorText.empty(), "an error text exactly when the read fails");
    Require(plates >= 0 && plates <= ZORVA::TreadmillSupportRecord::MaxPlates, "PHY_P count");
    Require(record.SETUP_TYPE == 0 || record.SETUP_TYPE == 4 || record.SETUP_TYPE == 5, "SETUP_TYPE 0, 4 or 5");
    Require(record.platformCount == (record.USE_MANUAL_OFFSETS == 1 ? plates : 2), "platformCount");
    for (const ZORVA::PhysicalPlate& plate : record.plates)
        Require(plate.name.size() <= 19, "a plate name of at most 19");
    if (record.SETUP_TYPE != 0)
        Require(record.ENABLED != 0 && record.TREADMILL_TYPE == record.SETUP_TYPE, "a supported treadmill");
    // Where the treadmill plate's name and sizes come from, for the messages about it.
    if (record.SETUP_TYPE != 0)
        Require(record.typeLine > 0, "the line that chose the set-up type");
    if (record.xDimensionLine == 0)
        Require(record.X_DIMENSION == 0.0f, "no X_DIMENSION line, X 0");
    if (record.yDimensionLine == 0)
        Require(record.Y_DIMENSION == 0.0f, "no Y_DIMENSION line, Y 0");
    return 0;
}
