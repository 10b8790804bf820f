#include "CustomDefinitions.h"

#include "VSharedConfigDefinition.h"
#include "config/CComboRead.h"
#include "config/ConfigText.h"
#include "config/StrivoRead.h"
#include "config/TreadmillSupportRead.h"
#include "contract/Log.h"

#include <boost/format.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <map>
#include <memory>

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

// The warnings about a file's plates, and the line that logs one.
const char* const LeftOut = "custom plate \"%s\" left out: %s";
const char* const EmptyName = "empty name";
const char* const NoComboLine = "empty name (no CP_INFO line for combined platform %d)";
const char* const NoStrivoLine = "empty name (no STRIVO line for unit %d)";
const char* const NulInName = "NUL character in the name";
const char* const StandardModelName = "name of a standard plate model";
const char* const GenericName = "name of the generic plate";
const char* const SharedDefinitionName = "name of the shared configuration definition";
const char* const XNotFinite = "X size is not a finite number";
const char* const YNotFinite = "Y size is not a finite number";
const char* const SameName =
    "custom plate \"%s\" has the name of the one at %s line %d; a platform of model \"%s\" gets this later one";
const char* const WarningLine = "%s line %d: %s";

CustomPlate Plate(const std::wstring& name, float xSize, float ySize, float factor, int line)
{
    CustomPlate plate;
    plate.Name = NarrowText(name, NameLimit);
    plate.DimensionX = static_cast<double>(xSize * factor);
    plate.DimensionY = static_cast<double>(ySize * factor);
    plate.Line = line;
    return plate;
}

/// A name as the texts show it: a NUL would end the host's copy of the text.
std::string Shown(const std::string& name)
{
    std::string shown;
    for (const char c : name) {
        if (c == '\0')
            shown += "\\0";
        else
            shown += c;
    }
    return shown;
}

const std::string& GenericPlateName()
{
    static const std::string name = VZORVAGenericPlateDefinition().Name;
    return name;
}

const std::string& SharedConfigDefinitionName()
{
    static const std::string name = VSharedConfigDefinition().Name;
    return name;
}

/// Why the plate may not reach the host; empty when it may. `emptyReason`
/// says why an empty name is empty.
std::string Harm(const CustomPlate& plate, const std::string& emptyReason)
{
    if (plate.Name.empty())
        return emptyReason;
    if (plate.Name.find('\0') != std::string::npos)
        return NulInName;
    for (const StandardPlateModel& model : StandardPlateModels) {
        if (plate.Name == model.name)
            return StandardModelName;
    }
    if (plate.Name == GenericPlateName())
        return GenericName;
    if (plate.Name == SharedConfigDefinitionName())
        return SharedDefinitionName;
    if (!std::isfinite(plate.DimensionX))
        return XNotFinite;
    if (!std::isfinite(plate.DimensionY))
        return YNotFinite;
    return std::string();
}

/// Adds the plate to the source's plates, or leaves it out with a warning
/// at `warningLine` when it would harm the host or the matching.
void AddPlate(CustomPlateSource& source, const CustomPlate& plate, int warningLine,
              const std::string& emptyReason = EmptyName)
{
    const std::string harm = Harm(plate, emptyReason);
    if (harm.empty()) {
        source.Plates.push_back(plate);
        return;
    }
    CustomPlateWarning warning;
    warning.Line = warningLine;
    warning.Text = (boost::format(LeftOut) % Shown(plate.Name) % harm).str();
    source.Warnings.push_back(warning);
}

/// A warning at every plate whose name an earlier plate (of any file) has
/// too: both stay, and detection takes the later one by name. Then each
/// file's warnings in line order.
void WarnEqualNames(std::vector<CustomPlateSource>& sources)
{
    struct Earlier
    {
        const std::string* path;
        int line;
    };
    std::map<std::string, Earlier> earlier; // name -> the latest plate with it so far
    for (CustomPlateSource& source : sources) {
        std::vector<CustomPlateWarning> warnings;
        for (const CustomPlate& plate : source.Plates) {
            const auto found = earlier.find(plate.Name);
            if (found != earlier.end()) {
                CustomPlateWarning warning;
                warning.Line = plate.Line;
                warning.LeftOut = false;
                warning.Text = (boost::format(SameName) % Shown(plate.Name) % *found->second.path % found->second.line %
                                Shown(plate.Name))
                                   .str();
                warnings.push_back(warning);
            }
            earlier[plate.Name] = Earlier{&source.Path, plate.Line};
        }
        // In line order with the plates left out (a unit without its STRIVO
        // line is warned about at the COUNT line, before the units' lines).
        source.Warnings.insert(source.Warnings.end(), warnings.begin(), warnings.end());
        std::stable_sort(source.Warnings.begin(), source.Warnings.end(),
                         [](const CustomPlateWarning& a, const CustomPlateWarning& b) { return a.Line < b.Line; });
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
    // The name is the plugin's own: only a size can be at fault, on its line.
    const CustomPlate plate = Plate(name, record.X_DIMENSION, record.Y_DIMENSION, InchToMetre, record.typeLine);
    AddPlate(source, plate, std::isfinite(plate.DimensionX) ? record.yDimensionLine : record.xDimensionLine);
}

void ReadCombinationSource(CustomPlateSource& source)
{
    std::unique_ptr<CComboRead> reader(new CComboRead());
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
        // A combined platform no CP_INFO line numbers exists by CP_COUNT alone.
        const int line = combo.line > 0 ? combo.line : reader->countLine;
        const std::string emptyReason =
            combo.line > 0 ? std::string(EmptyName) : (boost::format(NoComboLine) % (i + 1)).str();
        AddPlate(source, Plate(combo.name, combo.xSize, combo.ySize, factor, line), line, emptyReason);
    }
}

void ReadStrivoSource(CustomPlateSource& source)
{
    std::unique_ptr<StrivoRead> reader(new StrivoRead());
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
        // A unit needs no STRIVO line: without one it exists by COUNT alone.
        const int line = unit.line > 0 ? unit.line : reader->countLine;
        const std::string emptyReason =
            unit.line > 0 ? std::string(EmptyName) : (boost::format(NoStrivoLine) % (i + 1)).str();
        AddPlate(source, Plate(unit.name, unit.xSize, unit.ySize, factor, line), line, emptyReason);
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
        source.Warnings.clear();
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
        WarnEqualNames(sources);
    } catch (...) {
        // Out of memory: the plates stay as they are; only warnings are missing.
    }
    return sources;
}

std::string CustomPlateLogLine(const CustomPlateSource& source, const CustomPlateWarning& warning)
{
    return (boost::format(WarningLine) % source.Path % warning.Line % warning.Text).str();
}

std::vector<std::string> ReservedPlateNames()
{
    std::vector<std::string> names;
    for (const StandardPlateModel& model : StandardPlateModels)
        names.push_back(model.name);
    names.push_back(GenericPlateName());
    names.push_back(SharedConfigDefinitionName());
    return names;
}

void BuildCustomDefinitions(MoldraDigitalDevice::IPluginHost* host)
{
    ReleaseCustomDefinitions();
    try {
        const std::vector<CustomPlateSource> sources = ReadCustomPlateSources();
        std::size_t n = 0;
        for (const CustomPlateSource& source : sources) {
            n += source.Plates.size();
            for (const CustomPlateWarning& warning : source.Warnings)
                Log(host, LogLevel::Warning, CustomPlateLogLine(source, warning));
        }
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
