/// Custom plate definitions built from the optional configuration files.
#pragma once

#include "VZORVAGenericPlateDefinition.h"

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
    /// 1 read without error, 0 not found, -1 cannot open or errors.
    int Result = 0;
    /// The reader's error text (empty for 1 and 0).
    std::wstring ErrorText;
    /// The plates that become custom definitions; none unless Result is 1.
    std::vector<CustomPlate> Plates;
    /// Why a file read without error gives no plate ("ENABLED is 0", ...), or
    /// "file not found"; empty otherwise.
    std::string Note;
};

/// Reads the treadmill-support, combination-platform and treadmill-unit files,
/// in this order, and tells per file what it gave. The plugin drops the error
/// texts; a development host can show them. Never throws (an allocation
/// failure gives that file Result -1).
/// Threads: any one thread at a time; reads files only.
std::vector<CustomPlateSource> ReadCustomPlateSources();

/// Fills customDefinitions and customDefinitionCount from
/// ReadCustomPlateSources, releasing any list held before. Never throws; on
/// allocation failure the list stays empty.
/// Threads: the host's thread, inside Initialise, before any detection.
void BuildCustomDefinitions();

/// Destroys every entry, frees the block and empties the list, so a later
/// BuildCustomDefinitions starts clean.
/// Threads: the host's thread, inside Shutdown, after the worker has stopped.
void ReleaseCustomDefinitions();

} // namespace ZORVA
