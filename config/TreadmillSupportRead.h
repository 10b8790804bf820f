/// Reader of the treadmill-support file, a free word format: a keyword may
/// stand anywhere in a line and its value is the line's second word.
///
/// Each line has its tabs, commas and colons turned into blanks and its
/// letters a to z upper-cased. A line containing TEXT_NOTE is a note. For every
/// keyword found anywhere in the line (substring), the second word of the line
/// read as a number becomes that keyword's field; a missing second word reads
/// as 0. A line containing PHY_P also fills the next physical plate from its
/// first seven words.
///
/// Limits, all closed without a buffer overrun:
/// - A line keeps its first 249 characters; the rest of it is ignored.
/// - Words keep at most: first word 31 characters, second word 24 (a PHY_P
///   name 19), PHY_P words 3 and 4 7 each, words 5 to 7 15 each. A longer word
///   is cut to its limit and the rest of that word is dropped (it never
///   becomes the next word).
/// - A PHY_P line with fewer than seven words sets the whole error text to
///   "Corrupted data file" and ends the reading; the normalisation still runs
///   and the result is -1.
/// - Only 30 physical plates are kept: PHY_P lines after the 30th are ignored
///   and the count stays 30.
/// - The file's own limits (1 MiB, lines of 64 Ki characters, a regular file)
///   are those of ConfigFile: beyond them the read fails with "Cannot open
///   configuration file: %s" saying which.
#pragma once

#include "ReaderResult.h"

#include <array>
#include <string>

namespace ZORVA {

/// One PHY_P line; words are numbered from 1, the keyword.
struct PhysicalPlate
{
    int word4 = 0;
    int word3 = 0;
    int word7 = 0;
    /// Word 2, at most 19 characters.
    std::wstring name;
    float word5 = 0.0f;
    float word6 = 0.0f;
};

/// The treadmill set-up. Every field is named after the keyword that fills it.
struct TreadmillSupportRecord
{
    static constexpr int MaxPlates = 30;

    int ENABLED = 0;
    int TREADMILL_TYPE = 0;
    int VERSION = 0;
    /// After a read: 4 (tandem) or 5 (side-by-side) when a supported treadmill
    /// is described, else 0.
    int SETUP_TYPE = 0;
    int OUTPUT_FORMAT = 0;
    int NUM_CP = 0;
    /// The PHY_P count when USE_MANUAL_OFFSETS is 1, otherwise 2.
    int platformCount = 0;
    int SINGLE_PLATE = 0;
    int CORRECT_FOOT_ORDER = 0;
    int DELAY_PACKETS = 0;
    int DELAY_REPETITIONS = 0;
    int STRIKE_DELAY_REP = 0;
    int SPIKE_ERROR_REP = 0;
    int USE_MANUAL_OFFSETS = 0;
    /// Milliseconds.
    float DATA_TO_AVG_MS = 0.0f;
    float STRIKE_LOAD = 0.0f;
    /// Newtons.
    float UN_LOAD_N = 0.0f;
    /// Newtons.
    float COP_SUPPRESS_N = 0.0f;
    /// Milliseconds.
    float POST_UNLOAD_MS = 0.0f;
    float FOOT_LENGTH = 0.0f;
    float FOOT_WIDTH = 0.0f;
    float FOOT_RADIUS = 0.0f;
    float RELIABLE_LOAD = 0.0f;
    float COP_TRAVEL = 0.0f;
    float COP_MINIMUM = 0.0f;
    /// Millimetres.
    float PLATFORM_GAP_MM = 0.0f;
    /// Millimetres.
    float DIST_L_F_TO_ORIG_MM = 0.0f;
    /// Millimetres.
    float DIST_ORIG_TO_ORIG_MM = 0.0f;
    /// Inches.
    float X_DIMENSION = 0.0f;
    /// Inches.
    float Y_DIMENSION = 0.0f;
    /// Where the treadmill plate's name and size come from, for messages
    /// about it: the line that chose the set-up type (the last SETUP_TYPE
    /// line, or without one, or with -1 there, the last TREADMILL_TYPE line)
    /// and the lines that gave X_DIMENSION and Y_DIMENSION their values; 0
    /// when there is no such line.
    int typeLine = 0;
    int xDimensionLine = 0;
    int yDimensionLine = 0;
    /// One per PHY_P line, in line order.
    std::array<PhysicalPlate, MaxPlates> plates;
};

/// Reads the treadmill-support file at `path` (a Windows path) into `record`.
/// physicalPlateCount receives the number of PHY_P lines kept, updated after
/// each. Returns Read when read without error (errorText empty); NotFound
/// when the file does not exist (errorText empty, record untouched); Failed
/// when it cannot be opened or read, or a PHY_P line is corrupt (errorText
/// says why). errorText is emptied first. Allocation failure propagates as
/// std::bad_alloc.
/// Threads: touches only its arguments.
ReaderResult ReadTreadmillSupport(int& physicalPlateCount, const std::wstring& path, TreadmillSupportRecord& record,
                                  std::wstring& errorText);

} // namespace ZORVA
