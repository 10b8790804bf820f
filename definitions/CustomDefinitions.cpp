#include "CustomDefinitions.h"

#include "config/CComboRead.h"
#include "config/ConfigText.h"
#include "config/StrivoRead.h"
#include "config/TreadmillSupportRead.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <locale>
#include <map>
#include <memory>
#include <new>
#include <sstream>

namespace ZORVA {

VZORVAGenericPlateDefinition* customDefinitions = nullptr;
int customDefinitionCount = 0;

const char* const TreadmillSupportFilePath = "C:\\ZORVA\\CFG\\TreadmillSupport.cfg";
const char* const CombinationPlatformFilePath = "C:\\ZORVA\\CFG\\CombinationPlatform.cfg";
const char* const StrivoFilePath = "C:\\ZORVA\\CFG\\Strivo.cfg";

namespace {

// Unit factors to metres. Products are taken in single precision and then
// widened, so a size gives the same metres wherever it is converted.
const float InchToMetre = 0.0254f;
const float MillimetreToMetre = 0.001f;

const std::size_t NameLimit = 30;

CustomPlate Plate(const std::wstring& name, float xSize, float ySize, float factor)
{
    CustomPlate plate;
    plate.Name = NarrowText(name, NameLimit);
    plate.DimensionX = static_cast<double>(xSize * factor);
    plate.DimensionY = static_cast<double>(ySize * factor);
    return plate;
}

/// Why a plate a file describes is left out of the list.
std::string NameTakenNote(const std::string& name, const std::string& owner)
{
    return "\"" + name + "\" left out: already defined by " + owner;
}
const char* const ByThePlugin = "the plugin";

/// The names no configuration file may give a plate, as the readers take them.
std::vector<std::wstring> ReservedWideNames()
{
    std::vector<std::wstring> names;
    for (const std::string& name : ReservedPlateNames())
        names.push_back(WidenText(name));
    return names;
}

void AddNote(CustomPlateSource& source, const std::string& note)
{
    source.Note += (source.Note.empty() ? "" : "; ") + note;
}

/// Leaves out every plate whose name is registered before it: by the plugin
/// itself or by a plate of an earlier file (a duplicate within one file is
/// already that reader's error). The later file's Note says which and why.
void DropTakenNames(std::vector<CustomPlateSource>& sources)
{
    std::map<std::string, std::string> owners; // name -> who registers it
    for (const std::string& name : ReservedPlateNames())
        owners.emplace(name, ByThePlugin);
    for (CustomPlateSource& source : sources) {
        std::vector<CustomPlate> kept;
        for (const CustomPlate& plate : source.Plates) {
            const auto owner = owners.emplace(plate.Name, source.Path);
            if (owner.second) {
                kept.push_back(plate);
            } else {
                AddNote(source, NameTakenNote(plate.Name, owner.first->second));
            }
        }
        source.Plates.swap(kept);
    }
}

CustomPlateSource Source(const char* path)
{
    CustomPlateSource source;
    source.Path = path;
    return source;
}

void ReadTreadmillSupportSource(CustomPlateSource& source)
{
    TreadmillSupportRecord record;
    int physicalPlateCount = 0;
    source.Result = ReadTreadmillSupport(physicalPlateCount, WidenText(source.Path), record, source.ErrorText);
    if (source.Result != ReaderResult::Read)
        return;
    if (record.ENABLED == 0 || (record.SETUP_TYPE != 4 && record.SETUP_TYPE != 5)) {
        // An unsupported SETUP_TYPE also clears ENABLED: name the cause the user wrote.
        const bool supportedType = record.TREADMILL_TYPE == 4 || record.TREADMILL_TYPE == 5;
        source.Note =
            record.ENABLED == 0 && supportedType ? "ENABLED is 0" : "no supported treadmill (SETUP_TYPE 4 or 5)";
        return;
    }
    const wchar_t* name = record.SETUP_TYPE == 4 ? L"Tandem TM" : L"Side-by-side TM";
    source.Plates.push_back(Plate(name, record.X_DIMENSION, record.Y_DIMENSION, InchToMetre));
}

void ReadCombinationSource(CustomPlateSource& source)
{
    std::unique_ptr<CComboRead> reader(new CComboRead());
    reader->reservedNames = ReservedWideNames();
    source.Result = reader->ReadConfigFile(WidenText(source.Path), source.ErrorText);
    if (source.Result != ReaderResult::Read)
        return;
    if (reader->CP_COUNT <= 0) {
        source.Note = "CP_COUNT is 0";
        return;
    }
    const float factor = reader->UNITS == 0 ? InchToMetre : MillimetreToMetre;
    const int count = std::min(reader->CP_COUNT, static_cast<int>(CComboRead::MaxCombos));
    for (int i = 0; i < count; ++i) {
        const ComboPlatform& combo = reader->combos[static_cast<std::size_t>(i)];
        source.Plates.push_back(Plate(combo.name, combo.xSize, combo.ySize, factor));
    }
}

void ReadStrivoSource(CustomPlateSource& source)
{
    std::unique_ptr<StrivoRead> reader(new StrivoRead());
    reader->reservedNames = ReservedWideNames();
    source.Result = reader->ReadConfigFile(WidenText(source.Path), source.ErrorText);
    if (source.Result != ReaderResult::Read)
        return;
    if (!reader->ENABLED) {
        source.Note = "ENABLED is 0";
        return;
    }
    const float factor = reader->UNITS == 1 ? MillimetreToMetre : InchToMetre;
    const int count = std::min(reader->COUNT, static_cast<int>(StrivoRead::MaxUnits));
    for (int i = 0; i < count; ++i) {
        const StrivoUnit& unit = reader->units[static_cast<std::size_t>(i)];
        source.Plates.push_back(Plate(unit.name, unit.xSize, unit.ySize, factor));
    }
}

/// Runs one reader; whatever it throws costs that file only.
void ReadSource(CustomPlateSource& source, void (*read)(CustomPlateSource&))
{
    try {
        read(source);
        if (source.Result == ReaderResult::NotFound)
            source.Note = "file not found";
    } catch (...) {
        source.Result = ReaderResult::Failed;
        source.Plates.clear();
        source.Note.clear();
        try {
            source.ErrorText = L"Configuration file could not be read: out of memory";
        } catch (...) {
        }
    }
}

} // namespace

std::vector<CustomPlateSource> ReadCustomPlateSources()
{
    std::vector<CustomPlateSource> sources;
    try {
        sources.reserve(3);
        sources.push_back(Source(TreadmillSupportFilePath));
        sources.push_back(Source(CombinationPlatformFilePath));
        sources.push_back(Source(StrivoFilePath));
    } catch (...) {
        return std::vector<CustomPlateSource>();
    }
    ReadSource(sources[0], ReadTreadmillSupportSource);
    ReadSource(sources[1], ReadCombinationSource);
    ReadSource(sources[2], ReadStrivoSource);
    try {
        DropTakenNames(sources);
    } catch (...) {
        // Out of memory: no name may be registered twice, so no file counts.
        for (CustomPlateSource& source : sources) {
            if (!source.Plates.empty()) {
                source.Result = ReaderResult::Failed;
                source.Plates.clear();
            }
        }
    }
    return sources;
}

std::vector<std::string> ReservedPlateNames()
{
    std::vector<std::string> names;
    for (const StandardPlateModel& model : StandardPlateModels)
        names.push_back(model.name);
    names.push_back(VZORVAGenericPlateDefinition().Name);
    return names;
}

void BuildCustomDefinitions()
{
    ReleaseCustomDefinitions();
    try {
        const std::vector<CustomPlateSource> sources = ReadCustomPlateSources();
        std::size_t n = 0;
        for (const CustomPlateSource& source : sources)
            n += source.Plates.size();
        if (n == 0)
            return;
        std::unique_ptr<VZORVAGenericPlateDefinition[]> definitions(new VZORVAGenericPlateDefinition[n]);
        std::size_t i = 0;
        for (const CustomPlateSource& source : sources) {
            for (const CustomPlate& plate : source.Plates) {
                definitions[i].Name = plate.Name;
                definitions[i].DimensionX = plate.DimensionX;
                definitions[i].DimensionY = plate.DimensionY;
                ++i;
            }
        }
        customDefinitions = definitions.release();
        customDefinitionCount = static_cast<int>(n);
    } catch (...) {
        // Out of memory: the plugin goes on without custom plates.
        ReleaseCustomDefinitions();
    }
}

void ReleaseCustomDefinitions()
{
    delete[] customDefinitions;
    customDefinitions = nullptr;
    customDefinitionCount = 0;
}

double PlatformInches(const std::string& text)
{
    const double inches = LeadingNumber(text);
    return inches == 0.0 ? 19.7 : inches;
}

double LeadingNumber(const std::string& text)
{
    // As strtod reads a decimal number, in any process locale: leading white
    // space skipped, then the longest prefix that is a number ("23.6e" reads
    // 23.6: an exponent needs a digit); too large is infinite, too small 0.
    std::size_t i = 0;
    const std::size_t size = text.size();
    auto digit = [&](std::size_t at) { return at < size && text[at] >= '0' && text[at] <= '9'; };
    while (i < size && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < size && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::size_t begin = i;
    std::size_t digits = 0;
    for (; digit(i); ++i)
        ++digits;
    if (i < size && text[i] == '.') {
        ++i;
        for (; digit(i); ++i)
            ++digits;
    }
    if (digits == 0)
        return 0.0;
    std::size_t end = i;
    if (i < size && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t e = i + 1;
        if (e < size && (text[e] == '+' || text[e] == '-'))
            ++e;
        if (digit(e)) {
            while (digit(e))
                ++e;
            end = e;
        }
    }
    double value = 0.0;
    const std::from_chars_result read = std::from_chars(text.data() + begin, text.data() + end, value);
    if (read.ec == std::errc::result_out_of_range) {
        // from_chars leaves the value alone: tell overflow from underflow by the exponent's sign.
        const std::size_t mark = text.find_first_of("eE", begin);
        const bool tiny = mark < end && text[mark + 1] == '-';
        value = tiny ? 0.0 : std::numeric_limits<double>::infinity();
    } else if (read.ec != std::errc()) {
        return 0.0;
    }
    return negative ? -value : value;
}

} // namespace ZORVA
