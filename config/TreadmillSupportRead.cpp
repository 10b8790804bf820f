#include "TreadmillSupportRead.h"

#include "ConfigFile.h"
#include "ConfigText.h"

#include <vector>

namespace ZORVA {

namespace {

using Record = TreadmillSupportRecord;

/// Characters of a line that are kept (the working buffer holds 250 with its end).
const std::size_t LineLimit = 249;

// The reader's messages.
const wchar_t* const CorruptedDataFile = L"Corrupted data file";

struct TreadmillKeyword
{
    const wchar_t* keyword;
    int Record::*integerField;
    float Record::*realField;
};

/// In the order in which each line is tested.
const TreadmillKeyword treadmillKeywords[] = {
    {L"ENABLED", &Record::ENABLED, nullptr},
    {L"TREADMILL_TYPE", &Record::TREADMILL_TYPE, nullptr},
    {L"VERSION", &Record::VERSION, nullptr},
    {L"SETUP_TYPE", &Record::SETUP_TYPE, nullptr},
    {L"OUTPUT_FORMAT", &Record::OUTPUT_FORMAT, nullptr},
    {L"SINGLE_PLATE", &Record::SINGLE_PLATE, nullptr},
    {L"USE_MANUAL_OFFSETS", &Record::USE_MANUAL_OFFSETS, nullptr},
    {L"CORRECT_FOOT_ORDER", &Record::CORRECT_FOOT_ORDER, nullptr},
    {L"STRIKE_LOAD", nullptr, &Record::STRIKE_LOAD},
    {L"UN_LOAD_N", nullptr, &Record::UN_LOAD_N},
    {L"COP_SUPPRESS_N", nullptr, &Record::COP_SUPPRESS_N},
    {L"POST_UNLOAD_MS", nullptr, &Record::POST_UNLOAD_MS},
    {L"PLATFORM_GAP_MM", nullptr, &Record::PLATFORM_GAP_MM},
    {L"DIST_ORIG_TO_ORIG_MM", nullptr, &Record::DIST_ORIG_TO_ORIG_MM},
    {L"DIST_L_F_TO_ORIG_MM", nullptr, &Record::DIST_L_F_TO_ORIG_MM},
    {L"X_DIMENSION", nullptr, &Record::X_DIMENSION},
    {L"Y_DIMENSION", nullptr, &Record::Y_DIMENSION},
    {L"DATA_TO_AVG_MS", nullptr, &Record::DATA_TO_AVG_MS},
    {L"NUM_CP", &Record::NUM_CP, nullptr},
    {L"FOOT_LENGTH", nullptr, &Record::FOOT_LENGTH},
    {L"FOOT_WIDTH", nullptr, &Record::FOOT_WIDTH},
    {L"FOOT_RADIUS", nullptr, &Record::FOOT_RADIUS},
    {L"RELIABLE_LOAD", nullptr, &Record::RELIABLE_LOAD},
    {L"COP_TRAVEL", nullptr, &Record::COP_TRAVEL},
    {L"COP_MINIMUM", nullptr, &Record::COP_MINIMUM},
    {L"DELAY_REPETITIONS", &Record::DELAY_REPETITIONS, nullptr},
    {L"STRIKE_DELAY_REP", &Record::STRIKE_DELAY_REP, nullptr},
    {L"SPIKE_ERROR_REP", &Record::SPIKE_ERROR_REP, nullptr},
    {L"DELAY_PACKETS", &Record::DELAY_PACKETS, nullptr},
};

const std::size_t KeywordLineLimits[2] = {31, 24};
const std::size_t PlateLineLimits[7] = {31, 19, 7, 7, 15, 15, 15};

/// The first `count` blank-separated words of the line, each cut to its
/// limit (the rest of an over-long word is dropped). Fewer when the line has fewer.
std::vector<std::wstring> Words(const std::wstring& line, const std::size_t* limits, std::size_t count)
{
    std::vector<std::wstring> words;
    std::size_t position = 0;
    while (words.size() < count) {
        while (position < line.size() && IsConfigSpace(line[position]))
            ++position;
        if (position >= line.size())
            break;
        std::size_t end = position;
        while (end < line.size() && !IsConfigSpace(line[end]))
            ++end;
        const std::size_t limit = limits[words.size()];
        words.push_back(line.substr(position, end - position < limit ? end - position : limit));
        position = end;
    }
    return words;
}

void Normalise(Record& record)
{
    if (record.SETUP_TYPE != -1) {
        record.ENABLED = 0;
        record.TREADMILL_TYPE = 0;
        if (record.SETUP_TYPE == 4 || record.SETUP_TYPE == 5) {
            record.ENABLED = 1;
            record.TREADMILL_TYPE = record.SETUP_TYPE;
        } else {
            record.SETUP_TYPE = 0;
        }
    } else if (record.ENABLED != 0 && (record.TREADMILL_TYPE == 4 || record.TREADMILL_TYPE == 5)) {
        record.SETUP_TYPE = record.TREADMILL_TYPE;
    } else {
        record.SETUP_TYPE = 0;
    }
}

} // namespace

ReaderResult ReadTreadmillSupport(int& physicalPlateCount, const std::wstring& path, TreadmillSupportRecord& record,
                                  std::wstring& errorText)
{
    errorText.clear();
    ConfigFile file;
    const ReaderResult opened = OpenConfigFile(file, path, errorText);
    if (opened != ReaderResult::Read)
        return opened;

    record = TreadmillSupportRecord();
    record.SETUP_TYPE = -1;
    int plates = 0;
    physicalPlateCount = 0;

    int lineNumber = 0;
    int setupTypeLine = 0;
    int treadmillTypeLine = 0;
    std::wstring line;
    while (file.NextLine(line, LineLimit)) {
        ++lineNumber; // a file of at most 1 MiB has fewer lines than an int holds
        for (wchar_t& c : line) {
            if (c == L'\t' || c == L',' || c == L':')
                c = L' ';
        }
        UpperCaseText(line);
        if (line.find(L"TEXT_NOTE") != std::wstring::npos)
            continue;

        for (const TreadmillKeyword& keyword : treadmillKeywords) {
            if (line.find(keyword.keyword) == std::wstring::npos)
                continue;
            const std::vector<std::wstring> words = Words(line, KeywordLineLimits, 2);
            const std::wstring value = words.size() > 1 ? words[1] : std::wstring();
            if (keyword.integerField)
                record.*keyword.integerField = ReadInteger(value);
            else
                record.*keyword.realField = ReadReal(value);
            // What the treadmill plate is made of: where each came from.
            if (keyword.integerField == &Record::SETUP_TYPE)
                setupTypeLine = lineNumber;
            else if (keyword.integerField == &Record::TREADMILL_TYPE)
                treadmillTypeLine = lineNumber;
            else if (keyword.realField == &Record::X_DIMENSION)
                record.xDimensionLine = lineNumber;
            else if (keyword.realField == &Record::Y_DIMENSION)
                record.yDimensionLine = lineNumber;
        }

        if (line.find(L"PHY_P") != std::wstring::npos) {
            const std::vector<std::wstring> words = Words(line, PlateLineLimits, 7);
            if (words.size() < 7) {
                errorText = CorruptedDataFile;
                break;
            }
            if (plates < TreadmillSupportRecord::MaxPlates) {
                PhysicalPlate& plate = record.plates[static_cast<std::size_t>(plates)];
                plate.name = words[1];
                plate.word3 = ReadInteger(words[2]);
                plate.word4 = ReadInteger(words[3]);
                plate.word5 = ReadReal(words[4]);
                plate.word6 = ReadReal(words[5]);
                plate.word7 = ReadInteger(words[6]);
                ++plates;
                physicalPlateCount = plates;
            }
        }
    }
    if (file.ReadFailed())
        errorText = CannotOpenText(file.ReadFailure());
    file.Close();

    record.platformCount = record.USE_MANUAL_OFFSETS == 1 ? plates : 2;
    record.typeLine = record.SETUP_TYPE != -1 ? setupTypeLine : treadmillTypeLine;
    Normalise(record);
    return errorText.empty() ? ReaderResult::Read : ReaderResult::Failed;
}

} // namespace ZORVA
