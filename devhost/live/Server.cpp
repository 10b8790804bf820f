#include "devhost/live/Server.h"

#include "devhost/live/ClientQueue.h"
#include "devhost/live/Frames.h"
#include "devhost/live/Json.h"
#include "platform/Network.h"
#include "devhost/live/PageFiles.h"
#include "devhost/live/Requests.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

#include <algorithm>
#include <exception>
#include <map>
#include <optional>
#include <thread>

namespace zorvahost {
namespace live {

namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
namespace net = boost::asio;
using tcp = net::ip::tcp;

namespace {

/// The index page's stand-in for the run's token.
const char kTokenMark[] = "__ZORVA_LIVE_TOKEN__";
/// A request's head and body may be no larger: the page sends none bigger.
const std::size_t kHeaderLimit = 8 * 1024;
const std::size_t kBodyLimit = 8 * 1024;
/// An action message may be no larger.
const std::size_t kMessageLimit = 4 * 1024;
/// A connection that sends no request for this long is closed.
const std::chrono::seconds kIdle(30);

std::string Peer(const tcp::socket& socket)
{
    beast::error_code error;
    const tcp::endpoint endpoint = socket.remote_endpoint(error);
    if (error)
        return "a closed connection";
    return endpoint.address().to_string() + ":" + std::to_string(endpoint.port());
}

/// Printable, short: a request's target as the log line quotes it.
std::string Quoted(beast::string_view text)
{
    std::string out;
    for (char c : text.substr(0, 200)) {
        const unsigned char u = static_cast<unsigned char>(c);
        out += u < 0x20 || u >= 0x7F ? '?' : c;
    }
    return "\"" + out + (text.size() > 200 ? "...\"" : "\"");
}

} // namespace

double ServerStats::LatencyQuantile(double share) const
{
    if (latencyCount == 0)
        return 0.0;
    const double wanted = share * static_cast<double>(latencyCount);
    std::uint64_t seen = 0;
    for (std::size_t ms = 0; ms < sizeof latencyMs / sizeof latencyMs[0]; ++ms) {
        seen += latencyMs[ms];
        if (static_cast<double>(seen) >= wanted)
            return (ms + 1) / 1000.0;
    }
    return latencyMax;
}

class HttpSession;
class StreamSession;

class LiveServer::Impl : public std::enable_shared_from_this<LiveServer::Impl>
{
public:
    Impl(ServerSettings settings, Hub& hub, Decimator& decimator, std::function<double()> clock,
         std::function<void(const std::string&)> log)
        : settings_(std::move(settings)),
          hub_(hub),
          clock_(clock),
          log_(std::move(log)),
          frames_(decimator, hub, clock),
          acceptor_(io_),
          timer_(io_)
    {}

    bool Start(std::string& error);
    void Stop();

    // The server's thread.
    void Log(const std::string& text)
    {
        if (log_)
            log_("live: " + text);
    }
    void Refused(const std::string& text)
    {
        {
            ZORVA::ScopedLock<StatsMutex> lock(statsMutex_);
            ++stats_.refused;
        }
        Log(text);
    }
    /// A request that reached its end: what to answer. Null: it became a stream.
    void Handle(const std::shared_ptr<HttpSession>& session, http::request<http::string_body>&& request);
    void OnAction(std::uint64_t client, const std::string& message);
    void AddConnection(std::uint64_t id, const std::shared_ptr<HttpSession>& session) { connections_[id] = session; }
    void RemoveConnection(std::uint64_t id) { connections_.erase(id); }
    void RemoveStream(std::uint64_t id);
    void CountSent()
    {
        ZORVA::ScopedLock<StatsMutex> lock(statsMutex_);
        ++stats_.messagesSent;
    }
    FrameBuilder& Frames() { return frames_; }
    std::uint64_t NextId() { return nextId_++; }
    std::size_t QueueFrames() const { return settings_.queueFrames; }

    unsigned short port_ = 0;
    std::string url_;
    std::string token_;
    mutable ZORVA::AnnotatedMutex<std::mutex> statsMutex_;
    typedef ZORVA::AnnotatedMutex<std::mutex> StatsMutex;
    ServerStats stats_ ZORVA_GUARDED_BY(statsMutex_);

private:
    void Accept();
    void Tick();
    void CloseAll();

    ServerSettings settings_;
    Hub& hub_;
    std::function<double()> clock_;
    std::function<void(const std::string&)> log_;
    FrameBuilder frames_;
    net::io_context io_;
    tcp::acceptor acceptor_;
    net::steady_timer timer_;
    std::thread thread_;
    std::string index_; ///< the page with the run's token
    bool stopping_ = false;
    std::uint64_t nextId_ = 1;
    std::map<std::uint64_t, std::weak_ptr<HttpSession>> connections_;
    std::map<std::uint64_t, std::weak_ptr<StreamSession>> streams_;
    std::vector<ActionReply> replies_; ///< reused
};

// ---------------------------------------------------------------- a browser's stream

class StreamSession : public std::enable_shared_from_this<StreamSession>
{
public:
    StreamSession(beast::tcp_stream&& stream, std::shared_ptr<LiveServer::Impl> server, std::uint64_t id,
                  std::string peer)
        : ws_(std::move(stream)),
          server_(std::move(server)),
          id_(id),
          peer_(std::move(peer)),
          queue_(server_->QueueFrames())
    {}

    void Accept(http::request<http::string_body>&& request)
    {
        request_ = std::move(request);
        beast::get_lowest_layer(ws_).expires_never();
        ws_.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
        ws_.set_option(websocket::stream_base::decorator(
            [](websocket::response_type& response) { response.set(http::field::server, "zorva-devhost"); }));
        ws_.read_message_max(kMessageLimit);
        ws_.async_accept(request_, beast::bind_front_handler(&StreamSession::OnAccept, shared_from_this()));
    }

    std::uint64_t Id() const { return id_; }
    bool Open() const { return open_; }

    /// A frame for this browser; a snapshot in its place once it missed some.
    void OfferFrame(const Message& frame, Message& snapshot)
    {
        if (!open_)
            return;
        if (queue_.WantsSnapshot()) {
            if (!snapshot)
                snapshot = server_->Frames().Snapshot();
            queue_.Force(DroppedMessage());
            queue_.SnapshotQueued(snapshot);
        } else if (!queue_.Offer(frame)) {
            ZORVA::ScopedLock<LiveServer::Impl::StatsMutex> lock(server_->statsMutex_);
            ++server_->stats_.framesDropped;
        }
        WriteNext();
    }

    /// A message this browser must get (a reply).
    void Send(const Message& message)
    {
        if (!open_)
            return;
        queue_.Force(message);
        WriteNext();
    }

    void Close()
    {
        beast::error_code ignored;
        beast::get_lowest_layer(ws_).socket().shutdown(tcp::socket::shutdown_both, ignored);
        beast::get_lowest_layer(ws_).close();
    }

private:
    Message DroppedMessage() const
    {
        return std::make_shared<const std::string>(
            "{\"type\":\"dropped\",\"count\":" + std::to_string(queue_.Dropped()) + "}");
    }

    void OnAccept(beast::error_code error)
    {
        if (error) {
            server_->Refused("a data stream from " + peer_ + " failed to open: " + error.message());
            Ended();
            return;
        }
        open_ = true;
        // A page starts from everything as of the last frame.
        queue_.SnapshotQueued(server_->Frames().Snapshot());
        WriteNext();
        Read();
    }

    void Read() { ws_.async_read(readBuffer_, beast::bind_front_handler(&StreamSession::OnRead, shared_from_this())); }

    void OnRead(beast::error_code error, std::size_t)
    {
        if (error) {
            if (error == websocket::error::message_too_big)
                server_->Refused("a message from " + peer_ + " was too large: its stream is closed");
            Ended();
            return;
        }
        if (!ws_.got_text()) {
            server_->Refused("a binary message from " + peer_ + ": its stream is closed");
            Close();
            Ended();
            return;
        }
        const std::string message = beast::buffers_to_string(readBuffer_.data());
        readBuffer_.consume(readBuffer_.size());
        server_->OnAction(id_, message);
        Read();
    }

    void WriteNext()
    {
        if (writing_ || !open_ || queue_.Empty())
            return;
        writing_ = true;
        ws_.text(true);
        ws_.async_write(net::buffer(*queue_.Front()),
                        beast::bind_front_handler(&StreamSession::OnWrite, shared_from_this()));
    }

    void OnWrite(beast::error_code error, std::size_t)
    {
        writing_ = false;
        if (error) {
            Ended();
            return;
        }
        queue_.Pop();
        server_->CountSent();
        WriteNext();
    }

    void Ended()
    {
        open_ = false;
        if (ended_)
            return;
        ended_ = true;
        server_->RemoveStream(id_);
    }

    websocket::stream<beast::tcp_stream> ws_;
    std::shared_ptr<LiveServer::Impl> server_;
    std::uint64_t id_;
    std::string peer_;
    http::request<http::string_body> request_;
    beast::flat_buffer readBuffer_;
    ClientQueue queue_;
    bool open_ = false;
    bool writing_ = false;
    bool ended_ = false;
};

// ---------------------------------------------------------------- a plain connection

class HttpSession : public std::enable_shared_from_this<HttpSession>
{
public:
    HttpSession(tcp::socket&& socket, std::shared_ptr<LiveServer::Impl> server, std::uint64_t id)
        : peer_(Peer(socket)), stream_(std::move(socket)), server_(std::move(server)), id_(id)
    {}
    ~HttpSession() { server_->RemoveConnection(id_); }

    void Start()
    {
        server_->AddConnection(id_, shared_from_this());
        Read();
    }

    void Close()
    {
        beast::error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
        stream_.close();
    }

    const std::string& PeerName() const { return peer_; }

    /// Answers the request; closes the connection after it unless `keepAlive`.
    void Respond(http::status status, unsigned int version, const std::string& type, std::string body, bool keepAlive,
                 bool headOnly = false, const std::string& host = std::string())
    {
        auto response = std::make_shared<http::response<http::string_body>>(status, version);
        response->set(http::field::server, "zorva-devhost");
        response->set(http::field::content_type, type);
        response->set(http::field::cache_control, "no-store");
        response->set("X-Content-Type-Options", "nosniff");
        response->set("X-Frame-Options", "DENY");
        response->set("Referrer-Policy", "no-referrer");
        response->set("Cross-Origin-Resource-Policy", "same-origin");
        if (!host.empty())
            response->set("Content-Security-Policy", "default-src 'self'; connect-src 'self' ws://" + host +
                                                         "; img-src 'self' data:; style-src 'self' 'unsafe-inline'; "
                                                         "frame-ancestors 'none'; base-uri 'none'; form-action 'none'");
        if (status == http::status::method_not_allowed)
            response->set(http::field::allow, "GET, HEAD");
        const std::size_t length = body.size();
        response->body() = headOnly ? std::string() : std::move(body);
        response->keep_alive(keepAlive);
        if (headOnly)
            response->content_length(length);
        else
            response->prepare_payload();
        stream_.expires_after(kIdle);
        http::async_write(stream_, *response,
                          [self = shared_from_this(), response, keepAlive](beast::error_code error, std::size_t) {
                              if (error || !keepAlive) {
                                  self->Close();
                                  return;
                              }
                              self->Read();
                          });
    }

    /// The connection becomes a browser's data stream.
    std::shared_ptr<StreamSession> Upgrade(std::uint64_t id)
    {
        return std::make_shared<StreamSession>(std::move(stream_), server_, id, peer_);
    }

private:
    void Read()
    {
        parser_.emplace();
        parser_->header_limit(kHeaderLimit);
        parser_->body_limit(kBodyLimit);
        stream_.expires_after(kIdle);
        http::async_read(stream_, buffer_, *parser_,
                         beast::bind_front_handler(&HttpSession::OnRead, shared_from_this()));
    }

    void OnRead(beast::error_code error, std::size_t)
    {
        // The connection ended between requests, timed out, or failed: nothing
        // to answer. Only the parser's errors are a request's fault (a
        // connection Stop closes ends with an error Asio does not name under Wine).
        if (error == http::error::end_of_stream ||
            (error && error.category() != http::make_error_code(http::error::end_of_stream).category())) {
            Close();
            return;
        }
        if (error) {
            http::status status = http::status::bad_request;
            if (error == http::error::header_limit)
                status = http::status::request_header_fields_too_large;
            else if (error == http::error::body_limit)
                status = http::status::payload_too_large;
            server_->Refused("a malformed request from " + peer_ + ": " + error.message() + " (" +
                             std::to_string(static_cast<int>(status)) + ")");
            Respond(status, 11, "text/plain; charset=utf-8", "Bad request: " + error.message() + "\n", false);
            return;
        }
        server_->Handle(shared_from_this(), parser_->release());
    }

    std::string peer_;
    beast::tcp_stream stream_;
    std::shared_ptr<LiveServer::Impl> server_;
    std::uint64_t id_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
};

// ---------------------------------------------------------------- the server

bool LiveServer::Impl::Start(std::string& error)
{
    beast::error_code failure;
    const net::ip::address address = net::ip::make_address(settings_.address, failure);
    if (failure) {
        error = "\"" + settings_.address + "\" is not a numeric address (for example 127.0.0.1 or 0.0.0.0)";
        return false;
    }
    const tcp::endpoint endpoint(address, settings_.port);
    acceptor_.open(endpoint.protocol(), failure);
    if (!failure && zorvaplatform::ReuseAddressOnListen())
        acceptor_.set_option(net::socket_base::reuse_address(true), failure);
    if (!failure)
        acceptor_.bind(endpoint, failure);
    if (!failure)
        acceptor_.listen(net::socket_base::max_listen_connections, failure);
    if (failure) {
        error = "cannot listen on " + settings_.address + " port " + std::to_string(settings_.port) + ": " +
                failure.message();
        return false;
    }
    port_ = acceptor_.local_endpoint().port();
    // Any address of this computer: the page is at its loopback one too.
    url_ = "http://" +
           (address.is_unspecified() ? std::string(address.is_v6() ? "[::1]" : "127.0.0.1")
            : address.is_v6()        ? "[" + address.to_string() + "]"
                                     : address.to_string()) +
           ":" + std::to_string(port_) + "/";
    token_ = NewToken();
    std::size_t count = 0;
    const PageFile* files = PageFiles(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (std::string(files[i].path) == "/")
            index_.assign(reinterpret_cast<const char*>(files[i].data), files[i].size);
    }
    const std::size_t mark = index_.find(kTokenMark);
    if (mark != std::string::npos)
        index_.replace(mark, sizeof kTokenMark - 1, token_);
    Accept();
    Tick();
    thread_ = std::thread([this] {
        for (;;) {
            try {
                io_.run();
                return;
            } catch (const std::exception& failure) {
                Log(std::string("server error: ") + failure.what());
            }
        }
    });
    return true;
}

void LiveServer::Impl::Stop()
{
    if (!thread_.joinable())
        return;
    net::post(io_, [self = shared_from_this()] { self->CloseAll(); });
    thread_.join();
}

void LiveServer::Impl::CloseAll()
{
    stopping_ = true;
    beast::error_code ignored;
    acceptor_.close(ignored);
    timer_.cancel();
    for (auto& entry : std::map<std::uint64_t, std::weak_ptr<HttpSession>>(connections_)) {
        if (std::shared_ptr<HttpSession> session = entry.second.lock())
            session->Close();
    }
    for (auto& entry : std::map<std::uint64_t, std::weak_ptr<StreamSession>>(streams_)) {
        if (std::shared_ptr<StreamSession> stream = entry.second.lock())
            stream->Close();
    }
}

void LiveServer::Impl::Accept()
{
    acceptor_.async_accept([self = shared_from_this()](beast::error_code error, tcp::socket socket) {
        if (self->stopping_)
            return;
        if (error) {
            self->Log("accepting a connection failed: " + error.message());
        } else if (self->connections_.size() >= self->settings_.maxConnections) {
            self->Refused("too many connections: " + Peer(socket) + " closed at once");
            beast::error_code ignored;
            socket.close(ignored);
        } else {
            std::make_shared<HttpSession>(std::move(socket), self, self->NextId())->Start();
        }
        self->Accept();
    });
}

void LiveServer::Impl::Handle(const std::shared_ptr<HttpSession>& session, http::request<http::string_body>&& request)
{
    const std::string host(request[http::field::host]);
    const std::string method(request.method_string());
    const std::string what = method + " " + Quoted(request.target()) + " from " + session->PeerName();
    const unsigned int version = request.version();
    const std::string text = "text/plain; charset=utf-8";
    if (!HostAllowed(host, port_)) {
        Refused("refused " + what + ": Host " + Quoted(host) + " is not this server's address (403)");
        session->Respond(http::status::forbidden, version, text,
                         "This server answers only at http://127.0.0.1:" + std::to_string(port_) +
                             "/ (or its numeric address).\n",
                         false);
        return;
    }
    std::string path, query;
    SplitTarget(std::string(request.target()), path, query);
    if (websocket::is_upgrade(request)) {
        const std::string origin(request[http::field::origin]);
        if (path != "/stream") {
            Refused("refused " + what + ": no data stream there (404)");
            session->Respond(http::status::not_found, version, text, "Not found.\n", false);
        } else if (!OriginAllowed(origin, host)) {
            Refused("refused " + what + ": a page of another origin, " + Quoted(origin) + " (403)");
            session->Respond(http::status::forbidden, version, text, "Only the live page may open the stream.\n",
                             false);
        } else if (!TokenMatches(FormField(query, "token"), token_)) {
            Refused("refused " + what + ": without this run's token (403)");
            session->Respond(http::status::forbidden, version, text, "Only the live page may open the stream.\n",
                             false);
        } else if (streams_.size() >= settings_.maxStreams) {
            Refused("refused " + what + ": " + std::to_string(streams_.size()) + " browsers stream already (503)");
            session->Respond(http::status::service_unavailable, version, text, "Too many browsers.\n", false);
        } else {
            const std::uint64_t id = NextId();
            std::shared_ptr<StreamSession> stream = session->Upgrade(id);
            streams_[id] = stream;
            {
                ZORVA::ScopedLock<StatsMutex> lock(statsMutex_);
                stats_.streams = streams_.size();
            }
            stream->Accept(std::move(request));
        }
        return;
    }
    const bool head = request.method() == http::verb::head;
    if (request.method() != http::verb::get && !head) {
        Refused("refused " + what + ": the page is only read (405)");
        session->Respond(http::status::method_not_allowed, version, text, "Only GET and HEAD.\n", false);
        return;
    }
    std::size_t count = 0;
    const PageFile* files = PageFiles(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (path != files[i].path)
            continue;
        std::string body =
            path == "/" ? index_ : std::string(reinterpret_cast<const char*>(files[i].data), files[i].size);
        session->Respond(http::status::ok, version, files[i].type, std::move(body), request.keep_alive(), head,
                         path == "/" ? host : std::string());
        return;
    }
    Refused("refused " + what + ": not a file of the page (404)");
    session->Respond(http::status::not_found, version, text, "Not found.\n", request.keep_alive(), head);
}

void LiveServer::Impl::OnAction(std::uint64_t client, const std::string& message)
{
    int request = 0;
    PendingAction pending;
    std::string error;
    bool ok = ParseAction(message, request, pending.action, error);
    if (ok) {
        pending.client = client;
        pending.request = request;
        ok = hub_.PushAction(pending);
        if (!ok)
            error = "too many actions wait already";
    }
    if (ok)
        return;
    Refused("refused an action from stream " + std::to_string(client) + ": " + error);
    std::string reply = "{\"type\":\"reply\",\"request\":" + std::to_string(request) + ",\"ok\":false,\"text\":";
    AppendJsonString(reply, error);
    reply += "}";
    const auto found = streams_.find(client);
    if (found != streams_.end()) {
        if (std::shared_ptr<StreamSession> stream = found->second.lock())
            stream->Send(std::make_shared<const std::string>(std::move(reply)));
    }
}

void LiveServer::Impl::RemoveStream(std::uint64_t id)
{
    streams_.erase(id);
    ZORVA::ScopedLock<StatsMutex> lock(statsMutex_);
    stats_.streams = streams_.size();
}

void LiveServer::Impl::Tick()
{
    if (stopping_)
        return;
    const Message frame = frames_.Next();
    Message snapshot;
    hub_.TakeReplies(replies_);
    for (const ActionReply& reply : replies_) {
        const auto found = streams_.find(reply.client);
        if (found == streams_.end())
            continue;
        std::shared_ptr<StreamSession> stream = found->second.lock();
        if (!stream)
            continue;
        std::string text = "{\"type\":\"reply\",\"request\":" + std::to_string(reply.request) +
                           ",\"ok\":" + (reply.ok ? "true" : "false") + ",\"text\":";
        AppendJsonString(text, reply.text);
        text += "}";
        stream->Send(std::make_shared<const std::string>(std::move(text)));
    }
    std::size_t offered = 0;
    for (auto& entry : std::map<std::uint64_t, std::weak_ptr<StreamSession>>(streams_)) {
        if (std::shared_ptr<StreamSession> stream = entry.second.lock()) {
            stream->OfferFrame(frame, snapshot);
            ++offered;
        }
    }
    {
        ZORVA::ScopedLock<StatsMutex> lock(statsMutex_);
        ++stats_.frames;
        const double oldest = frames_.OldestBlock();
        if (offered > 0 && oldest >= 0.0) {
            const double latency = std::max(0.0, clock_() - oldest);
            ++stats_.latencyCount;
            stats_.latencySum += latency;
            stats_.latencyMax = std::max(stats_.latencyMax, latency);
            ++stats_.latencyMs[std::min<std::size_t>(static_cast<std::size_t>(latency * 1000.0), 1000)];
        }
    }
    // Steady: the next frame a period after this one was due, not after it was made.
    const auto now = net::steady_timer::clock_type::now();
    auto next = timer_.expiry() + settings_.framePeriod;
    if (next <= now)
        next = now + settings_.framePeriod;
    timer_.expires_at(next);
    timer_.async_wait([self = shared_from_this()](beast::error_code error) {
        if (!error)
            self->Tick();
    });
}

// ---------------------------------------------------------------- the owner's side

LiveServer::LiveServer(ServerSettings settings, Hub& hub, Decimator& decimator, std::function<double()> clock,
                       std::function<void(const std::string&)> log)
    : impl_(std::make_shared<Impl>(std::move(settings), hub, decimator, std::move(clock), std::move(log)))
{}

LiveServer::~LiveServer() { Stop(); }

bool LiveServer::Start(std::string& error) { return impl_->Start(error); }

void LiveServer::Stop() { impl_->Stop(); }

unsigned short LiveServer::Port() const { return impl_->port_; }

std::string LiveServer::Url() const { return impl_->url_; }

const std::string& LiveServer::Token() const { return impl_->token_; }

ServerStats LiveServer::Stats() const
{
    ZORVA::ScopedLock<Impl::StatsMutex> lock(impl_->statsMutex_);
    return impl_->stats_;
}

} // namespace live
} // namespace zorvahost
