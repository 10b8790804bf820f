#include "devhost/engine/PlateMatch.h"

#include "devhost/engine/Text.h"
#include "definitions/PlateMatching.h"
#include "platform/Files.h"

namespace zorvahost {

namespace {

std::string MillimetreSize(double xMetres, double yMetres)
{
    // Length (Y) first, as the units report it.
    return Short(yMetres * 1000.0, 1) + " x " + Short(xMetres * 1000.0, 1) + " mm";
}

} // namespace

const hostkit::OfferedDevice* PlateOf(const std::vector<hostkit::OfferedDevice>& plates,
                                      const hostkit::DetectedUnit& unit)
{
    const hostkit::OfferedDevice* found = nullptr;
    for (const hostkit::OfferedDevice& plate : plates) {
        if (plate.deviceName == unit.InstanceName())
            found = &plate;
    }
    return found;
}

std::vector<CustomPlateEntry> CustomPlates(const std::vector<ZORVA::CustomPlateSource>& sources)
{
    std::vector<CustomPlateEntry> plates;
    for (const ZORVA::CustomPlateSource& source : sources) {
        for (const ZORVA::CustomPlate& plate : source.Plates)
            plates.push_back(CustomPlateEntry{plate, zorvaplatform::FileName(source.Path)});
    }
    return plates;
}

std::string UnitSizeText(const hostkit::DetectedUnit& unit)
{
    const double length = ZORVA::PlatformInches(unit.length) * 25.4;
    const double width = ZORVA::PlatformInches(unit.width) * 25.4;
    return Short(length, 1) + " x " + Short(width, 1) + " mm";
}

MatchExplanation ExplainMatch(const hostkit::DetectedUnit& unit, const std::vector<CustomPlateEntry>& customPlates)
{
    std::vector<ZORVA::CustomPlate> plates;
    for (const CustomPlateEntry& entry : customPlates)
        plates.push_back(entry.plate);
    const ZORVA::PlateMatch match =
        ZORVA::MatchPlate(ZORVA::PlatformIdentity{unit.platformModel, unit.length, unit.width}, plates);
    const std::string size = UnitSizeText(unit);

    MatchExplanation result;
    result.definition = match.definition;
    const CustomPlateEntry* custom =
        match.source == ZORVA::PlateSource::CustomPlate ? &customPlates[match.customIndex] : nullptr;
    switch (match.rule) {
    case ZORVA::MatchRule::ModelName:
    case ZORVA::MatchRule::ModelOtherText:
        result.reason = "standard model: the platform model contains \"" + match.matchedText + "\"";
        return result;
    case ZORVA::MatchRule::StandardSize:
        result.reason = "standard model: no model name in \"" + unit.platformModel + "\", but its size " + size +
                        " (length x width) fits " + match.definition + " within 1 %";
        return result;
    case ZORVA::MatchRule::CustomName:
        result.reason = "custom plate from " + custom->file + ": named like the platform model";
        return result;
    case ZORVA::MatchRule::CustomSize:
        result.reason = "custom plate from " + custom->file + ": the platform's size " + size +
                        " (length x width) is within 1 % of its " +
                        MillimetreSize(custom->plate.DimensionX, custom->plate.DimensionY);
        return result;
    case ZORVA::MatchRule::NoneFits: break;
    }
    result.reason = "generic plate: the platform model \"" + unit.platformModel +
                    "\" names no standard model and no custom plate, and its size " + size +
                    " (length x width) fits neither within 1 %";
    if (customPlates.empty()) {
        result.reason += "; the configuration files give no custom plate (see check-config)";
    } else {
        result.reason += "; custom plates:";
        for (const CustomPlateEntry& entry : customPlates)
            result.reason +=
                " \"" + entry.plate.Name + "\" " + MillimetreSize(entry.plate.DimensionX, entry.plate.DimensionY) + ",";
        result.reason.pop_back();
    }
    return result;
}

} // namespace zorvahost
