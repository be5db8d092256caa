// The one formatting of what the chat shows: every kind reads in the pane
// and the log exactly as the chat's texts put it, and a chat line's field is
// split into nick and text only where the wire grammar says.
#include "chatevent.h"
#include "texts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> displayLines(const TChatEvent& e)
{
    std::vector<std::string> lines;
    ForEachDisplayLine(e, [&](std::string_view l) { lines.emplace_back(l); });
    return lines;
}

using Lines = std::vector<std::string>;

} // namespace

TEST(ChatEvent, EveryKindReadsAsThePaneAndLogShowIt)
{
    EXPECT_EQ(EventText(TChatEvent::ChatLine("Ann> hi\r")), "Ann> hi\r");
    EXPECT_EQ(EventText(TChatEvent::Arrival("Bob")), "\r\nBob" + txt::kArrived);
    EXPECT_EQ(EventText(TChatEvent::SeatLeft("Bob")), "Bob" + txt::kHubLeft);
    EXPECT_EQ(EventText(TChatEvent::PeerLeft("Bob")), "\r\nBob" + txt::kPeerLeft);
    EXPECT_EQ(EventText(TChatEvent::Note(txt::kSelfCall)), txt::kSelfCall);

    // Display lines: CR LF ends a line, and a line never shows its own
    // last CR (the one a chat line carries before its LF); other CRs stay.
    const size_t cut = txt::kArrived.find("\r\n");
    EXPECT_EQ(displayLines(TChatEvent::Arrival("Bob")),
              (Lines{"", "Bob" + txt::kArrived.substr(0, cut), txt::kArrived.substr(cut + 2)}));
    EXPECT_EQ(displayLines(TChatEvent::SeatLeft("Bob")),
              (Lines{"Bob" + txt::kHubLeft.substr(0, txt::kHubLeft.size() - 2), ""}));
    EXPECT_EQ(displayLines(TChatEvent::ChatLine("Ann> a\rb\r\r")), Lines{"Ann> a\rb\r"});
    EXPECT_EQ(displayLines(TChatEvent::Note("x\r\r\ny\r")), (Lines{"x", "y"}));
}

TEST(ChatEvent, AChatLineNamesItsSenderOnlyBeforeTheFirstMark)
{
    const TChatEvent named = TChatEvent::ChatLine("Ann> a> b\r", true);
    EXPECT_EQ(named.Nick(), "Ann");
    EXPECT_EQ(named.Said(), "a> b");
    EXPECT_TRUE(named.Own);
    // A sender that does not follow the grammar names nobody; its whole
    // field is what it said, and it reads unchanged.
    const TChatEvent bare = TChatEvent::ChatLine("no mark\r");
    EXPECT_EQ(bare.Nick(), "");
    EXPECT_EQ(bare.Said(), "no mark");
    EXPECT_EQ(EventText(bare), "no mark\r");
    EXPECT_EQ(TChatEvent::ChatLine("> x").Nick(), "");
    EXPECT_EQ(TChatEvent::ChatLine("> x").Said(), "x");
}
