#include "devhost/program/DetectionOutput.h"

#include "devhost/engine/Text.h"
#include "platform/Files.h"

#include <cstdio>

namespace zorvahost {

void PrintConfigurationBrief(const std::vector<ZORVA::CustomPlateSource>& sources)
{
    std::string folder = "C:\\ZORVA\\CFG";
    const std::string local = zorvaplatform::LocalPath(folder + "\\");
    std::printf("Configuration files (%s%s):\n", folder.c_str(),
                local == folder + "\\" ? "" : (", here " + local).c_str());
    Table table;
    for (const ZORVA::CustomPlateSource& source : sources) {
        std::string what;
        if (source.Result == ZORVA::ReaderResult::Read) {
            if (source.Plates.empty()) {
                what = "read, no custom plate" + (source.Note.empty() ? std::string() : " (" + source.Note + ")");
            } else {
                what = "read, custom plate" + std::string(source.Plates.size() > 1 ? "s" : "") + ":";
                for (const ZORVA::CustomPlate& plate : source.Plates)
                    what += " \"" + plate.Name + "\",";
                what.pop_back();
            }
            if (!source.Warnings.empty())
                what += "; " + std::to_string(source.Warnings.size()) + " warning" +
                        (source.Warnings.size() > 1 ? "s" : "") + " (run check-config)";
        } else if (!zorvaplatform::FileExists(source.Path)) {
            what = "not present";
        } else {
            what = "has errors: ignored by the plugin (run check-config)";
        }
        table.Add({zorvaplatform::FileName(source.Path), what});
    }
    std::printf("%s", table.Render("  ").c_str());
}

void PrintUnits(const hostkit::PluginSession& session, const hostkit::DetectionReport& report,
                const std::vector<CustomPlateEntry>& customPlates, const BenchControl& bench, bool brief)
{
    const std::vector<hostkit::OfferedDevice> plates = session.Plates();
    std::printf("Units found: %d\n", static_cast<int>(report.units.size()));
    for (const hostkit::DetectedUnit& unit : report.units) {
        const bool supported = unit.productType == 100 || unit.productType == 300 || unit.productType == 400;
        const hostkit::OfferedDevice* plate = supported ? PlateOf(plates, unit) : nullptr;
        const MatchExplanation match = ExplainMatch(unit, customPlates);
        std::string outcome;
        if (plate) {
            outcome = "plate \"" + plate->deviceName + "\": " + plate->definitionName +
                      (hostkit::PluginSession::Connected(*plate) ? "" : " (Connected false)");
        } else if (!supported) {
            outcome = "no plate: product type " + std::to_string(unit.productType) +
                      " is not supported (the plugin drives 100, 300 and 400)";
        } else if (!report.refusals.empty()) {
            outcome = "no plate: the host refused it (" + report.refusals.front() + ")";
        } else {
            outcome = "no plate device (see the log)";
        }
        if (brief) {
            std::printf("  unit %d  %s\n", unit.index, outcome.c_str());
            if (plate)
                std::printf("          why: %s\n", match.reason.c_str());
            continue;
        }
        std::printf("  unit %d: product type %d, amplifier %s %s (firmware %s), platform %s %s\n", unit.index,
                    unit.productType, unit.amplifierModel.c_str(), unit.amplifierSerial.c_str(),
                    unit.firmwareVersion.c_str(), unit.platformModel.c_str(), unit.platformSerial.c_str());
        std::printf("          origin (%s, %s, %s) in; length x width \"%s\" x \"%s\" in, read as %s\n",
                    Short(unit.origin[0], 4).c_str(), Short(unit.origin[1], 4).c_str(),
                    Short(unit.origin[2], 4).c_str(), unit.length.c_str(), unit.width.c_str(),
                    UnitSizeText(unit).c_str());
        std::printf("          %s\n", outcome.c_str());
        if (plate) {
            std::printf("          why: %s\n", match.reason.c_str());
            if (match.definition != plate->definitionName)
                std::printf("          (the matching rules replayed here give \"%s\": this plugin file matches "
                            "differently)\n",
                            match.definition.c_str());
        }
    }
    if (report.units.empty())
        std::printf("  none: check that the signal conditioners are powered and their USB cables plugged in\n");
    if (bench.Available()) {
        for (int unit = 0; unit < bench.UnitCount(); ++unit) {
            if (!bench.Plugged(unit))
                std::printf("  simulated bench: unit %d \"%s\" (%s) is not plugged in\n", unit,
                            bench.UnitName(unit).c_str(), bench.UnitIdentity(unit).c_str());
        }
    }
}

} // namespace zorvahost
