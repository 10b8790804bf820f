#include "devhost/live/Requests.h"

#include "devhost/engine/Text.h"
#include "devhost/live/Json.h"

#include <boost/asio/ip/address.hpp>

#include <algorithm>
#include <cstdio>
#include <random>

namespace zorvahost {
namespace live {

bool HostAllowed(const std::string& host, unsigned short port)
{
    const std::size_t colon = host.rfind(':');
    if (colon == std::string::npos || colon == 0)
        return false;
    if (host.substr(colon + 1) != std::to_string(port))
        return false;
    std::string name = host.substr(0, colon);
    if (name == "localhost")
        return true;
    if (name.front() == '[') {
        if (name.size() < 3 || name.back() != ']')
            return false;
        name = name.substr(1, name.size() - 2);
        boost::system::error_code error;
        const boost::asio::ip::address address = boost::asio::ip::make_address(name, error);
        return !error && address.is_v6();
    }
    boost::system::error_code error;
    const boost::asio::ip::address address = boost::asio::ip::make_address(name, error);
    // Only the dotted form: "2130706433" would be a name to a browser.
    return !error && address.is_v4() && address.to_string() == name;
}

bool OriginAllowed(const std::string& origin, const std::string& host)
{
    return origin.empty() || origin == "http://" + host;
}

bool TokenMatches(const std::string& given, const std::string& token)
{
    if (given.size() != token.size() || token.empty())
        return false;
    unsigned char difference = 0;
    for (std::size_t i = 0; i < token.size(); ++i)
        difference |= static_cast<unsigned char>(given[i] ^ token[i]);
    return difference == 0;
}

std::string NewToken()
{
    std::random_device random;
    std::string token;
    for (int i = 0; i < 4; ++i) {
        char part[9];
        std::snprintf(part, sizeof part, "%08x", static_cast<unsigned int>(random()));
        token += part;
    }
    return token;
}

void SplitTarget(const std::string& target, std::string& path, std::string& query)
{
    const std::size_t mark = target.find('?');
    path = target.substr(0, mark);
    query = mark == std::string::npos ? std::string() : target.substr(mark + 1);
}

std::string FormField(const std::string& form, const std::string& name)
{
    std::size_t from = 0;
    while (from <= form.size()) {
        const std::size_t end = std::min(form.find('&', from), form.size());
        const std::string pair = form.substr(from, end - from);
        const std::size_t equals = pair.find('=');
        if (equals != std::string::npos && pair.compare(0, equals, name) == 0 && equals == name.size()) {
            std::string value;
            return FormDecode(pair.substr(equals + 1), value) ? value : std::string();
        }
        from = end + 1;
    }
    return std::string();
}

bool ParseAction(const std::string& message, int& request, LiveAction& action, std::string& error)
{
    ParseInteger(FormField(message, "request"), request);
    const std::string word = FormField(message, "action");
    struct Kind
    {
        const char* word;
        ActionKind kind;
        bool target, value, number, point;
    };
    static const Kind kinds[] = {
        {"zero", ActionKind::Zero, false, false, false, false},
        {"blink", ActionKind::Blink, true, false, false, false},
        {"rescan", ActionKind::Rescan, false, false, false, false},
        {"rate", ActionKind::Rate, false, true, false, false},
        {"mode", ActionKind::Mode, false, true, false, false},
        {"threshold", ActionKind::Threshold, false, false, true, false},
        {"weight", ActionKind::PlaceWeight, true, false, true, true},
        {"unplug", ActionKind::Unplug, true, false, false, false},
        {"plug", ActionKind::Plug, true, false, false, false},
        {"stop", ActionKind::Stop, false, false, false, false},
    };
    for (const Kind& kind : kinds) {
        if (word != kind.word)
            continue;
        action = LiveAction();
        action.kind = kind.kind;
        if (kind.target) {
            action.target = FormField(message, "target");
            if (action.target.empty()) {
                error = word + " needs a target";
                return false;
            }
        }
        if (kind.value) {
            action.value = FormField(message, "value");
            if (action.value.empty()) {
                error = word + " needs a value";
                return false;
            }
        }
        if (kind.number && !ParseNumber(FormField(message, "number"), NumberForm{true, false}, action.number)) {
            error = word + " needs a number (plain decimal, not negative)";
            return false;
        }
        if (kind.point && (!ParseNumber(FormField(message, "x"), NumberForm{true, true}, action.x) ||
                           !ParseNumber(FormField(message, "y"), NumberForm{true, true}, action.y))) {
            error = word + " needs x and y in metres";
            return false;
        }
        return true;
    }
    error = "unknown action \"" + word + "\"";
    return false;
}

} // namespace live
} // namespace zorvahost
