/// Reader of the combination-platform file: combined platforms (CP_INFO),
/// which member platforms belong to each (PP_INFO) and the member platforms
/// themselves (PP_MEMBER), laid out into each combined platform's box.
///
/// Limits, all closed without a buffer overrun:
/// - Texts (names and second texts) keep their first 28 characters, no error.
/// - At most 25 CP_INFO, 100 PP_INFO and 30 PP_MEMBER lines are kept; further
///   lines are dropped without a message (the count and member checks then
///   report when a count says more).
/// - A CP_INFO or PP_INFO line whose combined platform number is outside 1 to
///   25 is rejected with the semantic message "Bad combo platform number %d".
/// - A combined platform that no CP_INFO line numbers (possible when the
///   numbers are not 1 to CP_COUNT) keeps its cleared record: an empty name
///   and sizes of 0, with line 0.
#pragma once

#include "ConfigRead.h"

#include <array>
#include <string>

namespace ZORVA {

/// One combined platform, from a CP_INFO line. Sizes in file units.
struct ComboPlatform
{
    int number = 0;
    int memberCount = 0;
    float ySize = 0.0f;
    float xSize = 0.0f;
    float thirdSize = 0.0f;
    std::wstring text2;
    std::wstring name;
    /// The CP_INFO line that gave the record; 0 when none did.
    int line = 0;
};

/// One membership, from a PP_INFO line; offsets are filled by the summary.
struct ComboMember
{
    int placed = 0;
    /// The combined platform's number minus 1 (0 to 24).
    int comboIndex = 0;
    /// Combined platform's centre minus the member's centre, file units.
    float offsetX = 0.0f;
    float offsetY = 0.0f;
    std::wstring name;
    int orientation = 0;
};

/// One member platform, from a PP_MEMBER line. Sizes and centre in file units.
struct MemberPlatform
{
    std::wstring name;
    std::wstring text2;
    float xSize = 0.0f;
    float ySize = 0.0f;
    float xCentre = 0.0f;
    float yCentre = 0.0f;
    /// Quarter turns 0 to 3; 1 and 3 swap the X and Y sizes.
    int orientation = 0;
};

class CComboRead : public ConfigRead
{
public:
    static constexpr int MaxCombos = 25;
    static constexpr int MaxMembers = 100;
    static constexpr int MaxMemberPlatforms = 30;
    /// Characters kept of every text.
    static constexpr std::size_t TextLimit = 28;

    int VERSION = 0;
    /// 0: disabled; decides only whether plateCount is reported.
    int ENABLED = 0;
    /// 0: inches; any other value: millimetres.
    int UNITS = 0;
    int CP_COUNT = 0;
    /// The CP_COUNT line in force; 0 when there is none.
    int countLine = 0;
    /// One per accepted PP_INFO line, in line order.
    std::array<ComboMember, MaxMembers> members;
    /// Indexed by the combined platform's number minus 1.
    std::array<ComboPlatform, MaxCombos> combos;
    /// One per accepted PP_MEMBER line, in line order.
    std::array<MemberPlatform, MaxMemberPlatforms> memberPlatforms;
    int comboLines = 0;
    int memberLines = 0;
    int memberPlatformLines = 0;
    /// PP_INFO lines naming each combined platform (index = number minus 1).
    std::array<int, MaxCombos> membersPerCombo{};

protected:
    void InitData() override;
    bool ProcessKeyword(int id, const std::vector<std::wstring>& parameters, std::wstring& message) override;
    ReaderResult SummaryCheck(std::wstring& message) override;
};

} // namespace ZORVA
