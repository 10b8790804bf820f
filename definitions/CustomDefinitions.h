/// Custom plate definitions built from the optional configuration files.
#pragma once

#include "VZORVAGenericPlateDefinition.h"
#include "config/ReaderResult.h"
#include "host/HostInterfaces.h"

#include <memory>
#include <string>
#include <vector>

namespace ZORVA {

/// The custom definitions, one block; null and 0 when no file contributes.
/// Written only by Initialise and Shutdown on the host's thread.
extern VZORVAGenericPlateDefinition* customDefinitions;
extern int customDefinitionCount;

/// The configuration files, read in this order.
extern const char* const TreadmillSupportFilePath;
extern const char* const CombinationPlatformFilePath;
extern const char* const StrivoFilePath;

/// One plate a configuration file describes, as its custom definition gets it.
struct CustomPlate
{
    /// 8-bit, at most 30 characters.
    std::string Name;
    /// Metres.
    double DimensionX = 0.0;
    double DimensionY = 0.0;
    /// The line of its file that describes it (the line that gave its name,
    /// else the one that declared it); 0 when not known.
    int Line = 0;
};

/// What the plugin says about one plate of a file: that it leaves the plate
/// out, and why, or that another plate has its name too.
struct CustomPlateWarning
{
    /// The line of the file it concerns, from 1.
    int Line = 0;
    /// True when the plate is left out; false when it stays and only its
    /// name is an earlier plate's too.
    bool LeftOut = true;
    /// "custom plate \"\" left out: empty name", "custom plate \"Walk\" has the
    /// name of the one at C:\ZORVA\CFG\CombinationPlatform.cfg line 5; ...".
    std::string Text;
};

/// What one configuration file gave.
struct CustomPlateSource
{
    /// The Windows path that was read.
    std::string Path;
    ReaderResult Result = ReaderResult::NotFound;
    /// The reader's error text (empty for Read and NotFound).
    std::wstring ErrorText;
    /// The plates that become custom definitions; none unless Result is Read.
    std::vector<CustomPlate> Plates;
    /// The plates of a file read without error that are left out, and those
    /// whose name an earlier plate has too (they stay), in the file's order.
    std::vector<CustomPlateWarning> Warnings;
    /// Why a file read without error gives no plate ("ENABLED is 0", ...), or
    /// "file not found". Empty otherwise.
    std::string Note;
};

/// Reads the treadmill-support, combination-platform and treadmill-unit files,
/// in this order, and tells per file what it gave. A file is used when its
/// reader reads it without error; of its plates, one that would harm the host
/// or the plate matching is left out by itself, with a warning: an empty
/// name (a nameless definition; a unit that reports no model would match
/// it), a NUL in the name (the host would see it cut there), the name of one
/// of the plugin's own definitions (ReservedPlateNames), a size that is not a
/// finite number. Negative sizes stay. Equal names stay too (detection takes
/// the later plate by name), with a warning at the later one. The plugin
/// drops the error texts; a development host can show them.
/// Never throws (an allocation failure gives that file Result Failed).
/// Threads: any one thread at a time; reads files only.
std::vector<CustomPlateSource> ReadCustomPlateSources();

/// The line the plugin logs for a warning, at level 2: the file, the line and
/// the warning ("C:\ZORVA\CFG\Strivo.cfg line 7: custom plate ...").
std::string CustomPlateLogLine(const CustomPlateSource& source, const CustomPlateWarning& warning);

/// The names of the plugin's own definitions, which no custom plate may
/// take: the standard models', the generic plate's ("Force plate") and the
/// shared configuration definition's.
std::vector<std::string> ReservedPlateNames();

/// Fills customDefinitions and customDefinitionCount from
/// ReadCustomPlateSources, releasing any list held before, and logs every
/// warning through `host` (CustomPlateLogLine, level 2; none without a host).
/// Never throws; on allocation failure the list stays empty.
/// Threads: the host's thread, inside Initialise, before any detection.
void BuildCustomDefinitions(MoldraDigitalDevice::IPluginHost* host);

/// The decimal number a platform length or width text begins with (leading
/// white space skipped); 0 when it begins with none.
double LeadingNumber(const std::string& text);

/// A platform length or width text in inches: its leading number, or 19.7
/// (just over 0.5 m) when that reads as 0 or there is none.
double PlatformInches(const std::string& text);

/// A new copy (name and dimensions) of the custom definition that matches a
/// detected platform by the custom plates' rules alone (PlateMatching.h):
/// the last entry whose name equals the platform model byte for byte, else
/// the last whose size is within 1 % of the platform's length (against Y) and
/// width (against X). Null for none.
/// Threads: the worker, during detection; reads the list without a lock
/// (only Initialise and Shutdown write it, while no detection runs).
std::unique_ptr<VZORVAGenericPlateDefinition> FindCustomDefinition(const std::string& platformModel,
                                                                   const std::string& platformLength,
                                                                   const std::string& platformWidth);

/// Destroys every entry, frees the block and empties the list, so a later
/// BuildCustomDefinitions starts clean.
/// Threads: the host's thread, inside Shutdown, after the worker has stopped.
void ReleaseCustomDefinitions();

} // namespace ZORVA
