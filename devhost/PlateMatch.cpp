#include "devhost/PlateMatch.h"

#include "devhost/Text.h"
#include "devices/VSharedConfigDevice.h"

#include <cmath>

namespace zorvahost {

namespace {

std::string MillimetreSize(double xMetres, double yMetres)
{
    // Length (Y) first, as the units report it.
    return Short(yMetres * 1000.0, 1) + " x " + Short(xMetres * 1000.0, 1) + " mm";
}

} // namespace

std::string FileName(const std::string& windowsPath)
{
    const std::size_t slash = windowsPath.find_last_of("\\/");
    return slash == std::string::npos ? windowsPath : windowsPath.substr(slash + 1);
}

std::vector<CustomPlateEntry> CustomPlates(const std::vector<ZORVA::CustomPlateSource>& sources)
{
    std::vector<CustomPlateEntry> plates;
    for (const ZORVA::CustomPlateSource& source : sources) {
        for (const ZORVA::CustomPlate& plate : source.Plates)
            plates.push_back(CustomPlateEntry{plate, FileName(source.Path)});
    }
    return plates;
}

std::string UnitSizeText(const DetectedUnit& unit)
{
    const double length = ZORVA::PlatformInches(unit.length) * 25.4;
    const double width = ZORVA::PlatformInches(unit.width) * 25.4;
    return Short(length, 1) + " x " + Short(width, 1) + " mm";
}

MatchExplanation ExplainMatch(const DetectedUnit& unit, const std::vector<CustomPlateEntry>& customPlates)
{
    ZORVA::VZORVADriverService::VDeviceInfo info;
    info.productType = unit.productType;
    info.platformModel = unit.platformModel;
    info.platformLength = unit.length;
    info.platformWidth = unit.width;
    info.originOffsets.assign(3, 0.0f);
    const std::string size = UnitSizeText(unit);

    MatchExplanation result;
    const int model = ZORVA::MatchPlateModel(info);
    if (model > 0) {
        const std::string name = ZORVA::CreateStandardPlateDefinition(model)->Name;
        result.definition = name;
        const bool byText = unit.platformModel.find(name) != std::string::npos ||
                            (name == "TreadMill" && unit.platformModel.find("TREADMILL") != std::string::npos);
        result.reason = byText ? "standard model: the platform model contains \"" +
                                     (unit.platformModel.find(name) != std::string::npos ? name : "TREADMILL") + "\""
                               : "standard model: no model name in \"" + unit.platformModel + "\", but its size " +
                                     size + " (length x width) fits " + name + " within 1 %";
        return result;
    }

    // The custom plates: the last one named like the platform model, else the
    // last whose size is within 1 % (length against Y, width against X).
    const CustomPlateEntry* byName = nullptr;
    for (const CustomPlateEntry& entry : customPlates) {
        if (entry.plate.Name == unit.platformModel)
            byName = &entry;
    }
    if (byName) {
        result.definition = byName->plate.Name;
        result.reason = "custom plate from " + byName->file + ": named like the platform model";
        return result;
    }
    const double length = ZORVA::PlatformInches(unit.length) * 0.0254;
    const double width = ZORVA::PlatformInches(unit.width) * 0.0254;
    const CustomPlateEntry* bySize = nullptr;
    for (const CustomPlateEntry& entry : customPlates) {
        const double x = entry.plate.DimensionX, y = entry.plate.DimensionY;
        if (std::fabs(y - length) < std::fabs(y * 0.01) && std::fabs(x - width) < std::fabs(x * 0.01))
            bySize = &entry;
    }
    if (bySize) {
        result.definition = bySize->plate.Name;
        result.reason = "custom plate from " + bySize->file + ": the platform's size " + size +
                        " (length x width) is within 1 % of its " +
                        MillimetreSize(bySize->plate.DimensionX, bySize->plate.DimensionY);
        return result;
    }

    result.definition = "Force plate";
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
