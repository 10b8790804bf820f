/// Reader of the treadmill-unit file: up to four treadmill units, each with a
/// name and sizes (STRIVO), two amplifier IDs (AMP) and four sensor records
/// (SENSOR), checked for completeness.
///
/// Limits, all closed without a buffer overrun:
/// - Names, amplifier IDs and sensor texts keep their first 29 characters,
///   no error.
/// - A unit number outside 1 to COUNT, or above 4 whatever COUNT says, gives
///   "Bad device index %d". A COUNT outside 0 to 4 is stored (and reported as
///   "Bad device count"); the completeness check then looks at the four units
///   of the table only, and plateCount counts only those.
/// - A unit's STRIVO line is not required: a unit without one keeps an empty
///   name and sizes of 0, with line 0.
#pragma once

#include "ConfigRead.h"

#include <array>
#include <string>

namespace ZORVA {

/// One treadmill unit. Sizes in file units (UNITS).
struct StrivoUnit
{
    /// True once the unit's STRIVO line was read.
    bool defined = false;
    /// The STRIVO line that gave the name and sizes; 0 when none did.
    int line = 0;
    std::wstring name;
    float ySize = 0.0f;
    float xSize = 0.0f;
    float thirdSize = 0.0f;
    /// Index = side: 0 left or front, 1 right or back.
    std::array<std::wstring, 2> ampIds;
    /// Index = sensor slot = position (A 0, B 1) + 2 × side.
    std::array<std::wstring, 4> sensorTexts;
    /// The slot number once a SENSOR line filled the slot; -1 before.
    std::array<int, 4> sensorSlots{{-1, -1, -1, -1}};
    std::array<float, 4> sensorValuesA{};
    std::array<float, 4> sensorValuesB{};
    /// Degrees: 0, 90, 180 or 270.
    std::array<int, 4> sensorOrientations{};
};

class StrivoRead : public ConfigRead
{
public:
    static constexpr int MaxUnits = 4;
    /// Characters kept of every text.
    static constexpr std::size_t TextLimit = 29;

    /// Only 101 is accepted.
    int VERSION = 101;
    bool ENABLED = false;
    /// 1: metric (millimetres); 0: English (inches).
    int UNITS = 1;
    int COUNT = 0;
    /// The COUNT line in force; 0 when there is none.
    int countLine = 0;
    /// False: the sides are left and right; true: front and back.
    bool frontBack = false;
    /// Unit n of the file is units[n-1].
    std::array<StrivoUnit, MaxUnits> units;

protected:
    void InitData() override;
    bool ProcessKeyword(int id, const std::vector<std::wstring>& parameters, std::wstring& message) override;
    ReaderResult SummaryCheck(std::wstring& message) override;

    /// 0 for LEFT or FRONT, 1 for RIGHT or BACK (any case), else -1. LEFT
    /// clears frontBack, FRONT sets it.
    int ParseSide(const std::wstring& word);
    /// Reads `text` by the integer rule into `value` (also when out of range);
    /// true when lower <= value <= upper.
    static bool ParseIntInRange(const std::wstring& text, int& value, int lower, int upper);
};

} // namespace ZORVA
