// The live view's cost to the data path, and what the page gets, for 16 plates:
//
// - BM_PushSamples/<mode>: one PushSamples call of a 16-sample block through
//   the host kit (Instance::PushSamples, the host's sample sink), as the
//   plugin's worker makes it, round the 16 plates: without the live view
//   (mode 0), with its decimator (1), and with the server running and two
//   browsers (WebSocket clients) reading its frames (2). Counts the
//   allocations the pushing thread makes per call too (none expected).
// - BM_Live16PlatesAt2000: 16 plates at 2000 per second (a block of each
//   plate every 8 ms) for three seconds, with two browsers reading: the
//   frames per second each receives, the latency from a block's PushSamples
//   to the first frame that carries it being handed to the connections
//   (median, 99th percentile, maximum), and the push's cost meanwhile.
#include "devhost/live/Decimator.h"
#include "devhost/live/Hub.h"
#include "devhost/live/Server.h"
#include "hostkit/Host.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

/// Allocations made on the calling thread so far (LiveAllocations.cpp).
std::uint64_t ThreadAllocations();

namespace {

using namespace zorvahost::live;
namespace net = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using tcp = net::ip::tcp;

constexpr int kPlates = 16;
constexpr int kValues = 16 * 9;
constexpr unsigned int kRate = 2000;

/// A browser: reads every message of the stream until the server closes it.
class Browser
{
public:
    Browser(unsigned short port, const std::string& token)
    {
        thread_ = std::thread([this, port, token] {
            try {
                net::io_context io;
                websocket::stream<tcp::socket> ws(io);
                ws.next_layer().connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), port));
                const std::string host = "127.0.0.1:" + std::to_string(port);
                ws.set_option(websocket::stream_base::decorator([host](websocket::request_type& request) {
                    request.set(beast::http::field::origin, "http://" + host);
                }));
                ws.handshake(host, "/stream?token=" + token);
                connected_ = true;
                beast::flat_buffer buffer;
                for (;;) {
                    ws.read(buffer);
                    const char* data = static_cast<const char*>(buffer.data().data());
                    if (buffer.size() > 16 && std::string(data, 16) == "{\"type\":\"frame\",")
                        ++frames_;
                    bytes_ += buffer.size();
                    buffer.consume(buffer.size());
                }
            } catch (...) {
                // The server closed the stream: the run is over.
            }
        });
    }
    ~Browser()
    {
        if (thread_.joinable())
            thread_.join();
    }
    bool Connected() const { return connected_; }
    std::uint64_t Frames() const { return frames_; }
    std::uint64_t Bytes() const { return bytes_; }

private:
    std::thread thread_;
    std::atomic<bool> connected_{false};
    std::atomic<std::uint64_t> frames_{0};
    std::atomic<std::uint64_t> bytes_{0};
};

/// 16 plates on a host kit, the live view behind it (or not).
struct Bench
{
    explicit Bench(int mode)
    {
        for (int p = 0; p < kPlates; ++p)
            plates.push_back(
                std::make_shared<hostkit::Instance>(host, "ZA100-" + std::to_string(4400 + p) + "PEN600-1"));
        for (int s = 0; s < 16; ++s) {
            float* v = values.data() + s * 9;
            v[0] = 3.0f;
            v[1] = -2.0f;
            v[2] = 700.0f + s;
            v[6] = 0.05f;
            v[7] = -0.1f;
        }
        if (mode >= 1)
            host.SetSampleSink([this](hostkit::Instance& plate, const hostkit::SampleBlock& block) {
                decimator.OnBlock(plate.DeviceName(), block, kRate);
            });
        if (mode >= 2) {
            server.reset(new LiveServer(
                ServerSettings(), hub, decimator, [this] { return host.Now(); }, nullptr));
            std::string error;
            if (!server->Start(error))
                std::abort();
            for (int b = 0; b < 2; ++b)
                browsers.emplace_back(new Browser(server->Port(), server->Token()));
            for (const auto& browser : browsers)
                while (!browser->Connected())
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    ~Bench()
    {
        if (server)
            server->Stop();
        browsers.clear();
        host.SetSampleSink(nullptr);
    }

    void Push(int plate, std::int64_t frame)
    {
        plates[plate]->PushSamples(static_cast<unsigned int>(plate), frame, 16, outputs, 3, values.data(), kValues);
    }

    hostkit::Host host;
    Decimator decimator;
    Hub hub;
    std::vector<std::shared_ptr<hostkit::Instance>> plates;
    std::vector<float> values = std::vector<float>(kValues, 0.0f);
    int outputs[3] = {13, 14, 1};
    std::unique_ptr<LiveServer> server;
    std::vector<std::unique_ptr<Browser>> browsers;
};

void BM_PushSamples(benchmark::State& state)
{
    Bench bench(static_cast<int>(state.range(0)));
    std::int64_t frame = 0;
    int plate = 0;
    // The first block of each plate makes its columns: not the steady state.
    for (int p = 0; p < kPlates; ++p)
        bench.Push(p, 0);
    const std::uint64_t before = ThreadAllocations();
    std::uint64_t pushes = 0;
    for (auto _ : state) {
        bench.Push(plate, frame);
        if (++plate == kPlates) {
            plate = 0;
            frame += 16;
        }
        ++pushes;
    }
    state.counters["allocations_per_push"] =
        benchmark::Counter(static_cast<double>(ThreadAllocations() - before) / static_cast<double>(pushes));
    state.SetLabel(state.range(0) == 0   ? "host kit only"
                   : state.range(0) == 1 ? "live view, no browser"
                                         : "live view, two browsers");
}
BENCHMARK(BM_PushSamples)->Arg(0)->Arg(1)->Arg(2);

void BM_Live16PlatesAt2000(benchmark::State& state)
{
    for (auto _ : state) {
        Bench bench(2);
        const auto period = std::chrono::microseconds(8000); // 16 samples at 2000 per second
        const double seconds = 3.0;
        const auto start = std::chrono::steady_clock::now();
        auto due = start;
        std::int64_t frame = 0;
        double pushSeconds = 0.0;
        std::uint64_t pushes = 0;
        while (std::chrono::steady_clock::now() - start < std::chrono::duration<double>(seconds)) {
            std::this_thread::sleep_until(due);
            for (int p = 0; p < kPlates; ++p) {
                const auto before = std::chrono::steady_clock::now();
                bench.Push(p, frame);
                pushSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count();
                ++pushes;
            }
            frame += 16;
            due += period;
        }
        const ServerStats stats = bench.server->Stats();
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.counters["frames_per_s_browser1"] = static_cast<double>(bench.browsers[0]->Frames()) / elapsed;
        state.counters["frames_per_s_browser2"] = static_cast<double>(bench.browsers[1]->Frames()) / elapsed;
        state.counters["kB_per_s_browser"] = static_cast<double>(bench.browsers[0]->Bytes()) / elapsed / 1000.0;
        state.counters["latency_median_ms"] = stats.LatencyQuantile(0.5) * 1000.0;
        state.counters["latency_p99_ms"] = stats.LatencyQuantile(0.99) * 1000.0;
        state.counters["latency_max_ms"] = stats.latencyMax * 1000.0;
        state.counters["push_ns"] = pushSeconds / static_cast<double>(pushes) * 1e9;
        state.counters["dropped"] = static_cast<double>(stats.framesDropped);
    }
}
BENCHMARK(BM_Live16PlatesAt2000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
