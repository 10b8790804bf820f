// The server's judgement of requests apart from the sockets, and the JSON it writes.
#include "devhost/live/Json.h"
#include "devhost/live/Requests.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

using namespace zorvahost::live;

TEST(LiveRequests, HostAllowed_NamesOtherSitesCannotTake_Only)
{
    struct Case
    {
        const char* host;
        bool allowed;
    };
    const Case cases[] = {
        {"127.0.0.1:8317", true},
        {"localhost:8317", true},
        {"[::1]:8317", true},
        {"192.168.1.20:8317", true},  // --listen on the lab's network
        {"127.0.0.1:8318", false},    // another port
        {"127.0.0.1", false},         // no port
        {"evil.example:8317", false}, // a name that may resolve here (DNS rebinding)
        {"localhost.evil.example:8317", false},
        {"2130706433:8317", false}, // 127.0.0.1 as one number: a name to a browser
        {"127.1:8317", false},
        {"[::1:8317", false},
        {"::1:8317", false},
        {"[127.0.0.1]:8317", false},
        {":8317", false},
        {"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HostAllowed(c.host, 8317), c.allowed) << c.host;
}

TEST(LiveRequests, OriginAllowed_OnlyThePagesOwnOrNone)
{
    EXPECT_TRUE(OriginAllowed("", "127.0.0.1:8317"));
    EXPECT_TRUE(OriginAllowed("http://127.0.0.1:8317", "127.0.0.1:8317"));
    EXPECT_FALSE(OriginAllowed("http://evil.example", "127.0.0.1:8317"));
    EXPECT_FALSE(OriginAllowed("null", "127.0.0.1:8317")); // a sandboxed frame or a file
    EXPECT_FALSE(OriginAllowed("https://127.0.0.1:8317", "127.0.0.1:8317"));
    EXPECT_FALSE(OriginAllowed("http://127.0.0.1:8317.evil.example", "127.0.0.1:8317"));
    EXPECT_FALSE(OriginAllowed("http://localhost:8317", "127.0.0.1:8317"));
}

TEST(LiveRequests, TokenMatches_ExactlyTheRunsToken)
{
    const std::string token = NewToken();
    EXPECT_EQ(token.size(), 32u);
    EXPECT_NE(token, NewToken());
    EXPECT_TRUE(TokenMatches(token, token));
    EXPECT_FALSE(TokenMatches(token.substr(0, 31), token));
    EXPECT_FALSE(TokenMatches(token + "0", token));
    EXPECT_FALSE(TokenMatches("", token));
    EXPECT_FALSE(TokenMatches("", ""));
}

TEST(LiveRequests, ParseAction_EachActionAndWhatIsWrong)
{
    struct Case
    {
        const char* message;
        bool ok;
        ActionKind kind;
        const char* target;
        const char* value;
        double number, x, y;
        int request;
        const char* error; ///< a part of the error
    };
    const Case cases[] = {
        {"request=1&action=zero", true, ActionKind::Zero, "", "", 0, 0, 0, 1, ""},
        {"request=2&action=blink&target=ZA100-4471PEN600-10482", true, ActionKind::Blink, "ZA100-4471PEN600-10482", "",
         0, 0, 0, 2, ""},
        {"request=3&action=rate&value=500", true, ActionKind::Rate, "", "500", 0, 0, 0, 3, ""},
        {"request=4&action=mode&value=Software+trigger", true, ActionKind::Mode, "", "Software trigger", 0, 0, 0, 4,
         ""},
        {"request=5&action=threshold&number=12.5", true, ActionKind::Threshold, "", "", 12.5, 0, 0, 5, ""},
        {"request=6&action=weight&target=Left&number=40&x=-0.1&y=0.15", true, ActionKind::PlaceWeight, "Left", "", 40,
         -0.1, 0.15, 6, ""},
        {"action=unplug&target=Right%20unit", true, ActionKind::Unplug, "Right unit", "", 0, 0, 0, 0, ""},
        {"request=8&action=stop", true, ActionKind::Stop, "", "", 0, 0, 0, 8, ""},
        {"request=9&action=format", false, ActionKind::Zero, "", "", 0, 0, 0, 9, "unknown action"},
        {"request=10&action=blink", false, ActionKind::Zero, "", "", 0, 0, 0, 10, "needs a target"},
        {"request=11&action=threshold&number=-3", false, ActionKind::Zero, "", "", 0, 0, 0, 11, "needs a number"},
        {"request=12&action=threshold&number=1e400", false, ActionKind::Zero, "", "", 0, 0, 0, 12, "needs a number"},
        {"request=13&action=weight&target=Left&number=40&x=0.1", false, ActionKind::Zero, "", "", 0, 0, 0, 13,
         "needs x and y"},
        {"request=14&action=rate", false, ActionKind::Zero, "", "", 0, 0, 0, 14, "needs a value"},
        {"request=15&action=blink&target=%zz", false, ActionKind::Zero, "", "", 0, 0, 0, 15, "needs a target"},
        {"", false, ActionKind::Zero, "", "", 0, 0, 0, 0, "unknown action"},
    };
    for (const Case& c : cases) {
        int request = 0;
        LiveAction action;
        std::string error;
        EXPECT_EQ(ParseAction(c.message, request, action, error), c.ok) << c.message << ": " << error;
        EXPECT_EQ(request, c.request) << c.message;
        if (c.ok) {
            EXPECT_EQ(action.kind, c.kind) << c.message;
            EXPECT_EQ(action.target, c.target) << c.message;
            EXPECT_EQ(action.value, c.value) << c.message;
            EXPECT_DOUBLE_EQ(action.number, c.number) << c.message;
            EXPECT_DOUBLE_EQ(action.x, c.x) << c.message;
            EXPECT_DOUBLE_EQ(action.y, c.y) << c.message;
        } else {
            EXPECT_NE(error.find(c.error), std::string::npos) << c.message << ": " << error;
        }
    }
}

TEST(LiveJson, AppendJsonString_AnyBytes_ValidJsonAndUtf8)
{
    struct Case
    {
        std::string text;
        std::string json;
    };
    const Case cases[] = {
        {"plain", "\"plain\""},
        {"a \"quote\" and \\", "\"a \\\"quote\\\" and \\\\\""},
        {"line\nbreak\ttab\x01", "\"line\\nbreak\\u0009tab\\u0001\""},
        {"caf\xc3\xa9", "\"caf\xc3\xa9\""},            // UTF-8 kept
        {"caf\xe9", "\"caf\\u00e9\""},                 // a Windows-1252 byte: its Latin-1 character
        {"\xe2\x82", "\"\\u00e2\\u0082\""},            // a sequence cut short
        {"\xc0\xaf", "\"\\u00c0\\u00af\""},            // an overlong '/'
        {"\xed\xa0\x80", "\"\\u00ed\\u00a0\\u0080\""}, // a surrogate
        {"\xf0\x9f\x98\x80", "\"\xf0\x9f\x98\x80\""},  // four bytes
    };
    for (const Case& c : cases) {
        std::string out;
        AppendJsonString(out, c.text);
        EXPECT_EQ(out, c.json);
    }
    std::string numbers;
    AppendJsonNumber(numbers, std::numeric_limits<double>::infinity());
    numbers += ',';
    AppendJsonNumber(numbers, 700.25);
    numbers += ',';
    AppendJsonNumber(numbers, -0.0012345678);
    EXPECT_EQ(numbers, "null,700.25,-0.001234568");
}
