/// Which plate definition a detected platform gets, and by which rule: the
/// one set of rules that detection applies and that a development host
/// explains to its user.
///
/// The rules, in order: a standard model whose name (case counts) or other
/// spelling the platform model contains, the first row that does; else a
/// standard model whose match size is within 1 % of the platform's (the
/// platform's 1 %, length against Y and width against X), the first row;
/// else the last custom plate named exactly like the platform model; else the
/// last custom plate whose size is within 1 % of the platform's (the plate's
/// 1 %); else the generic plate. A length or width text that reads as no
/// number or 0 counts as 19.7 in (PlatformInches).
#pragma once

#include "CustomDefinitions.h"
#include "VZORVAGenericPlateDefinition.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace ZORVA {

/// What detection reads of a unit's platform.
struct PlatformIdentity
{
    std::string model;
    /// Texts as the library gives them, inches.
    std::string length;
    std::string width;
};

enum class PlateSource
{
    StandardModel,
    CustomPlate,
    GenericPlate
};

enum class MatchRule
{
    ModelName,      ///< the platform model contains the standard model's name
    ModelOtherText, ///< the platform model contains the standard model's other spelling
    StandardSize,   ///< the platform's size is within 1 % of the standard model's
    CustomName,     ///< a custom plate is named exactly like the platform model
    CustomSize,     ///< the platform's size is within 1 % of a custom plate's
    NoneFits        ///< the generic plate
};

struct PlateMatch
{
    PlateSource source = PlateSource::GenericPlate;
    MatchRule rule = MatchRule::NoneFits;
    /// The definition's name: a standard model's, a custom plate's or the generic plate's.
    std::string definition;
    /// StandardModel: the model index (StandardPlateModels row + 1); else 0.
    int standardModel = 0;
    /// CustomPlate: the plate's position in the list matched against.
    std::size_t customIndex = 0;
    /// ModelName, ModelOtherText: the text found in the platform model.
    std::string matchedText;
};

/// The rules above for one platform against `customPlates` (in the plugin's
/// order: treadmill support, combination platforms, treadmill units).
/// Threads: any; reads only its arguments and the standard models' table.
PlateMatch MatchPlate(const PlatformIdentity& platform, const std::vector<CustomPlate>& customPlates);

/// The custom plates' rules alone (a standard model is not considered):
/// source CustomPlate, or GenericPlate when none fits.
PlateMatch MatchCustomPlates(const PlatformIdentity& platform, const std::vector<CustomPlate>& customPlates);

/// A new definition for a match made against `customPlates`: the standard
/// model's, a copy of the custom plate's name and size, or the generic plate.
std::unique_ptr<VZORVAGenericPlateDefinition> CreateMatchedDefinition(const PlateMatch& match,
                                                                      const std::vector<CustomPlate>& customPlates);

/// The custom plates the plugin registered (customDefinitions), in order.
/// Threads: as FindCustomDefinition.
std::vector<CustomPlate> CustomPlatesInUse();

} // namespace ZORVA
