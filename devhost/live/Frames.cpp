#include "devhost/live/Frames.h"

#include "devhost/live/Json.h"

#include <algorithm>

namespace zorvahost {
namespace live {

namespace {

const char* SourceWord(LineSource source) { return source == LineSource::Host ? "host" : "plugin"; }

} // namespace

FrameBuilder::FrameBuilder(Decimator& decimator, Hub& hub, std::function<double()> clock)
    : decimator_(decimator), hub_(hub), clock_(std::move(clock))
{}

void FrameBuilder::Begin(std::string& out, const char* type, double now)
{
    out += "{\"type\":\"";
    out += type;
    out += "\",\"seq\":" + std::to_string(sequence_) + ",\"now\":";
    AppendJsonNumber(out, now);
    out += ",\"column\":";
    AppendJsonNumber(out, kColumnSeconds);
}

void FrameBuilder::AppendColumn(std::string& out, const Column& column)
{
    out += '[' + std::to_string(column.index);
    if (column.samples > 0) {
        out += ',' + std::to_string(column.samples) + ',' + std::to_string(column.loaded);
        for (int i = 0; i < 3; ++i) {
            out += ',';
            AppendJsonNumber(out, column.min[i]);
            out += ',';
            AppendJsonNumber(out, column.max[i]);
        }
        for (int i = 0; i < 3; ++i) {
            out += ',';
            AppendJsonNumber(out, column.sum[i] / column.samples);
        }
        for (int i = 0; i < 2; ++i) {
            out += ',';
            if (column.loaded > 0)
                AppendJsonNumber(out, column.copSum[i] / column.loaded);
            else
                out += "null";
        }
    }
    out += ']';
}

void FrameBuilder::AppendLines(std::string& out, const std::vector<NumberedLine>& lines) const
{
    out += ",\"lines\":[";
    bool first = true;
    for (const NumberedLine& numbered : lines) {
        out += first ? "[" : ",[";
        first = false;
        out += std::to_string(numbered.number) + ",\"" + SourceWord(numbered.line.source) + "\"," +
               std::to_string(numbered.line.level) + ',';
        AppendJsonString(out, numbered.line.text);
        out += ',';
        AppendJsonNumber(out, numbered.line.time);
        out += ']';
    }
    out += ']';
}

Message FrameBuilder::Next()
{
    ++sequence_;
    const double now = clock_();
    std::string out;
    out.reserve(4096);
    Begin(out, "frame", now);
    if (hub_.StateSince(stateVersion_, state_))
        out += ",\"state\":" + state_;
    hub_.LinesSince(lastLine_, newLines_);
    if (!newLines_.empty()) {
        AppendLines(out, newLines_);
        for (const NumberedLine& line : newLines_) {
            lines_.push_back(line);
            if (lines_.size() > Hub::kKeptLines)
                lines_.pop_front();
        }
    }
    decimator_.TakeChanges(changes_);
    oldestBlock_ = -1.0;
    out += ",\"plates\":{";
    bool firstPlate = true;
    for (const PlateChanges& changes : changes_) {
        Plate& plate = plates_[changes.plate];
        plate.blocks = changes.blocks;
        plate.lastBlock = changes.lastBlock;
        if (changes.oldestPending >= 0.0 && (oldestBlock_ < 0.0 || changes.oldestPending < oldestBlock_))
            oldestBlock_ = changes.oldestPending;
        if (!firstPlate)
            out += ',';
        firstPlate = false;
        AppendJsonString(out, changes.plate);
        out += ":{\"blocks\":" + std::to_string(changes.blocks) + ",\"last\":";
        AppendJsonNumber(out, changes.lastBlock);
        out += ",\"columns\":[";
        bool firstColumn = true;
        for (const Column& column : changes.columns) {
            if (!plate.any || column.index > plate.newest) {
                // Columns skipped between two takes had no samples.
                const std::int64_t first =
                    plate.any ? std::max(plate.newest + 1, column.index - kColumnMask) : column.index;
                for (std::int64_t c = first; c < column.index; ++c) {
                    plate.ring[static_cast<std::size_t>(c & kColumnMask)] = Column();
                    plate.ring[static_cast<std::size_t>(c & kColumnMask)].index = c;
                }
                plate.newest = column.index;
                plate.any = true;
            }
            plate.ring[static_cast<std::size_t>(column.index & kColumnMask)] = column;
            if (!firstColumn)
                out += ',';
            firstColumn = false;
            AppendColumn(out, column);
        }
        out += "]}";
    }
    out += "}}";
    return std::make_shared<const std::string>(std::move(out));
}

Message FrameBuilder::Snapshot()
{
    std::string out;
    out.reserve(64 * 1024);
    Begin(out, "snapshot", clock_());
    out += ",\"state\":" + state_;
    AppendLines(out, std::vector<NumberedLine>(lines_.begin(), lines_.end()));
    out += ",\"plates\":{";
    bool firstPlate = true;
    for (const auto& entry : plates_) {
        const Plate& plate = entry.second;
        if (!firstPlate)
            out += ',';
        firstPlate = false;
        AppendJsonString(out, entry.first);
        out += ":{\"blocks\":" + std::to_string(plate.blocks) + ",\"last\":";
        AppendJsonNumber(out, plate.lastBlock);
        out += ",\"columns\":[";
        bool firstColumn = true;
        for (std::int64_t c = plate.newest - (kWindowColumns - 1); plate.any && c <= plate.newest; ++c) {
            const Column& column = plate.ring[static_cast<std::size_t>(c & kColumnMask)];
            if (column.index != c || column.samples == 0)
                continue;
            if (!firstColumn)
                out += ',';
            firstColumn = false;
            AppendColumn(out, column);
        }
        out += "]}";
    }
    out += "}}";
    return std::make_shared<const std::string>(std::move(out));
}

} // namespace live
} // namespace zorvahost
