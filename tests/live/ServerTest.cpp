// The live view's server on the loopback address, as browsers and other
// programs reach it: what it serves, what it refuses (and logs), the data
// stream and the actions, several browsers, a slow one.
#include "devhost/live/Decimator.h"
#include "devhost/live/Hub.h"
#include "devhost/live/Server.h"
#include "tests/support/WaitUntil.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace zorvahost::live;

namespace net = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using tcp = net::ip::tcp;

namespace {

class LiveServerTest : public ::testing::Test
{
protected:
    void SetUp() override { Start(ServerSettings()); }

    void Start(ServerSettings settings)
    {
        server_.reset(new LiveServer(
            settings, hub_, decimator_,
            [] {
                static const auto start = std::chrono::steady_clock::now();
                return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            },
            [this](const std::string& line) {
                std::lock_guard<std::mutex> lock(logMutex_);
                log_.push_back(line);
            }));
        std::string error;
        ASSERT_TRUE(server_->Start(error)) << error;
        port_ = server_->Port();
        host_ = "127.0.0.1:" + std::to_string(port_);
    }

    void TearDown() override { server_.reset(); }

    /// Sends `bytes` on a new connection and reads until the server closes it (or 5 s pass).
    std::string Raw(const std::string& bytes)
    {
        net::io_context io;
        tcp::socket socket(io);
        socket.connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), port_));
        net::write(socket, net::buffer(bytes));
        std::string answer;
        char chunk[4096];
        std::function<void(beast::error_code, std::size_t)> onRead = [&](beast::error_code error, std::size_t n) {
            answer.append(chunk, n);
            if (!error)
                socket.async_read_some(net::buffer(chunk), onRead);
        };
        socket.async_read_some(net::buffer(chunk), onRead);
        io.run_for(std::chrono::seconds(5));
        return answer;
    }

    /// A GET with `host` as its Host header; the connection closes after it.
    std::string Get(const std::string& target, const std::string& host = std::string())
    {
        return Raw("GET " + target + " HTTP/1.1\r\nHost: " + (host.empty() ? host_ : host) +
                   "\r\nConnection: close\r\n\r\n");
    }

    /// A data stream's handshake with this Origin (none when empty); the answer's status.
    int Upgrade(const std::string& target, const std::string& origin)
    {
        return Status(Raw("GET " + target + " HTTP/1.1\r\nHost: " + host_ +
                          "\r\nConnection: Upgrade\r\nUpgrade: websocket\r\nSec-WebSocket-Version: 13\r\n"
                          "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n" +
                          (origin.empty() ? std::string() : "Origin: " + origin + "\r\n") + "\r\n"));
    }

    static int Status(const std::string& answer)
    {
        if (answer.compare(0, 9, "HTTP/1.1 ") != 0)
            return 0;
        return std::stoi(answer.substr(9, 3));
    }

    /// Log lines that contain `text`.
    std::size_t Logged(const std::string& text)
    {
        std::lock_guard<std::mutex> lock(logMutex_);
        std::size_t count = 0;
        for (const std::string& line : log_)
            count += line.find(text) != std::string::npos;
        return count;
    }

    Decimator decimator_;
    Hub hub_;
    std::unique_ptr<LiveServer> server_;
    unsigned short port_ = 0;
    std::string host_;
    std::mutex logMutex_;
    std::vector<std::string> log_;
};

/// A browser's data stream, opened with the handshake's Origin.
class Stream
{
public:
    /// Opens it; `status` gets the HTTP status of the answer (101 when open).
    /// `receiveBuffer`: the socket's receive buffer, bytes (0: the system's).
    Stream(unsigned short port, const std::string& target, const std::string& origin, int& status,
           int receiveBuffer = 0)
        : ws_(io_)
    {
        tcp::socket& socket = ws_.next_layer();
        socket.open(tcp::v4());
        if (receiveBuffer > 0)
            socket.set_option(net::socket_base::receive_buffer_size(receiveBuffer));
        socket.connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), port));
        ws_.set_option(websocket::stream_base::decorator([origin](websocket::request_type& request) {
            if (!origin.empty())
                request.set(beast::http::field::origin, origin);
        }));
        websocket::response_type response;
        beast::error_code error;
        ws_.handshake(response, "127.0.0.1:" + std::to_string(port), target, error);
        status = static_cast<int>(response.result_int());
    }

    /// The next text message; empty on an error.
    std::string Read()
    {
        beast::flat_buffer buffer;
        beast::error_code error;
        ws_.read(buffer, error);
        return error ? std::string() : beast::buffers_to_string(buffer.data());
    }

    /// The next message of `type` ("frame", "reply", ...), skipping others; at most 400.
    std::string ReadType(const std::string& type)
    {
        for (int i = 0; i < 400; ++i) {
            const std::string message = Read();
            if (message.empty() || message.find("{\"type\":\"" + type + "\"") == 0)
                return message;
        }
        return std::string();
    }

    void Write(const std::string& text) { ws_.write(net::buffer(text)); }

    /// Gone without a goodbye, as a closed tab's connection may go.
    void Drop()
    {
        beast::error_code ignored;
        ws_.next_layer().close(ignored);
    }

private:
    net::io_context io_;
    websocket::stream<tcp::socket> ws_;
};

std::uint64_t Sequence(const std::string& message)
{
    const std::size_t at = message.find("\"seq\":");
    return at == std::string::npos ? 0 : std::stoull(message.substr(at + 6));
}

} // namespace

TEST_F(LiveServerTest, Get_ThePagesFiles_ServedWithTheirTypesAndTheTokenInThePage)
{
    const std::string page = Get("/");
    EXPECT_EQ(Status(page), 200) << page.substr(0, 200);
    EXPECT_NE(page.find("Content-Type: text/html; charset=utf-8"), std::string::npos);
    EXPECT_NE(page.find("<meta name=\"zorva-token\" content=\"" + server_->Token() + "\">"), std::string::npos);
    EXPECT_NE(page.find("Content-Security-Policy: default-src 'self'; connect-src 'self' ws://" + host_),
              std::string::npos);
    EXPECT_NE(page.find("X-Frame-Options: DENY"), std::string::npos);
    struct File
    {
        const char* path;
        const char* type;
    };
    for (const File& file : {File{"/live.js", "text/javascript"}, File{"/live.css", "text/css"},
                             File{"/uPlot.iife.min.js", "text/javascript"}, File{"/uPlot.min.css", "text/css"},
                             File{"/favicon.svg", "image/svg+xml"}}) {
        const std::string answer = Get(file.path);
        EXPECT_EQ(Status(answer), 200) << file.path;
        EXPECT_NE(answer.find(std::string("Content-Type: ") + file.type + "; charset=utf-8"), std::string::npos)
            << file.path;
        EXPECT_EQ(answer.find(server_->Token()), std::string::npos) << file.path << " must not carry the token";
    }
    const std::string head = Raw("HEAD / HTTP/1.1\r\nHost: " + host_ + "\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(Status(head), 200);
    EXPECT_EQ(head.find("<html"), std::string::npos);
    EXPECT_EQ(Logged("refused"), 0u);
}

TEST_F(LiveServerTest, Get_AnythingOutsideThePage_NotFoundAndLogged)
{
    const char* const targets[] = {
        "/../../etc/passwd",
        "/%2e%2e/%2e%2e/etc/passwd",
        "/..%2f..%2fetc%2fpasswd",
        "/live.js/../../../../etc/passwd",
        "//etc/passwd",
        "/C:/Windows/win.ini",
        "/..\\..\\Windows\\win.ini",
        "/index.html",
        "/LIVE.JS",
        "/live.js%00.html",
        "/node_modules/uplot/package.json",
        "/devhost/live/Server.cpp",
        "/stream",
        "http://127.0.0.1/etc/passwd",
        "*",
    };
    for (const char* target : targets) {
        const std::string answer = Get(target);
        EXPECT_EQ(Status(answer), 404) << target << ": " << answer.substr(0, 120);
        EXPECT_EQ(answer.find("root:"), std::string::npos) << target;
        EXPECT_EQ(Logged("\"" + std::string(target) + "\""), 1u) << target;
    }
    EXPECT_EQ(Status(Get("/")), 200);
}

TEST_F(LiveServerTest, Get_HostNotThisServer_RefusedWithoutThePage)
{
    // A site whose name was made to resolve to this computer (DNS rebinding) must not get the page's token.
    for (const std::string& host :
         {"evil.example:" + std::to_string(port_), "localhost.evil.example:" + std::to_string(port_),
          std::string("127.0.0.1:1"), std::string("127.0.0.1")}) {
        const std::string answer = Get("/", host);
        EXPECT_EQ(Status(answer), 403) << host;
        EXPECT_EQ(answer.find(server_->Token()), std::string::npos) << host;
    }
    EXPECT_EQ(Logged("is not this server's address (403)"), 4u);
    EXPECT_EQ(Status(Get("/", "localhost:" + std::to_string(port_))), 200);
}

TEST_F(LiveServerTest, Stream_FromAnotherOriginOrWithoutTheToken_RefusedAndNoActionTaken)
{
    const std::string token = server_->Token();
    struct Case
    {
        std::string target;
        std::string origin;
        const char* logged;
    };
    const Case cases[] = {
        {"/stream?token=" + token, "http://evil.example", "a page of another origin"},
        {"/stream?token=" + token, "null", "a page of another origin"},
        {"/stream?token=" + token, "https://" + host_, "a page of another origin"},
        {"/stream?token=" + token, "http://" + host_ + ".evil.example", "a page of another origin"},
        {"/stream", "http://" + host_, "without this run's token"},
        {"/stream?token=" + token.substr(1), "http://" + host_, "without this run's token"},
        {"/stream?token=" + token + "0", "", "without this run's token"},
        {"/elsewhere?token=" + token, "http://" + host_, "no data stream there"},
    };
    for (const Case& c : cases) {
        const std::size_t before = Logged(c.logged);
        EXPECT_EQ(Upgrade(c.target, c.origin), c.target.rfind("/elsewhere", 0) == 0 ? 404 : 403)
            << c.target << " from " << c.origin;
        EXPECT_EQ(Logged(c.logged), before + 1) << c.target << " from " << c.origin;
    }
    PendingAction action;
    EXPECT_FALSE(hub_.TakeAction(action));
    // The page's own origin with the token, and a program with the token but no Origin, get the stream.
    for (const std::string& origin : {"http://" + host_, std::string()}) {
        int status = 0;
        Stream stream(port_, "/stream?token=" + token, origin, status);
        EXPECT_EQ(status, 101) << origin;
        EXPECT_EQ(stream.Read().rfind("{\"type\":\"snapshot\"", 0), 0u) << origin;
    }
}

TEST_F(LiveServerTest, Malformed_Requests_HttpErrorLoggedAndTheServerServesOn)
{
    struct Case
    {
        std::string bytes;
        int status;
    };
    const std::string host = "Host: " + host_ + "\r\n";
    const Case cases[] = {
        {"GARBAGE\r\n\r\n", 400},
        {"GET\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\nno colon here\r\n\r\n", 400},
        {std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11) + " a TLS hello\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\n" + host + "X-Big: " + std::string(20000, 'a') + "\r\n\r\n", 431},
        {"POST / HTTP/1.1\r\n" + host + "Content-Length: 100000\r\n\r\n", 413},
        {"POST / HTTP/1.1\r\n" + host + "Transfer-Encoding: chunked\r\n\r\nzz\r\n", 400},
        {"DELETE / HTTP/1.1\r\n" + host + "Connection: close\r\n\r\n", 405},
        {"POST /stream HTTP/1.1\r\n" + host + "Connection: close\r\nContent-Length: 4\r\n\r\nstop", 405},
    };
    for (const Case& c : cases) {
        const std::string answer = Raw(c.bytes);
        EXPECT_EQ(Status(answer), c.status) << c.bytes.substr(0, 60);
    }
    EXPECT_EQ(Logged("a malformed request"), 7u);
    EXPECT_EQ(Logged("the page is only read (405)"), 2u);
    PendingAction action;
    EXPECT_FALSE(hub_.TakeAction(action));
    EXPECT_EQ(Status(Get("/")), 200);
}

// Regression: under Wine the reads that Stop cut short ended with an error
// Asio does not name, and each idle connection was logged as "a malformed
// request" when the session ended.
TEST_F(LiveServerTest, Stop_IdleConnectionsAndOneHalfWayThroughARequest_NothingLogged)
{
    net::io_context io;
    std::vector<std::unique_ptr<tcp::socket>> sockets;
    for (const std::string& sent : {std::string(), "GET / HTTP/1.1\r\nHost: " + host_ + "\r\n"}) {
        sockets.push_back(std::make_unique<tcp::socket>(io));
        sockets.back()->connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), port_));
        if (!sent.empty())
            net::write(*sockets.back(), net::buffer(sent));
    }
    // A browser's keep-alive connection after its page came.
    sockets.push_back(std::make_unique<tcp::socket>(io));
    sockets.back()->connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), port_));
    net::write(*sockets.back(), net::buffer("GET /live.css HTTP/1.1\r\nHost: " + host_ + "\r\n\r\n"));
    std::string head(12, '\0');
    net::read(*sockets.back(), net::buffer(&head[0], head.size()));
    EXPECT_EQ(head, "HTTP/1.1 200");
    server_->Stop();
    std::lock_guard<std::mutex> lock(logMutex_);
    EXPECT_TRUE(log_.empty()) << log_.front();
    EXPECT_EQ(server_->Stats().refused, 0u);
}

TEST_F(LiveServerTest, Action_FromThePage_ReachesTheLoopAndItsReplyComesBack)
{
    int status = 0;
    Stream stream(port_, "/stream?token=" + server_->Token(), "http://" + host_, status);
    ASSERT_EQ(status, 101);
    stream.Write("request=7&action=blink&target=P1");
    PendingAction pending;
    ASSERT_TRUE(zorvatest::WaitUntil([&] { return hub_.TakeAction(pending); }));
    EXPECT_EQ(pending.request, 7);
    EXPECT_EQ(pending.action.kind, ActionKind::Blink);
    EXPECT_EQ(pending.action.target, "P1");
    hub_.Reply(ActionReply{pending.client, pending.request, true, "done"});
    EXPECT_EQ(stream.ReadType("reply"), "{\"type\":\"reply\",\"request\":7,\"ok\":true,\"text\":\"done\"}");
    // What the loop cannot take is answered at once, and logged.
    stream.Write("request=8&action=format-disk");
    EXPECT_EQ(stream.ReadType("reply"),
              "{\"type\":\"reply\",\"request\":8,\"ok\":false,\"text\":\"unknown action \\\"format-disk\\\"\"}");
    EXPECT_EQ(Logged("refused an action"), 1u);
    EXPECT_FALSE(hub_.TakeAction(pending));
}

TEST_F(LiveServerTest, Streams_TwoBrowsersOneGoesAway_TheOtherReadsOn)
{
    const std::string target = "/stream?token=" + server_->Token();
    int status = 0;
    Stream first(port_, target, "http://" + host_, status);
    ASSERT_EQ(status, 101);
    Stream second(port_, target, "http://" + host_, status);
    ASSERT_EQ(status, 101);
    ASSERT_FALSE(first.ReadType("frame").empty());
    ASSERT_FALSE(second.ReadType("frame").empty());
    ASSERT_TRUE(zorvatest::WaitUntil([&] { return server_->Stats().streams == 2; }));
    second.Drop();
    ASSERT_TRUE(zorvatest::WaitUntil([&] { return server_->Stats().streams == 1; }));
    std::uint64_t last = Sequence(first.ReadType("frame"));
    for (int i = 0; i < 10; ++i) {
        const std::uint64_t next = Sequence(first.ReadType("frame"));
        EXPECT_EQ(next, last + 1);
        last = next;
    }
}

TEST_F(LiveServerTest, Stream_ABrowserThatDoesNotRead_DropsFramesThenCatchesUpWithASnapshot)
{
    server_.reset();
    ServerSettings settings;
    settings.framePeriod = std::chrono::milliseconds(5);
    settings.queueFrames = 2;
    Start(settings);
    int status = 0;
    Stream slow(port_, "/stream?token=" + server_->Token(), "http://" + host_, status, 4096);
    ASSERT_EQ(status, 101);
    // Large frames: long log lines, while the browser reads nothing. The
    // loop's side never waits for it.
    const std::vector<LiveLine> lines(20, LiveLine{LineSource::Plugin, 1, std::string(1000, 'x')});
    ASSERT_TRUE(zorvatest::WaitUntil([&] {
        hub_.PublishLines(lines);
        return server_->Stats().framesDropped > 0;
    }));
    // Reading again, it is told how many it missed and gets everything anew.
    const std::string dropped = slow.ReadType("dropped");
    ASSERT_FALSE(dropped.empty());
    EXPECT_NE(dropped.find("\"count\":"), std::string::npos);
    const std::string snapshot = slow.Read();
    EXPECT_EQ(snapshot.rfind("{\"type\":\"snapshot\"", 0), 0u) << snapshot.substr(0, 80);
    const std::uint64_t after = Sequence(slow.ReadType("frame"));
    EXPECT_EQ(after, Sequence(snapshot) + 1);
}

TEST(LiveServer, Start_PortInUse_FailsWithTheReason)
{
    Decimator decimator;
    Hub hub;
    LiveServer first(
        ServerSettings(), hub, decimator, [] { return 0.0; }, nullptr);
    std::string error;
    ASSERT_TRUE(first.Start(error)) << error;
    ServerSettings same;
    same.port = first.Port();
    LiveServer second(
        same, hub, decimator, [] { return 0.0; }, nullptr);
    EXPECT_FALSE(second.Start(error));
    EXPECT_NE(error.find("cannot listen on 127.0.0.1 port " + std::to_string(first.Port())), std::string::npos)
        << error;
    ServerSettings named;
    named.address = "localhost";
    LiveServer third(
        named, hub, decimator, [] { return 0.0; }, nullptr);
    EXPECT_FALSE(third.Start(error));
    EXPECT_NE(error.find("not a numeric address"), std::string::npos) << error;
}
