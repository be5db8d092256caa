#pragma once
// What the chat tells the screen has happened, and the one function that
// turns it into the text of the conversation pane and the saved log.
//
// The chat core hands the view a TChatEvent: a chat line, somebody's arrival
// or departure, or a note of the program's own. The view decides what to do
// with each kind (show it, notify the user, write it to standard output);
// only EventText and ForEachDisplayLine below know how each kind reads in
// the pane. All texts are CP932 bytes; the views of an event point into the
// chat core's buffers and are valid only during the call that hands it on.

#include <string>
#include <string_view>

struct TChatEvent {
    enum class TKind {
        Line,     // a chat line: "nick> text", relayed, received or one's own
        Arrival,  // somebody joined the group (hub or peer side)
        SeatLeft, // a hub saw one of its seats leave
        PeerLeft, // a peer was told by its hub that somebody left
        Note,     // the program's own note (looking for, disconnected, ...)
    };

    TKind Kind = TKind::Note;
    // Line: the chat line's field as on the wire, CR included, without the
    // kind byte and LF; this user's own line (OwnLine): the nick.
    // Arrival, SeatLeft, PeerLeft: the nick. Note: the text.
    std::string_view Text;
    // This user's own line: what was typed (the line is Text "> " OwnSaid).
    std::string_view OwnSaid = {};
    // Line: the length of the nick before "> " in Text; npos when the field
    // has no "> " (a peer that does not follow the grammar).
    size_t NickLen = std::string_view::npos;
    // Arrival on a hub: the address the member called from.
    std::string_view From = {};
    // Line: typed by this instance's own user. Arrival: one of those already
    // in the group, told to this instance as it joins (its own join).
    bool Own = false;

    static TChatEvent ChatLine(std::string_view field, bool own = false);
    // The line this user just sent, from the nick and text it was built of.
    static TChatEvent OwnLine(std::string_view nick, std::string_view said);
    static TChatEvent Arrival(std::string_view nick) { return {TKind::Arrival, nick}; }
    static TChatEvent SeatLeft(std::string_view nick) { return {TKind::SeatLeft, nick}; }
    static TChatEvent PeerLeft(std::string_view nick) { return {TKind::PeerLeft, nick}; }
    static TChatEvent Note(std::string_view text) { return {TKind::Note, text}; }

    // Line: the sender's nick (empty when the field names nobody) and what
    // was said, without the CR that ends a line on the wire.
    std::string_view Nick() const;
    std::string_view Said() const;
};

// The event as the pane and the log read it: display lines joined by CR LF,
// a chat line's own CR kept (the pane does not show it).
std::string EventText(const TChatEvent& event);

// Arrivals and departures read as the nick followed by a fixed text of the
// program's (which may hold line breaks); some begin with an empty line.
const std::string& TextAfterNick(TChatEvent::TKind kind);
bool BeginsWithEmptyLine(TChatEvent::TKind kind);

// Each line of text, split at CR LF, without a line's last CR.
template <class F>
void ForEachLineOf(std::string_view text, F&& onLine)
{
    for (size_t start = 0;;) {
        const size_t end = text.find("\r\n", start);
        std::string_view line =
            text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        onLine(line);
        if (end == std::string_view::npos)
            break;
        start = end + 2;
    }
}

// Each display line of the event, in order, as the pane shows it and the
// log writes it (without line ends): onLine(std::string_view).
template <class F>
void ForEachDisplayLine(const TChatEvent& event, F&& onLine)
{
    using K = TChatEvent::TKind;
    if (event.Kind == K::Line && event.OwnSaid.data()) {
        onLine(std::string_view(EventText(event))); // typed text holds no line end
        return;
    }
    if (event.Kind == K::Line) {
        // A chat line's field holds no LF, so it is one display line; the
        // CR before the wire's LF is not shown.
        std::string_view line = event.Text;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        onLine(line);
        return;
    }
    if (event.Kind == K::Note) {
        ForEachLineOf(event.Text, onLine);
        return;
    }
    if (BeginsWithEmptyLine(event.Kind))
        onLine(std::string_view());
    ForEachLineOf(std::string(event.Text) + TextAfterNick(event.Kind), onLine);
}
