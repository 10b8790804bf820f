#include "StrivoRead.h"

#include "ConfigText.h"

#include <algorithm>

namespace ZORVA {

namespace {

enum StrivoKeywordId
{
    Count = ConfigRead::FirstOwnKeyword,
    Strivo,
    Amp,
    Sensor
};

const ConfigKeyword strivoKeywords[] = {
    {L"TEXT_NOTE", ConfigRead::TextNote, 0},
    {L"VERSION", ConfigRead::Version, 1},
    {L"ENABLED", ConfigRead::Enabled, 1},
    {L"UNITS", ConfigRead::Units, 1},
    {L"COUNT", Count, 1},
    {L"STRIVO", Strivo, 5},
    {L"AMP", Amp, 4},
    {L"SENSOR", Sensor, 7},
};

// The reader's own messages: semantic ones go into the semantic-error line,
// summary ones into the summary text.
const wchar_t* const BadVersion = L"Bad file version";
const wchar_t* const BadUnits = L"Bad units %s";
const wchar_t* const BadCount = L"Bad device count";
const wchar_t* const BadIndex = L"Bad device index %d";
const wchar_t* const BadSide = L"Bad amp id %s";
const wchar_t* const BadPosition = L"Bad sensor position %s";
const wchar_t* const BadOrientation = L"Bad sensor orientation %s";
const wchar_t* const NoUnits = L"No Strivo units defined in configuration";
const wchar_t* const MissingLeftAmp = L"Missing amplifier ID for the Left side \r\n";
const wchar_t* const MissingRightAmp = L"Missing amplifier ID for the Right side \r\n";
const wchar_t* const MissingSensor = L"Missing sensor record for %s %s \r\n";

std::wstring UpperCased(std::wstring text)
{
    UpperCaseText(text);
    return text;
}

} // namespace

void StrivoRead::InitData()
{
    keywordTable = strivoKeywords;
    keywordCount = static_cast<int>(sizeof(strivoKeywords) / sizeof(strivoKeywords[0]));
    VERSION = 101;
    ENABLED = false;
    UNITS = 1;
    COUNT = 0;
    countLine = 0;
    frontBack = false;
    units.fill(StrivoUnit());
}

bool StrivoRead::ParseIntInRange(const std::wstring& text, int& value, int lower, int upper)
{
    value = ReadInteger(text);
    return lower <= value && value <= upper;
}

int StrivoRead::ParseSide(const std::wstring& word)
{
    const std::wstring upper = UpperCased(word);
    if (upper == L"LEFT") {
        frontBack = false;
        return 0;
    }
    if (upper == L"RIGHT")
        return 1;
    if (upper == L"FRONT") {
        frontBack = true;
        return 0;
    }
    if (upper == L"BACK")
        return 1;
    return -1;
}

bool StrivoRead::ProcessKeyword(int id, const std::vector<std::wstring>& p, std::wstring& message)
{
    StrivoUnit* unit = nullptr;
    if (id == Strivo || id == Amp || id == Sensor) {
        // A unit beyond the table is refused whatever COUNT holds.
        int number = 0;
        if (!ParseIntInRange(p[0], number, 1, std::min(COUNT, static_cast<int>(MaxUnits)))) {
            message = FormatText(BadIndex, {std::to_wstring(number)});
            return false;
        }
        unit = &units[static_cast<std::size_t>(number - 1)];
    }

    switch (id) {
    case TextNote: break;
    case Version:
        VERSION = ReadInteger(p[0]);
        if (VERSION != 101)
            message = BadVersion;
        break;
    case Enabled: ENABLED = ReadInteger(p[0]) != 0; break;
    case Units: {
        const std::wstring word = UpperCased(p[0]);
        if (word == L"ENGLISH")
            UNITS = 0;
        else if (word == L"METRIC")
            UNITS = 1;
        else
            message = FormatText(BadUnits, {word});
        break;
    }
    case Count:
        countLine = lineNumber;
        if (!ParseIntInRange(p[0], COUNT, 0, MaxUnits))
            message = BadCount;
        break;
    case Strivo: {
        unit->defined = true;
        unit->name = CutText(p[1], TextLimit);
        unit->xSize = ReadReal(p[2]);
        unit->ySize = ReadReal(p[3]);
        unit->thirdSize = ReadReal(p[4]);
        unit->line = lineNumber;
        break;
    }
    case Amp: {
        const int side = ParseSide(p[1]);
        if (side < 0) {
            message = FormatText(BadSide, {UpperCased(p[1])});
            break;
        }
        unit->ampIds[static_cast<std::size_t>(side)] = CutText(p[3], TextLimit);
        break;
    }
    case Sensor: {
        const int side = ParseSide(p[1]);
        if (side < 0) {
            message = FormatText(BadSide, {UpperCased(p[1])});
            break;
        }
        const std::wstring position = UpperCased(p[2]);
        if (position != L"A" && position != L"B") {
            message = FormatText(BadPosition, {position});
            break;
        }
        const int slot = (position == L"A" ? 0 : 1) + 2 * side;
        const std::size_t s = static_cast<std::size_t>(slot);
        unit->sensorSlots[s] = slot;
        unit->sensorTexts[s] = CutText(p[3], TextLimit);
        unit->sensorValuesA[s] = ReadReal(p[4]);
        unit->sensorValuesB[s] = ReadReal(p[5]);
        const int orientation = ReadInteger(p[6]);
        unit->sensorOrientations[s] = orientation;
        if (orientation != 0 && orientation != 90 && orientation != 180 && orientation != 270)
            message = FormatText(BadOrientation, {p[6]});
        break;
    }
    default: message = UnprocessedKeyword; break;
    }
    return message.empty();
}

ReaderResult StrivoRead::SummaryCheck(std::wstring& message)
{
    if (COUNT <= 0) {
        message = NoUnits;
        return ReaderResult::Failed;
    }
    static const wchar_t* const sideNames[4] = {L"Left", L"Left", L"Right", L"Right"};
    static const wchar_t* const positionNames[4] = {L"A", L"B", L"A", L"B"};
    const int unitCount = std::min(COUNT, static_cast<int>(MaxUnits));
    for (int u = 0; u < unitCount; ++u) {
        const StrivoUnit& unit = units[static_cast<std::size_t>(u)];
        if (unit.ampIds[0].empty())
            message += MissingLeftAmp;
        if (unit.ampIds[1].empty())
            message += MissingRightAmp;
        for (std::size_t j = 0; j < unit.sensorSlots.size(); ++j) {
            if (unit.sensorSlots[j] == -1) {
                message += FormatText(MissingSensor, {sideNames[j], positionNames[j]});
                break;
            }
        }
    }
    // Two sides per unit of the table: COUNT itself may be any stored number,
    // and twice a large one overflows.
    if (message.empty() && ENABLED)
        plateCount = 2 * unitCount;
    return message.empty() ? ReaderResult::Read : ReaderResult::Failed;
}

} // namespace ZORVA
