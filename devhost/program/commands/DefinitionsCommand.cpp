// definitions: what the plugin registers with the host.
#include "devhost/program/Commands.h"
#include "devhost/engine/PlateMatch.h"
#include "devhost/engine/PluginLog.h"
#include "devhost/program/Startup.h"
#include "devhost/engine/Text.h"

#include <cstdio>

namespace zorvahost {

namespace {

std::string SizeOf(const hostkit::Definition& definition)
{
    using MoldraDigitalDevice::IParameterValueDouble;
    const IParameterValueDouble* x = definition.Value<IParameterValueDouble>("StandardDimension_X");
    const IParameterValueDouble* y = definition.Value<IParameterValueDouble>("StandardDimension_Y");
    if (!x || !y)
        return "-";
    return Fixed(x->Value, 3) + " x " + Fixed(y->Value, 3);
}

std::string OutputsOf(const hostkit::Definition& definition)
{
    std::string text;
    for (const hostkit::DefinedOutput& output : definition.outputs)
        text += (text.empty() ? "" : ", ") + output.name;
    return text.empty() ? "-" : text;
}

/// Where a plate definition comes from, by its place in the registration
/// order: shared settings first, the standard models, the custom plates (in
/// the order the files give them; two may have one name), the generic plate
/// last.
std::string SourceOf(const hostkit::Definition& definition, std::size_t position, std::size_t count,
                     const std::vector<CustomPlateEntry>& customPlates)
{
    if (definition.deviceType != "ForcePlate")
        return "shared settings";
    if (position + 1 == count)
        return "generic (no model or size matched)";
    const std::size_t firstCustom = 1 + static_cast<std::size_t>(ZORVA::StandardPlateModelCount);
    if (position >= firstCustom && position - firstCustom < customPlates.size()) {
        const CustomPlateEntry& entry = customPlates[position - firstCustom];
        // The files read now are the ones the plugin read, unless changed since.
        if (entry.plate.Name == definition.name)
            return "custom, " + entry.file;
    }
    return "standard model";
}

void PrintFull(const hostkit::Definition& definition)
{
    std::printf("      version \"%s\", description \"%s\"\n", definition.version.c_str(),
                definition.description.c_str());
    Table table;
    table.Add({"parameter", "id", "group", "value"});
    for (const hostkit::DefinedParameter& parameter : definition.parameters)
        table.Add({parameter.name, std::to_string(parameter.id), parameter.group,
                   parameter.value ? hostkit::DescribeValue(*parameter.value) : "-"});
    std::printf("%s", table.Render("      ").c_str());
    for (const hostkit::DefinedOutput& output : definition.outputs) {
        std::string channels;
        for (const std::string& channel : output.channels)
            channels += " " + channel;
        std::printf("      output %s (quantity %d):%s\n", output.name.c_str(), static_cast<int>(output.quantity),
                    channels.c_str());
    }
    for (const std::string& port : definition.syncPorts)
        std::printf("      sync port \"%s\"\n", port.c_str());
}

} // namespace

int RunDefinitions(const Options& options)
{
    CommandSession parts;
    if (!StartSession(parts, options, nullptr))
        return ExitFailure;
    hostkit::PluginSession& session = parts.Session();
    if (options.verbose)
        session.SetLogPrinter([](const hostkit::LogLine& line) { std::printf("  [log] %s\n", LogText(line).c_str()); });
    session.Start();
    session.Poll();
    const std::vector<hostkit::Definition>& definitions = session.Definitions();
    const std::vector<CustomPlateEntry> customPlates = CustomPlates(ZORVA::ReadCustomPlateSources());

    std::printf("Plugin %s (API version %d) registers %d definitions:\n", session.PluginPath().c_str(),
                session.ApiVersion(), static_cast<int>(definitions.size()));
    Table table;
    table.Add({"#", "Manufacturer / name", "Type", "Size X x Y (m)", "Outputs", "Source"});
    for (std::size_t i = 0; i < definitions.size(); ++i) {
        const hostkit::Definition& d = definitions[i];
        table.Add({std::to_string(i + 1), d.manufacturer + " / " + d.name, d.deviceType, SizeOf(d), OutputsOf(d),
                   SourceOf(d, i, definitions.size(), customPlates)});
    }
    const std::string rendered = table.Render("  ");
    if (!options.full) {
        std::printf("%s", rendered.c_str());
    } else {
        // The table's rows, each followed by the definition's details.
        std::size_t start = 0, row = 0;
        while (start < rendered.size()) {
            const std::size_t end = rendered.find('\n', start);
            std::printf("%s\n", rendered.substr(start, end - start).c_str());
            if (row > 0)
                PrintFull(definitions[row - 1]);
            start = end + 1;
            ++row;
        }
    }
    std::size_t customCount = 0;
    for (std::size_t i = 0; i < definitions.size(); ++i)
        customCount += SourceOf(definitions[i], i, definitions.size(), customPlates).compare(0, 6, "custom") == 0;
    if (customCount == 0)
        std::printf("No custom plate: the configuration files give none (run check-config to see why).\n");
    session.Shutdown();
    return ExitSuccess;
}

} // namespace zorvahost
