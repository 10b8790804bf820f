/// The messages the page reads, as JSON texts built once and shared by every
/// browser: a frame with what is new since the last one (the plates'
/// changed columns, log lines, the state when it changed), and a snapshot
/// with everything a page needs to start or to catch up after it missed
/// frames (the state, the kept lines, the plates' ten seconds of columns).
///
/// Message types (the page's live.js reads them):
///   {"type":"frame"|"snapshot","seq":N,"now":SECONDS,"column":SECONDS,
///    "state":{...},"lines":[[NUMBER,"plugin"|"host",LEVEL,"text",SECONDS],...],
///    "plates":{"NAME":{"blocks":N,"last":SECONDS,"columns":[COLUMN,...]}}}
///   where COLUMN is [index] for a column without samples, else
///   [index,samples,loaded,FxMin,FxMax,FyMin,FyMax,FzMin,FzMax,FxMean,FyMean,FzMean,CoPx,CoPy]
///   (CoP null without loaded samples). A frame leaves out "state" when it
///   did not change and "lines" when there are none.
///
/// Threads: the server's thread only.
#pragma once

#include "devhost/live/Decimator.h"
#include "devhost/live/Hub.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace zorvahost {
namespace live {

typedef std::shared_ptr<const std::string> Message;

class FrameBuilder
{
public:
    FrameBuilder(Decimator& decimator, Hub& hub, std::function<double()> clock);

    /// The next frame: what is new since the last.
    Message Next();
    /// Everything as of the last frame, for a page that starts or catches up.
    Message Snapshot();
    /// Host time of the oldest block in the last frame that no frame had
    /// before; -1 when it had none.
    double OldestBlock() const { return oldestBlock_; }
    /// The host's clock now.
    double Now() const { return clock_(); }

private:
    struct Plate
    {
        std::vector<Column> ring = std::vector<Column>(kKeptColumns);
        std::int64_t newest = 0;
        bool any = false;
        std::uint64_t blocks = 0;
        double lastBlock = -1.0;
    };

    void Begin(std::string& out, const char* type, double now);
    static void AppendColumn(std::string& out, const Column& column);
    void AppendLines(std::string& out, const std::vector<NumberedLine>& lines) const;

    Decimator& decimator_;
    Hub& hub_;
    std::function<double()> clock_;
    std::uint64_t sequence_ = 0;
    std::uint64_t stateVersion_ = 0;
    std::string state_ = "{}";
    std::uint64_t lastLine_ = 0;
    std::deque<NumberedLine> lines_; ///< the newest Hub::kKeptLines sent
    std::map<std::string, Plate> plates_;
    std::vector<PlateChanges> changes_;  ///< reused
    std::vector<NumberedLine> newLines_; ///< reused
    double oldestBlock_ = -1.0;
};

} // namespace live
} // namespace zorvahost
