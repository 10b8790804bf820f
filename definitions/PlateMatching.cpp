#include "PlateMatching.h"

#include <cmath>

namespace ZORVA {

namespace {

bool MatchStandardModel(const PlatformIdentity& platform, PlateMatch& match)
{
    for (int row = 0; row < StandardPlateModelCount; ++row) {
        const StandardPlateModel& model = StandardPlateModels[row];
        const bool byName = platform.model.find(model.name) != std::string::npos;
        if (byName || (model.otherText && platform.model.find(model.otherText) != std::string::npos)) {
            match.rule = byName ? MatchRule::ModelName : MatchRule::ModelOtherText;
            match.matchedText = byName ? model.name : model.otherText;
            match.standardModel = row + 1;
            return true;
        }
    }
    // Millimetres.
    const double l = PlatformInches(platform.length) * 25.4;
    const double w = PlatformInches(platform.width) * 25.4;
    for (int row = 0; row < StandardPlateModelCount; ++row) {
        const StandardPlateModel& model = StandardPlateModels[row];
        if (model.matchY == 0.0)
            continue;
        // 1 % of the measured size, not of the table's; NaN matches nothing.
        if (std::fabs(l - model.matchY) < std::fabs(0.01 * l) && std::fabs(w - model.matchX) < std::fabs(0.01 * w)) {
            match.rule = MatchRule::StandardSize;
            match.standardModel = row + 1;
            return true;
        }
    }
    return false;
}

bool MatchCustomPlate(const PlatformIdentity& platform, const std::vector<CustomPlate>& customPlates, PlateMatch& match)
{
    bool found = false;
    for (std::size_t i = 0; i < customPlates.size(); ++i) {
        if (customPlates[i].Name == platform.model) {
            match.customIndex = i;
            found = true;
        }
    }
    if (found) {
        match.rule = MatchRule::CustomName;
        return true;
    }
    // Metres; 1 % of the plate's size.
    const double l = PlatformInches(platform.length) * 0.0254;
    const double w = PlatformInches(platform.width) * 0.0254;
    for (std::size_t i = 0; i < customPlates.size(); ++i) {
        const CustomPlate& plate = customPlates[i];
        if (std::fabs(plate.DimensionY - l) < std::fabs(plate.DimensionY * 0.01) &&
            std::fabs(plate.DimensionX - w) < std::fabs(plate.DimensionX * 0.01)) {
            match.customIndex = i;
            found = true;
        }
    }
    if (found)
        match.rule = MatchRule::CustomSize;
    return found;
}

} // namespace

PlateMatch MatchCustomPlates(const PlatformIdentity& platform, const std::vector<CustomPlate>& customPlates)
{
    PlateMatch match;
    if (MatchCustomPlate(platform, customPlates, match)) {
        match.source = PlateSource::CustomPlate;
        match.definition = customPlates[match.customIndex].Name;
    } else {
        match.definition = VZORVAGenericPlateDefinition().Name;
    }
    return match;
}

PlateMatch MatchPlate(const PlatformIdentity& platform, const std::vector<CustomPlate>& customPlates)
{
    PlateMatch match;
    if (!MatchStandardModel(platform, match))
        return MatchCustomPlates(platform, customPlates);
    match.source = PlateSource::StandardModel;
    match.definition = StandardPlateModels[match.standardModel - 1].name;
    return match;
}

std::unique_ptr<VZORVAGenericPlateDefinition> CreateMatchedDefinition(const PlateMatch& match,
                                                                      const std::vector<CustomPlate>& customPlates)
{
    if (match.source == PlateSource::StandardModel)
        return CreateStandardPlateDefinition(match.standardModel);
    std::unique_ptr<VZORVAGenericPlateDefinition> definition(new VZORVAGenericPlateDefinition());
    if (match.source == PlateSource::CustomPlate && match.customIndex < customPlates.size()) {
        const CustomPlate& plate = customPlates[match.customIndex];
        definition->Name = plate.Name;
        definition->DimensionX = plate.DimensionX;
        definition->DimensionY = plate.DimensionY;
    }
    return definition;
}

std::unique_ptr<VZORVAGenericPlateDefinition> FindCustomDefinition(const std::string& platformModel,
                                                                   const std::string& platformLength,
                                                                   const std::string& platformWidth)
{
    const std::vector<CustomPlate> plates = CustomPlatesInUse();
    const PlateMatch match = MatchCustomPlates(PlatformIdentity{platformModel, platformLength, platformWidth}, plates);
    if (match.source != PlateSource::CustomPlate)
        return nullptr;
    return CreateMatchedDefinition(match, plates);
}

std::vector<CustomPlate> CustomPlatesInUse()
{
    std::vector<CustomPlate> plates;
    if (customDefinitionCount <= 0 || !customDefinitions)
        return plates;
    plates.reserve(static_cast<std::size_t>(customDefinitionCount));
    for (int i = 0; i < customDefinitionCount; ++i) {
        CustomPlate plate;
        plate.Name = customDefinitions[i].Name;
        plate.DimensionX = customDefinitions[i].DimensionX;
        plate.DimensionY = customDefinitions[i].DimensionY;
        plates.push_back(plate);
    }
    return plates;
}

} // namespace ZORVA
