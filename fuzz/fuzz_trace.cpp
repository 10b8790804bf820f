// The field-trace reader on any bytes: it never crashes or reads past a
// buffer, says why it stops, and every record it gives back is within the
// format's limits.
#include "FuzzSupport.h"

#include "trace/format/TraceReader.h"

#include <string>

using namespace zorvafuzz;
using namespace zorvatrace;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TraceReader reader;
    const bool opened = reader.OpenBytes(std::string(reinterpret_cast<const char*>(data), size));
    Require(opened == (reader.ErrorKind() == ReadError::None), "Open fails exactly with an error");
    Require(opened || !reader.Error().empty(), "a refused header says why");
    std::uint64_t previous = 0;
    bool first = true;
    Record record;
    ReadStatus status = ReadStatus::Error;
    while (opened && (status = reader.Next(record)) == ReadStatus::Record) {
        Require(first || record.number > previous, "record numbers rise");
        first = false;
        previous = record.number;
        if (record.type == RecordType::Call) {
            Require(IsFunction(static_cast<std::uint8_t>(record.function)), "a known function");
            Require(record.texts[0].bytes.size() <= kTextSize && record.texts[1].bytes.size() <= kSizeTextSize,
                    "texts within their buffers");
            Require(record.units <= kMaxBlockUnits, "at most 1024 units");
            Require(record.block.size() == static_cast<std::size_t>(record.units) * kFloatsPerUnitBlock,
                    "a block holds its units");
        }
        Require(!Describe(record).empty(), "every record can be described");
    }
    if (opened) {
        Require((status == ReadStatus::Error) == (reader.ErrorKind() != ReadError::None), "Error exactly on an error");
        Require(status != ReadStatus::Error || !reader.Error().empty(), "an error says why");
        Require(status != ReadStatus::End || reader.Complete(), "the end only after the end record");
        Require(reader.ErrorKind() == ReadError::None || !reader.Complete(), "a broken trace is not complete");
        // The reader stays stopped.
        Require(reader.Next(record) == status, "the same answer again");
    }
    return 0;
}
