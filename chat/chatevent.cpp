#include "chatevent.h"

#include "linebuffer.h"
#include "texts.h"

TChatEvent TChatEvent::ChatLine(std::string_view field, bool own)
{
    TChatEvent e{TKind::Line, field};
    e.NickLen = ChatFieldNickLength(field);
    e.Own = own;
    return e;
}

TChatEvent TChatEvent::OwnLine(std::string_view nick, std::string_view said)
{
    TChatEvent e{TKind::Line, nick};
    // Never a null view, even for nothing typed: it marks the own line.
    e.OwnSaid = said.data() ? said : std::string_view("", 0);
    e.NickLen = nick.size();
    e.Own = true;
    return e;
}

std::string_view TChatEvent::Nick() const
{
    if (Kind != TKind::Line)
        return Text;
    return NickLen == std::string_view::npos ? std::string_view() : Text.substr(0, NickLen);
}

std::string_view TChatEvent::Said() const
{
    if (Kind != TKind::Line)
        return Text;
    if (OwnSaid.data())
        return OwnSaid;
    std::string_view said = NickLen == std::string_view::npos ? Text : Text.substr(NickLen + 2);
    if (!said.empty() && said.back() == '\r')
        said.remove_suffix(1);
    return said;
}

const std::string& TextAfterNick(TChatEvent::TKind kind)
{
    static const std::string none;
    switch (kind) {
    case TChatEvent::TKind::Arrival: return txt::kArrived;
    case TChatEvent::TKind::SeatLeft: return txt::kHubLeft;
    case TChatEvent::TKind::PeerLeft: return txt::kPeerLeft;
    default: return none;
    }
}

bool BeginsWithEmptyLine(TChatEvent::TKind kind)
{
    return kind == TChatEvent::TKind::Arrival || kind == TChatEvent::TKind::PeerLeft;
}

std::string EventText(const TChatEvent& e)
{
    using K = TChatEvent::TKind;
    if (e.Kind == K::Line && e.OwnSaid.data())
        return std::string(e.Text) + "> " + std::string(e.OwnSaid);
    if (e.Kind == K::Line || e.Kind == K::Note)
        return std::string(e.Text);
    return (BeginsWithEmptyLine(e.Kind) ? "\r\n" : "") + std::string(e.Text) + TextAfterNick(e.Kind);
}
