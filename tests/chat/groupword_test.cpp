// A hub that asks for a group word: wrong words shut an address out for a
// while (the right one, through a recording relay, crosses nowhere in the
// clear), and a member that proved the word asks for it as the candidate
// of a regroup, where a plain caller is turned away with one chat line.
#include "chattest.h"
#include "negotiation.h"
#include "recordingrelay.h"
#include "tlsidentity.h"
#include "wire.h"
#include <QDeadlineTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <map>
#include <gtest/gtest.h>

namespace {

struct GuardedView : FakeView {
    std::vector<std::string> guardNotes;
    void ShowJournal(const std::string& text) override { guardNotes.push_back(text); }
};

struct WordNode {
    GuardedView view;
    TChatCore core;
    WordNode(const std::string& addr, const std::string& name, const QTemporaryDir& dir)
        : core(&view, addr, testPortText(), addr)
    {
        core.Name = name;
        const TTlsIdentity me = TTlsIdentity::Create();
        core.Encrypt = {MakeTlsContext(me), dir.filePath(QString::fromStdString(name)).toStdString(), me.Fingerprint()};
        core.StartServer();
    }
    void Join(const std::string& to)
    {
        view.connectTarget = to;
        core.K8Click();
    }
};

const groupword::TKeyRef& key(const char* word)
{
    static std::map<std::string, groupword::TKeyRef> keys;
    groupword::TKeyRef& k = keys[word];
    if (!k)
        k = groupword::Derive(word);
    return k;
}

} // namespace

TEST(GroupWord, WrongWordsShutTheAddressOutForAWhile)
{
    QTemporaryDir dir;
    WordNode hub(address(11), "Hubert", dir);
    hub.core.HubWord = key("kiwi");
    hub.core.Guard.wordMisses.limit = 2;
    hub.core.Guard.wordMisses.banMs = 600;
    WordNode member(address(12), "Mallory", dir);
    member.core.MemberWord = key("melon");
    for (int round = 1; round <= 2; ++round) {
        member.view.lines.clear();
        member.Join(address(11));
        ASSERT_TRUE(waitFor([&] { return member.view.hasLine(txt::kWrongWord) && !member.core.LinkConnected(); }));
    }
    EXPECT_EQ(hub.view.guardNotes.size(), 3u); // two wrong words, then the shut-out
    // Shut out: the next call is closed before the offer, even with the word.
    member.core.MemberWord = key("kiwi");
    RawClient raw;
    ASSERT_TRUE(raw.Connect(address(11).c_str(), testPort(), address(12).c_str()));
    EXPECT_TRUE(waitFor([&] { return raw.eof || raw.reset; }));
    EXPECT_EQ(raw.received, "");
    // Once the while is over, the right word gets in, and nothing of the
    // refusals was shown to the group.
    QTimer end; // the ban ends by the clock alone: an event to wake up for
    end.setSingleShot(true);
    end.start(int(hub.core.Guard.wordMisses.banMs));
    ASSERT_TRUE(waitFor([&] {
        return !end.isActive() &&
            !hub.core.Guard.wordMisses.Banned(address(12), QDeadlineTimer::current(Qt::PreciseTimer).deadline());
    }));
    // It gets in through a listener on the path, which reads no name, line
    // or word in the clear.
    testkit::RecordingRelay relay(address(13), address(11), address(12), testPortText());
    member.Join(address(13));
    ASSERT_TRUE(waitFor([&] { return hub.core.Seat(1).Named; }));
    EXPECT_EQ(member.core.lbName()[0], "Hubert");
    ASSERT_TRUE(member.core.Say("secret plans"));
    ASSERT_TRUE(waitFor([&] { return hub.view.lines.size() == 2; })); // Mallory's arrival and line
    EXPECT_NE(hub.view.lines.back().find("secret plans"), std::string::npos);
    for (const char* clear : {"Mallory", "Hubert", "kiwi", "secret"})
        EXPECT_EQ(relay.Wire().find(clear), std::string::npos) << clear;
}

TEST(GroupWord, TheCandidateAsksForTheWordItProved)
{
    QTemporaryDir dir;
    auto hub = std::make_unique<WordNode>(address(21), "Hubert", dir);
    hub->core.HubWord = key("kiwi");
    WordNode first(address(22), "Ichi", dir), second(address(23), "Ni", dir);
    first.core.MemberWord = second.core.MemberWord = key("kiwi");
    first.Join(address(21));
    ASSERT_TRUE(waitFor([&] { return hub->core.Seat(1).Named; }));
    second.Join(address(21));
    ASSERT_TRUE(waitFor([&] { return hub->core.Seat(2).Named && second.core.NextIP == address(22); }));
    second.core.MemberWord = nullptr; // the candidate is proved the word this member was admitted with
    second.view.answers = {mrOk};
    hub.reset(); // lost without a word
    ASSERT_TRUE(waitFor([&] { return first.core.rbServer && first.core.Seat(1).Named; }, 10000))
        << ::testing::PrintToString(first.view.lines) << ::testing::PrintToString(second.view.lines);
    // A plain caller gets one chat line there, learns no name and is closed;
    // only the journal hears of it.
    first.view.guardNotes.clear();
    RawClient raw;
    ASSERT_TRUE(raw.Connect(address(22).c_str(), testPort(), address(24).c_str()));
    raw.Send("uRaw\n");
    EXPECT_TRUE(waitFor([&] { return raw.eof; }));
    EXPECT_EQ(raw.received, wire::WordNeededLine());
    ASSERT_EQ(first.view.guardNotes.size(), 1u);
    EXPECT_NE(first.view.guardNotes[0].find(address(24)), std::string::npos);
    for (const std::string& line : first.view.lines)
        EXPECT_EQ(line.find("Raw"), std::string::npos) << line;
}
