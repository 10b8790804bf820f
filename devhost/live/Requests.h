/// The server's judgement of a request, apart from the sockets: which host
/// names it answers to, which origins may open the data stream, the run's
/// token, and the page's actions as it sends them.
///
/// Why the host name is checked: a web page of another site whose name is
/// made to resolve to this computer (DNS rebinding) would otherwise be the
/// page's own origin. Only "localhost" and numeric addresses are answered,
/// which no other site can take.
#pragma once

#include "devhost/live/LiveSource.h"

#include <string>

namespace zorvahost {
namespace live {

/// The Host header names this server: "localhost" or a numeric address
/// (IPv6 in brackets), with the server's port.
bool HostAllowed(const std::string& host, unsigned short port);

/// An Origin header a stream is accepted from: none (a program, not a
/// browser) or exactly the page's own, "http://" and the (allowed) Host.
bool OriginAllowed(const std::string& origin, const std::string& host);

/// Compares in a time that does not depend on where they differ.
bool TokenMatches(const std::string& given, const std::string& token);

/// 32 hexadecimal digits from the system's random source.
std::string NewToken();

/// The path and the query of a request target ("/stream?token=..").
void SplitTarget(const std::string& target, std::string& path, std::string& query);
/// A form-encoded field of a query or a message; empty when absent or badly encoded.
std::string FormField(const std::string& form, const std::string& name);

/// A page's action message: "request=N&action=WORD" and the action's fields
/// (target=, value=, number=, x=, y=), form-encoded. False with `error`
/// saying what is wrong; `request` is set whenever the message gives it.
bool ParseAction(const std::string& message, int& request, LiveAction& action, std::string& error);

} // namespace live
} // namespace zorvahost
