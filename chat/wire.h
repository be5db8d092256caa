#pragma once
// The wire's kinds of line and one builder per kind, each with its exact
// ending: the only place a line is put together (the grammar is in
// linebuffer.h). Chat, redirect and full lines end CR LF, the others LF.

#include "texts.h"

#include <string>
#include <string_view>

namespace wire {

constexpr char kName = 'u';        // somebody's nick: an arrival, or the greeting
constexpr char kLeave = 'c';       // somebody left the group
constexpr char kChat = '1';        // a chat line: nick "> " text
constexpr char kRedirect = 's';    // a peer tells a caller where its hub is
constexpr char kNextAddress = 'n'; // the next candidate's address
constexpr char kNextName = 'r';    // the next candidate's nick

inline std::string line(char kind, std::string_view field, std::string_view end)
{
    std::string l;
    l.reserve(field.size() + end.size() + 1);
    l += kind;
    l += field;
    l += end;
    return l;
}

inline std::string NameLine(std::string_view nick)
{
    return line(kName, nick, "\n");
}
inline std::string LeaveLine(std::string_view nick)
{
    return line(kLeave, nick, "\n");
}
inline std::string NextAddressLine(std::string_view addr)
{
    return line(kNextAddress, addr, "\n");
}
inline std::string NextNameLine(std::string_view nick)
{
    return line(kNextName, nick, "\n");
}
inline std::string RedirectLine(std::string_view addr)
{
    return line(kRedirect, addr, "\r\n");
}
// What a full hub says to a caller it cannot seat, as a chat line.
inline std::string FullLine()
{
    return line(kChat, txt::kHubFull, "\r\n");
}

// What a hub that asks for a group word says to a caller that cannot prove
// one (it does not encrypt), as a chat line: it names nobody.
inline std::string WordNeededLine()
{
    return line(kChat, txt::kWordNeededLine, "\r\n");
}

inline std::string ChatLine(std::string_view nick, std::string_view text)
{
    std::string l;
    l.reserve(nick.size() + text.size() + 5);
    l += kChat;
    l += nick;
    l += "> ";
    l += text;
    l += "\r\n";
    return l;
}

} // namespace wire
