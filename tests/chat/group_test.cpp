// Whole groups of chat cores on 127.20.4.0/24: join, talk, leave, lose the
// hub and regroup around the announced candidate.
#include "chattest.h"

#include "texts.h"
#include "wsocket.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// The names in a roster, sorted: who is there, whatever the order of arrival.
std::string members(const Node& n)
{
    std::vector<std::string> v;
    for (const auto& l : n.core.lbName())
        if (!l.empty())
            v.push_back(l);
    std::sort(v.begin(), v.end());
    std::string r;
    for (const auto& s : v)
        r += s + ",";
    return r;
}

void joinCore(Node& peer, const std::string& target)
{
    peer.view.connectTarget = target;
    peer.core.K8Click();
}

} // namespace

TEST(Group, FormsTalksLosesItsHubAndRegroups)
{
    auto hub = std::make_unique<Node>("127.20.4.1", "Hana");
    Node p1("127.20.4.2", "Ichi");
    Node p2("127.20.4.3", "Ni");
    Node p3("127.20.4.4", "San");

    joinCore(p1, "127.20.4.1");
    ASSERT_TRUE(waitFor([&] { return hub->core.lbName()[0] == "Ichi"; }));
    joinCore(p2, "127.20.4.1");
    ASSERT_TRUE(waitFor([&] { return hub->core.lbName()[1] == "Ni"; }));
    joinCore(p3, "127.20.4.1");
    ASSERT_TRUE(waitFor([&] { return hub->core.lbName()[2] == "San" && p2.core.nuser == 3; }));

    // Rosters: on a peer the hub comes first, the peer itself is missing.
    EXPECT_EQ(p1.core.lbName()[0], "Hana");
    EXPECT_EQ(p1.core.lbName()[1], "Ni");
    EXPECT_EQ(p1.core.lbName()[2], "San");
    EXPECT_EQ(p3.core.lbName()[0], "Hana");
    EXPECT_EQ(p3.core.lbName()[1], "Ichi");
    EXPECT_EQ(p3.core.lbName()[2], "Ni");
    for (Node* p : {&p1, &p2, &p3}) {
        EXPECT_EQ(p->core.NextIP, "127.20.4.2");
        EXPECT_EQ(p->core.NextName, "Ichi");
    }
    EXPECT_EQ(p1.core.StatusNextText(), txt::kItsYou);
    EXPECT_EQ(p2.core.StatusNextText(), "Ichi");
    EXPECT_EQ(p2.core.StatusConnectedText(), "Hana");
    EXPECT_EQ(hub->core.StatusConnectedText(), txt::kYouAreHub);
    EXPECT_EQ(hub->core.StatusNextText(), "Ichi");

    // Talk: a peer's line reaches the hub and the others, not itself.
    p2.core.Say("\x82\xB1\x82\xF1\x82\xC9\x82\xBF\x82\xCD"); // こんにちは
    const std::string shown = "Ni> \x82\xB1\x82\xF1\x82\xC9\x82\xBF\x82\xCD\r";
    ASSERT_TRUE(waitFor([&] { return p1.view.hasLine(shown) && p3.view.hasLine(shown); }));
    EXPECT_TRUE(hub->view.hasLine(shown));
    EXPECT_FALSE(p2.view.hasLine(shown));
    EXPECT_EQ(p2.view.lines.back(), "Ni> \x82\xB1\x82\xF1\x82\xC9\x82\xBF\x82\xCD");

    // The hub goes away (its window closes: no leave lines). The candidate
    // waits; the others are asked (socket events run while they are asked)
    // and rejoin the candidate 200 ms later.
    p2.view.answers = {1};
    p3.view.answers = {1};
    p3.view.whileAsking = [] { QTest::qWait(50); };
    hub.reset();
    ASSERT_TRUE(waitFor([&] { return p1.view.hasLine(txt::kHubLostWait); }));
    EXPECT_TRUE(p1.view.questions.empty());
    ASSERT_TRUE(waitFor([&] { return p1.core.nuser == 2 && p2.core.nuser == 2 && p3.core.nuser == 2; }));
    ASSERT_EQ(p2.view.questions.size(), 1u);
    EXPECT_EQ(p2.view.questions[0], txt::kHubLostQuestion);
    EXPECT_TRUE(p1.core.rbServer);
    EXPECT_FALSE(p2.core.rbServer);
    EXPECT_EQ(p2.core.IPName, "127.20.4.2");
    EXPECT_EQ(members(p1), "Ni,San,");
    EXPECT_EQ(members(p2), "Ichi,San,");
    EXPECT_EQ(members(p3), "Ichi,Ni,");
    EXPECT_EQ(p2.core.lbName()[0], "Ichi");

    // The regrouped hub relays as before, and names its own candidate.
    p3.core.Say("again");
    ASSERT_TRUE(waitFor([&] { return p2.view.hasLine("San> again\r"); }));
    EXPECT_TRUE(p1.view.hasLine("San> again\r"));
    EXPECT_EQ(p2.core.NextIP, p1.core.NextIPd);
}

TEST(Group, HubDisconnectCommandEndsTheGroup)
{
    // The hub's disconnect closes its seats one after another; each later
    // seat first hears of the earlier departures and the new candidate.
    Node hub("127.20.4.31", "Hana");
    Node p1("127.20.4.32", "Ichi");
    Node p2("127.20.4.33", "Ni");
    joinCore(p1, "127.20.4.31");
    ASSERT_TRUE(waitFor([&] { return hub.core.lbName()[0] == "Ichi"; }));
    joinCore(p2, "127.20.4.31");
    ASSERT_TRUE(waitFor([&] { return p2.core.nuser == 2 && p1.core.nuser == 2; }));
    hub.view.answers = {1};
    hub.core.K9Click();
    EXPECT_EQ(hub.view.questions.size(), 1u);
    ASSERT_TRUE(waitFor([&] { return p1.core.rbServer && p2.core.rbServer; }));
    EXPECT_TRUE(p1.view.hasLine(txt::kHubLostWait));
    // Seat 2 heard "Ichi" leave, so only the hub was left in its roster.
    EXPECT_TRUE(p2.view.questions.empty());
    EXPECT_TRUE(p2.view.hasLine("\r\nIchi" + txt::kPeerLeft));
    EXPECT_EQ(hub.core.nuser, 0);
}

TEST(Group, AnsweringNoLeavesTheFlagsClear)
{
    auto hub = std::make_unique<Node>("127.20.4.11", "Hana");
    Node p1("127.20.4.12", "Ichi");
    Node p2("127.20.4.13", "Ni");
    joinCore(p1, "127.20.4.11");
    ASSERT_TRUE(waitFor([&] { return hub->core.lbName()[0] == "Ichi"; }));
    joinCore(p2, "127.20.4.11");
    ASSERT_TRUE(waitFor([&] { return p2.core.nuser == 2 && p1.core.nuser == 2; }));

    p2.view.answers = {7};
    hub.reset();
    ASSERT_TRUE(waitFor([&] { return p2.view.questions.size() == 1 && p2.core.rbServer; }));
    EXPECT_TRUE(p2.view.hasLine(txt::kDisconnected));
    EXPECT_FALSE(p2.core.NextServer);
    EXPECT_FALSE(p2.core.Timer1Enabled());
    EXPECT_EQ(p2.core.IPName, "127.20.4.11");

    // A later link to a hub that announces no candidate ends: no stale
    // hub-loss question comes back.
    RawServer quiet;
    ASSERT_TRUE(quiet.Listen("127.20.4.14", testPort()));
    joinCore(p2, "127.20.4.14");
    ASSERT_TRUE(quiet.WaitConns(1));
    ASSERT_TRUE(quiet.conns[0]->WaitFor("uNi\n"));
    quiet.conns[0]->Send("uQ\nuR\n");
    ASSERT_TRUE(waitFor([&] { return p2.core.nuser == 2; }));
    quiet.conns[0]->Close();
    ASSERT_TRUE(waitFor([&] { return p2.core.rbServer; }));
    EXPECT_EQ(p2.view.questions.size(), 1u);
}

TEST(Group, RedirectThenHubLossAsksBothAndJoinsTheCandidate)
{
    // A peer whose link ends while both flags are set: redirect question
    // first, then the hub-loss one; a yes to the second wins the target,
    // and one join follows.
    RawServer notHub;
    ASSERT_TRUE(notHub.Listen("127.20.4.21", testPort()));
    Node cand("127.20.4.22", "Cand");
    Node p("127.20.4.23", "Pat");
    RawClient* h = nullptr;
    ASSERT_TRUE(joinRawHub(p, notHub, "127.20.4.21", h));
    p.view.answers = {1, 1};
    p.view.whileAsking = [] { QTest::qWait(250); }; // longer than the timer
    h->Send("uHub\nuOther\nn127.20.4.22\nrCand\ns127.20.4.99\r\n");
    ASSERT_TRUE(waitFor([&] { return cand.seated() == 1; }));
    ASSERT_EQ(p.view.questions.size(), 2u);
    EXPECT_EQ(p.view.questions[0], txt::kRedirectQuestion);
    EXPECT_EQ(p.view.questions[1], txt::kHubLostQuestion);
    EXPECT_EQ(p.core.IPName, "127.20.4.22");
    ASSERT_TRUE(waitFor([&] { return p.core.lbName()[0] == "Cand"; }));
    QTest::qWait(300);
    EXPECT_EQ(cand.seated(), 1);
}

TEST(Group, AMemberThatNoticesTheLossFirstWaitsForTheCandidate)
{
    // Members notice a silent hub loss each on their own clock. One that
    // calls the candidate before the candidate has noticed is told to go
    // to the lost hub; it calls the candidate again instead, silently, and
    // is seated once the candidate has become hub.
    auto hub = std::make_unique<Node>("127.20.4.41", "Hana");
    Node cand("127.20.4.42", "Cand");
    Node early("127.20.4.43", "Tom");
    joinCore(cand, "127.20.4.41");
    ASSERT_TRUE(waitFor([&] { return hub->core.lbName()[0] == "Cand"; }));
    joinCore(early, "127.20.4.41");
    ASSERT_TRUE(waitFor([&] { return early.core.nuser == 2 && early.core.NextIP == "127.20.4.42"; }));

    int calls = 0;
    auto seat = cand.core.SrvWSocket->OnSessionAvailable;
    cand.core.SrvWSocket->OnSessionAvailable = [&](TCustomWSocket* s, uint16_t e) {
        ++calls;
        seat(s, e);
    };
    early.view.answers = {1};
    hub->core.SrvWSocket->Close(); // the member's check of the lost hub fails
    hub->core.Cli(2).Close();      // only this member's link ends, for now
    ASSERT_TRUE(waitFor([&] { return calls >= 3; }));
    EXPECT_FALSE(cand.core.rbServer);

    hub.reset(); // now the candidate notices too
    ASSERT_TRUE(waitFor([&] { return cand.seated() == 1 && early.core.lbName()[0] == "Cand"; }));
    EXPECT_TRUE(cand.core.rbServer);
    ASSERT_EQ(early.view.questions.size(), 1u);
    EXPECT_EQ(early.view.questions[0], txt::kHubLostQuestion);
    EXPECT_EQ(std::count(early.view.lines.begin(), early.view.lines.end(), txt::kDisconnected), 1);
    EXPECT_FALSE(early.core.rbServer);
}

TEST(Group, AMemberWhoseOwnLinkDroppedFollowsTheRedirectToTheLiveHub)
{
    // Only this member's link ends; the candidate, still the hub's peer,
    // sends it back to the hub. The hub answers the member's check, so the
    // member follows at once (redirect question, join), not after 25 s.
    Node hub("127.20.4.51", "Hana");
    Node cand("127.20.4.52", "Cand");
    Node early("127.20.4.53", "Tom");
    joinCore(cand, "127.20.4.51");
    ASSERT_TRUE(waitFor([&] { return hub.core.lbName()[0] == "Cand"; }));
    joinCore(early, "127.20.4.51");
    ASSERT_TRUE(waitFor([&] { return early.core.nuser == 2 && early.core.NextIP == "127.20.4.52"; }));
    early.view.answers = {1, 1};
    hub.core.Cli(2).Close();
    ASSERT_TRUE(waitFor([&] { return early.view.questions.size() == 2 && early.core.nuser == 2; }, 3000));
    EXPECT_EQ(early.view.questions[0], txt::kHubLostQuestion);
    EXPECT_EQ(early.view.questions[1], txt::kRedirectQuestion);
    EXPECT_EQ(early.core.lbName()[0], "Hana");
    EXPECT_FALSE(cand.core.rbServer);
}

TEST(Group, CallersWaitOnlyWhileARegroupLinkIsSilent)
{
    // Calling the candidate, a member cannot yet tell whether its link leads
    // to another instance or round to its own listener: a caller arriving
    // meanwhile waits, and is seated once this instance is found to be the
    // hub. On an ordinary join nobody waits: a caller is redirected at once.
    RawServer hub, cand;
    ASSERT_TRUE(hub.Listen("127.20.4.61", testPort()));
    ASSERT_TRUE(cand.Listen("127.20.4.62", testPort()));
    Node p("127.20.4.63", "Pat");
    std::vector<bool> answered; // per caller: answered inside its accept
    auto take = p.core.SrvWSocket->OnSessionAvailable;
    p.core.SrvWSocket->OnSessionAvailable = [&](TCustomWSocket* s, uint16_t e) {
        if (p.core.TmpWSocket->State() != wsClosed)
            p.core.TmpWSocket->Close(); // the previous caller was answered
        take(s, e);
        answered.push_back(p.core.TmpWSocket->State() != wsClosed || p.seated() > 0);
    };
    RawClient* h = nullptr;
    ASSERT_TRUE(joinRawHub(p, hub, "127.20.4.61", h));
    RawClient first, second;
    ASSERT_TRUE(first.Connect("127.20.4.63", testPort(), "127.20.4.64"));
    ASSERT_TRUE(first.WaitFor("s127.20.4.61\r\n"));
    EXPECT_EQ(answered, std::vector<bool>{true});

    p.view.answers = {1};
    h->Send("uHub\nuOther\nn127.20.4.62\nrCand\n");
    ASSERT_TRUE(waitFor([&] { return p.core.nuser == 2; }));
    h->Close();
    ASSERT_TRUE(cand.WaitConns(1));
    ASSERT_TRUE(cand.conns[0]->WaitFor("uPat\n"));
    ASSERT_TRUE(second.Connect("127.20.4.63", testPort(), "127.20.4.65"));
    ASSERT_TRUE(waitFor([&] { return answered.size() == 2; }));
    EXPECT_FALSE(answered[1]);
    cand.conns[0]->Close();               // no instance spoke there: this one is the hub
    EXPECT_TRUE(second.Expect("uPat\n")); // seated: greeted, not redirected
    EXPECT_TRUE(p.core.rbServer);
}

// Sent back to the lost hub by the candidate, a member follows only a hub
// whose admission names others too; one that came back empty is not, and
// the candidate is called again.
class LostHubCheck : public ::testing::TestWithParam<std::pair<const char*, bool>> { };
INSTANTIATE_TEST_SUITE_P(Admission, LostHubCheck,
                         ::testing::Values(std::pair{"uHana\nuCand\nn127.20.4.72\nrCand\n", true},
                                           std::pair{"uHana\nn\n", false}));

TEST_P(LostHubCheck, FollowsOnlyAHubThatStillSeatsOthers)
{
    const auto [admission, follows] = GetParam();
    RawServer hub, cand;
    ASSERT_TRUE(hub.Listen("127.20.4.71", testPort()));
    ASSERT_TRUE(cand.Listen("127.20.4.72", testPort()));
    Node p("127.20.4.73", "Pat");
    RawClient* h = nullptr;
    ASSERT_TRUE(joinRawHub(p, hub, "127.20.4.71", h));
    h->Send("uHana\nuCand\nn127.20.4.72\nrCand\n");
    ASSERT_TRUE(waitFor([&] { return p.core.nuser == 2; }));
    hub.onAccept = [admission = std::string(admission)](RawClient& c) { c.Send(admission); };
    cand.onAccept = [](RawClient& c) { c.Send("s127.20.4.71\r\n"); };
    p.view.answers = {1, 1};
    h->Close();
    if (follows) {
        ASSERT_TRUE(waitFor([&] { return p.view.questions.size() == 2; }, 4000));
        EXPECT_EQ(p.view.questions[1], txt::kRedirectQuestion);
        EXPECT_TRUE(hub.WaitConns(3)); // the link, the check, the join
    } else {
        ASSERT_TRUE(cand.WaitConns(4, 4000)); // called again and again
        EXPECT_EQ(p.view.questions.size(), 1u);
        EXPECT_EQ(hub.conns.size(), 2u); // the link, the check
    }
}
