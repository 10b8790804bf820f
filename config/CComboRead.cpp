#include "CComboRead.h"

#include "ConfigText.h"

#include <algorithm>

namespace ZORVA {

namespace {

enum ComboKeywordId
{
    CpCount = ConfigRead::FirstOwnKeyword,
    CpInfo,
    PpInfo,
    PpMember
};

const ConfigKeyword comboKeywords[] = {
    {L"TEXT_NOTE", ConfigRead::TextNote, 0},
    {L"VERSION", ConfigRead::Version, 1},
    {L"ENABLED", ConfigRead::Enabled, 1},
    {L"UNITS", ConfigRead::Units, 1},
    {L"CP_COUNT", CpCount, 1},
    {L"CP_INFO", CpInfo, 8},
    {L"PP_INFO", PpInfo, 2},
    {L"PP_MEMBER", PpMember, 7},
};

// The reader's own messages: semantic ones go into the semantic-error line,
// summary ones into the summary text.
const wchar_t* const BadComboNumber = L"Bad combo platform number %d";
const wchar_t* const ComboCountIncorrect = L"Combined platform count incorrect\r\n";
const wchar_t* const MemberCountIncorrect = L"Member platform count incorrect for combo platform %d\r\n";
const wchar_t* const MemberUnknown = L"Member platform '%s' unknown for combo platform %d\r\n";

/// Reads a combined platform number; false (with the message) outside the table.
bool ReadComboNumber(const std::wstring& text, int& number, std::wstring& message)
{
    number = ReadInteger(text);
    if (number >= 1 && number <= CComboRead::MaxCombos)
        return true;
    message = FormatText(BadComboNumber, {std::to_wstring(number)});
    return false;
}

} // namespace

void CComboRead::InitData()
{
    keywordTable = comboKeywords;
    keywordCount = static_cast<int>(sizeof(comboKeywords) / sizeof(comboKeywords[0]));
    VERSION = 0;
    ENABLED = 0;
    UNITS = 0;
    CP_COUNT = 0;
    countLine = 0;
    members.fill(ComboMember());
    combos.fill(ComboPlatform());
    memberPlatforms.fill(MemberPlatform());
    comboLines = 0;
    memberLines = 0;
    memberPlatformLines = 0;
    membersPerCombo.fill(0);
}

bool CComboRead::ProcessKeyword(int id, const std::vector<std::wstring>& p, std::wstring& message)
{
    switch (id) {
    case TextNote: break;
    case Version: VERSION = ReadInteger(p[0]); break;
    case Enabled: ENABLED = ReadInteger(p[0]); break;
    case Units: UNITS = ReadInteger(p[0]); break;
    case CpCount:
        CP_COUNT = ReadInteger(p[0]);
        countLine = lineNumber;
        break;
    case CpInfo: {
        if (comboLines >= MaxCombos)
            break;
        int number = 0;
        if (!ReadComboNumber(p[0], number, message))
            break;
        ComboPlatform& combo = combos[static_cast<std::size_t>(number - 1)];
        combo.number = ReadInteger(p[1]);
        combo.name = CutText(p[2], TextLimit);
        combo.text2 = CutText(p[3], TextLimit);
        combo.memberCount = ReadInteger(p[4]);
        combo.xSize = ReadReal(p[5]);
        combo.ySize = ReadReal(p[6]);
        combo.thirdSize = ReadReal(p[7]);
        combo.line = lineNumber;
        ++comboLines;
        break;
    }
    case PpInfo: {
        if (memberLines >= MaxMembers)
            break;
        int number = 0;
        if (!ReadComboNumber(p[0], number, message))
            break;
        ComboMember& member = members[static_cast<std::size_t>(memberLines)];
        member = ComboMember();
        member.placed = 1;
        member.comboIndex = number - 1;
        member.name = CutText(p[1], TextLimit);
        ++membersPerCombo[static_cast<std::size_t>(number - 1)];
        ++memberLines;
        break;
    }
    case PpMember: {
        if (memberPlatformLines >= MaxMemberPlatforms)
            break;
        MemberPlatform& platform = memberPlatforms[static_cast<std::size_t>(memberPlatformLines)];
        platform.name = CutText(p[0], TextLimit);
        platform.text2 = CutText(p[1], TextLimit);
        platform.xSize = ReadReal(p[2]);
        platform.ySize = ReadReal(p[3]);
        platform.xCentre = ReadReal(p[4]);
        platform.yCentre = ReadReal(p[5]);
        platform.orientation = ReadInteger(p[6]);
        if (platform.orientation < 0 || platform.orientation > 3)
            platform.orientation = 0;
        ++memberPlatformLines;
        break;
    }
    default: message = UnprocessedKeyword; break;
    }
    return message.empty();
}

ReaderResult CComboRead::SummaryCheck(std::wstring& message)
{
    if (CP_COUNT != comboLines)
        message += ComboCountIncorrect;
    for (int k = 0; k < comboLines; ++k) {
        if (membersPerCombo[static_cast<std::size_t>(k)] != combos[static_cast<std::size_t>(k)].memberCount)
            message += FormatText(MemberCountIncorrect, {std::to_wstring(k + 1)});
    }

    // Bounding box of every combined platform, in file units.
    std::array<float, MaxCombos> xMin, yMin, xMax, yMax;
    xMin.fill(10000.0f);
    yMin.fill(10000.0f);
    xMax.fill(-10000.0f);
    yMax.fill(-10000.0f);
    std::array<int, MaxMembers> platformOf;
    platformOf.fill(-1);
    for (int i = 0; i < memberLines; ++i) {
        ComboMember& member = members[static_cast<std::size_t>(i)];
        int found = -1;
        for (int j = 0; j < memberPlatformLines && found < 0; ++j) {
            if (memberPlatforms[static_cast<std::size_t>(j)].name == member.name)
                found = j;
        }
        if (found < 0) {
            message += FormatText(MemberUnknown, {member.name, std::to_wstring(member.comboIndex + 1)});
            continue;
        }
        platformOf[static_cast<std::size_t>(i)] = found;
        member.placed = 1;
        const MemberPlatform& m = memberPlatforms[static_cast<std::size_t>(found)];
        const bool turned = m.orientation == 1 || m.orientation == 3;
        const float xExtent = turned ? m.ySize : m.xSize;
        const float yExtent = turned ? m.xSize : m.ySize;
        const std::size_t c = static_cast<std::size_t>(member.comboIndex);
        xMin[c] = std::min(xMin[c], m.xCentre - xExtent / 2.0f);
        xMax[c] = std::max(xMax[c], m.xCentre + xExtent / 2.0f);
        yMin[c] = std::min(yMin[c], m.yCentre - yExtent / 2.0f);
        yMax[c] = std::max(yMax[c], m.yCentre + yExtent / 2.0f);
    }

    // An empty box gives the centre (0, 0).
    std::array<float, MaxCombos> centreX, centreY;
    for (std::size_t k = 0; k < centreX.size(); ++k) {
        centreX[k] = (xMax[k] + xMin[k]) / 2.0f;
        centreY[k] = (yMax[k] + yMin[k]) / 2.0f;
    }
    for (int i = 0; i < memberLines; ++i) {
        const int found = platformOf[static_cast<std::size_t>(i)];
        if (found < 0)
            continue;
        ComboMember& member = members[static_cast<std::size_t>(i)];
        const MemberPlatform& m = memberPlatforms[static_cast<std::size_t>(found)];
        const std::size_t c = static_cast<std::size_t>(member.comboIndex);
        member.offsetX = centreX[c] - m.xCentre;
        member.offsetY = centreY[c] - m.yCentre;
        member.orientation = m.orientation;
    }

    if (message.empty() && ENABLED != 0)
        plateCount = memberLines;
    return message.empty() ? ReaderResult::Read : ReaderResult::Failed;
}

} // namespace ZORVA
