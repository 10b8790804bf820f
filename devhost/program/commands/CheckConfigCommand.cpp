// check-config: the configuration files as the plugin reads them, with the
// error lines the plugin drops and the warnings it logs.
#include "devhost/program/Commands.h"
#include "platform/Files.h"
#include "devhost/engine/PlateMatch.h"
#include "devhost/engine/Text.h"

#include <cstdio>

namespace zorvahost {

namespace {

/// Where in its file a custom plate comes from.
std::string OriginOf(const std::string& file, const ZORVA::CustomPlate& plate)
{
    const std::string line = "line " + std::to_string(plate.Line) + ": ";
    if (file == "TreadmillSupport.cfg")
        return line + "the treadmill set-up";
    if (file == "CombinationPlatform.cfg")
        return line + "a combined platform";
    return line + "a treadmill unit";
}

/// What check-config counts over the files.
struct FileCounts
{
    int faulty = 0, present = 0, plates = 0, warnings = 0;
};

/// One file as the plugin reads it: its result, errors, note, warnings and
/// custom plates.
void PrintSource(const ZORVA::CustomPlateSource& source, FileCounts& counts)
{
    const bool exists = zorvaplatform::FileExists(source.Path);
    const std::string file = zorvaplatform::FileName(source.Path);
    counts.present += exists;
    std::printf("\n%s\n", source.Path.c_str());
    if (zorvaplatform::LocalPath(source.Path) != source.Path)
        std::printf("  file:   %s\n", zorvaplatform::LocalPath(source.Path).c_str());
    if (source.Result == ZORVA::ReaderResult::Read) {
        std::printf("  result: 1, read without error\n");
    } else if (source.Result == ZORVA::ReaderResult::NotFound) {
        std::printf("  result: 0, not present (optional: it gives no custom plate)\n");
    } else if (!exists) {
        // The plugin reads a missing folder as a file it cannot open (-1);
        // for the user it is the same as a missing file.
        std::printf("  result: -1, not present: its folder does not exist (optional: it gives no custom "
                    "plate)\n");
    } else {
        ++counts.faulty;
        std::printf("  result: -1, the plugin ignores this whole file:\n");
    }
    if (source.Result != ZORVA::ReaderResult::Read && exists) {
        for (const std::string& line : ErrorLines(source.ErrorText))
            std::printf("  error:  %s\n", line.c_str());
    }
    if (!source.Note.empty() && source.Result == ZORVA::ReaderResult::Read)
        std::printf("  note:   %s\n", source.Note.c_str());
    for (const ZORVA::CustomPlateWarning& warning : source.Warnings) {
        ++counts.warnings;
        std::printf("  warning: line %d: %s\n", warning.Line, warning.Text.c_str());
    }
    if (source.Plates.empty()) {
        if (source.Result == ZORVA::ReaderResult::Read)
            std::printf("  custom plates: none\n");
        return;
    }
    std::printf("  custom plates:\n");
    Table table;
    for (const ZORVA::CustomPlate& plate : source.Plates) {
        table.Add({"\"" + plate.Name + "\"",
                   "X " + Fixed(plate.DimensionX, 4) + " m x Y " + Fixed(plate.DimensionY, 4) + " m",
                   "from " + OriginOf(file, plate)});
        ++counts.plates;
    }
    std::printf("%s", table.Render("    ").c_str());
}

} // namespace

int RunCheckConfig(const Options&)
{
    const std::vector<ZORVA::CustomPlateSource> sources = ZORVA::ReadCustomPlateSources();
    const std::string folder = "C:\\ZORVA\\CFG\\";
    const std::string localFolder = zorvaplatform::LocalPath(folder);
    std::printf("Configuration files in %s", folder.c_str());
    if (localFolder != folder)
        std::printf(" (here %s: drive C: is $ZORVA_DRIVE_C, default ~/.zorva/drive_c)", localFolder.c_str());
    std::printf(", read as the plugin reads them:\n");

    FileCounts counts;
    for (const ZORVA::CustomPlateSource& source : sources)
        PrintSource(source, counts);
    std::printf("\n%d custom plate%s", counts.plates, counts.plates == 1 ? "" : "s");
    if (counts.warnings > 0) {
        std::printf("; %d warning%s: the plugin logs each (level 2) and still uses the file: a plate left out is "
                    "not offered to the host, and of plates with equal names detection takes the later one",
                    counts.warnings, counts.warnings == 1 ? "" : "s");
    }
    if (counts.faulty > 0) {
        std::printf("; %d file%s with errors: fix the lines named above (line numbers count every line, "
                    "blank lines and %% comments included); until then the plugin ignores %s.\n",
                    counts.faulty, counts.faulty == 1 ? "" : "s", counts.faulty == 1 ? "it" : "them");
        return ExitFailure;
    }
    if (counts.present == 0) {
        std::printf(": there are no configuration files, so the plugin offers only the standard plates and the "
                    "generic \"Force plate\" (the source tree has examples in examples/ZORVA/CFG).\n");
    } else {
        std::printf(".\n");
    }
    return ExitSuccess;
}

} // namespace zorvahost
