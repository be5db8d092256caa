// What the chat core guards on 127.21.1.0/24: typed text and nick never
// carry a line break onto the wire (SentLines), a seat freed in the same turn
// as a caller arrives is given to the caller (HubAdmission), and reconnect
// timer failures go to the application's error report (ReconnectTimer).
#include "chattest.h"

#include "texts.h"
#include "wsocket.h"

#include <gtest/gtest.h>

namespace {

const char* kHub = "127.21.1.1";

} // namespace

class SentLines : public RawPeersOnHub {
protected:
    SentLines() : RawPeersOnHub(kHub) { }
};
class HubAdmission : public SentLines { };

TEST_F(SentLines, TypedTextAndNickNeverCarryALineBreakOrNul)
{
    RawClient* a = nullptr;
    ASSERT_TRUE(seat(a, 11, "A"));
    ASSERT_TRUE(sync(hub.core, hub.view, {a}));

    // The hub speaks: the text is cut at its first line break.
    hub.core.Say("hello\nsEVIL");
    ASSERT_TRUE(a->Expect("1Hub> hello\r\n"));
    EXPECT_TRUE(hub.view.hasLine("Hub> hello"));
    hub.core.Say(std::string("x\0y", 3));
    ASSERT_TRUE(a->Expect("1Hub> x\r\n"));

    // A nick with a line break is cut the same way, in every line it names.
    hub.core.Name = "Ho\rst\ncEVIL";
    hub.core.Say("a\r\nb");
    ASSERT_TRUE(a->Expect("1Ho> a\r\n"));
    RawClient* b = nullptr;
    ASSERT_TRUE(seat(b, 12));
    EXPECT_TRUE(b->Expect("uHo\nuA\n"));

    // A peer's own name line and chat lines.
    RawServer raw;
    ASSERT_TRUE(raw.Listen("127.21.1.2", testPort()));
    Node peer("127.21.1.3", "Pe\ner");
    peer.view.connectTarget = "127.21.1.2";
    peer.core.K8Click();
    ASSERT_TRUE(raw.WaitConns(1));
    RawClient& h = *raw.conns[0];
    ASSERT_TRUE(h.Expect("uPe\n"));
    ASSERT_TRUE(waitFor([&] { return !peer.core.rbServer; }));
    h.Send("uHub2\n");
    ASSERT_TRUE(waitFor([&] { return peer.core.Talking(); }));
    peer.core.Say("hi\rsEVIL");
    EXPECT_TRUE(h.Expect("1Pe> hi\r\n"));
}

TEST_F(HubAdmission, ASeatFreedInTheSameTurnIsGivenNotAnsweredFull)
{
    std::vector<RawClient*> peers(9);
    for (int i = 0; i < 9; ++i)
        ASSERT_TRUE(seat(peers[i], 41 + i, ("P" + std::to_string(i + 1)).c_str()));
    ASSERT_TRUE(sync(hub.core, hub.view, peers));

    // P1 goes and a caller comes before the hub's next event.
    peers[0]->Send("1P1> last words\r\n");
    peers[0]->Close();
    RawClient caller;
    ASSERT_TRUE(caller.Connect(kHub, testPort(), "127.21.1.50"));
    ASSERT_TRUE(caller.SkipThrough("uHub\n"));
    EXPECT_EQ(caller.received.find(txt::kHubFull), std::string::npos);
    EXPECT_TRUE(waitFor([&] { return hub.view.hasLine("P1" + txt::kHubLeft); }));
    // What P1 said before it went still reached the others, before its leave.
    ASSERT_TRUE(peers[1]->SkipThrough("1P1> last words\r\n"));
    ASSERT_TRUE(peers[1]->SkipThrough("cP1\n"));
    EXPECT_EQ(hub.seated(), 9);
}

TEST(ReconnectTimer, ReconnectTimerFailuresGoToTheApplicationsErrorReport)
{
    std::vector<std::string> reported;
    auto saved = WSocketExceptionHandler;
    WSocketExceptionHandler = [&](const std::exception& e) { reported.push_back(e.what()); };
    Node n("127.21.1.4", "N");
    n.core.IPName = ""; // an announced candidate with no address
    n.core.EnableTimer1();
    EXPECT_TRUE(waitFor([&] { return !reported.empty(); }, 2000));
    EXPECT_TRUE(n.view.errors.empty());
    WSocketExceptionHandler = saved;
}
