/// Custom plate definitions built from the optional configuration files.
#pragma once

#include "VZORVAGenericPlateDefinition.h"
#include "config/ReaderResult.h"

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
    /// Why a file read without error gives no plate ("ENABLED is 0", ...), or
    /// "file not found"; and why a plate it describes is left out ("\"Tandem
    /// TM\" left out: already defined by C:\ZORVA\CFG\TreadmillSupport.cfg"),
    /// several joined by "; ". Empty otherwise.
    std::string Note;
};

/// Reads the treadmill-support, combination-platform and treadmill-unit files,
/// in this order, and tells per file what it gave. Every name is registered
/// once: the readers refuse the plugin's own names (ReservedPlateNames) and
/// names repeated within a file, and a plate whose name an earlier file took
/// is left out of the later file's Plates, with the reason in its Note. The
/// plugin drops the error texts; a development host can show them. Never
/// throws (an allocation failure gives that file Result Failed).
/// Threads: any one thread at a time; reads files only.
std::vector<CustomPlateSource> ReadCustomPlateSources();

/// The names the plugin registers itself: the standard models' and the
/// generic plate's ("Force plate"). No custom plate may take one.
std::vector<std::string> ReservedPlateNames();

/// Fills customDefinitions and customDefinitionCount from
/// ReadCustomPlateSources, releasing any list held before. Never throws; on
/// allocation failure the list stays empty.
/// Threads: the host's thread, inside Initialise, before any detection.
void BuildCustomDefinitions();

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
