// The treadmill-support reader on any file content, through the real file
// path. Besides memory and undefined-behaviour faults, it checks the record a
// read leaves and what a read without error promises the treadmill plate.
#include "FuzzSupport.h"

#include "config/ConfigText.h"
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
    if (result == ZORVA::ReaderResult::Read) {
        Require(ZORVA::IsPlateSize(record.X_DIMENSION) && ZORVA::IsPlateSize(record.Y_DIMENSION),
                "finite dimensions, not negative");
    }
    return 0;
}
