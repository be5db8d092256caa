// Two encrypting chat cores through a recording relay, and a plain caller.
#include "chattest.h"
#include "knownhubs.h"
#include "recordingrelay.h"
#include "texts.h"
#include "tlsidentity.h"
#include "wsocket.h"
#include <QTemporaryDir>
#include <gtest/gtest.h>

static long shown(const FakeView& view, const std::string& text)
{
    return std::count_if(view.lines.begin(), view.lines.end(),
                         [&](const std::string& line) { return line.find(text) != std::string::npos; });
}

TEST(EncryptedLink, MembersTalkInCipherAndAPlainCallerStillTalks)
{
    QTemporaryDir dir;
    const TTlsIdentity hubId = TTlsIdentity::Create();
    Node hub(address(1), "Hubert");
    Node member(address(4), "Mallory");
    hub.core.Encrypt = {MakeTlsContext(hubId), dir.filePath("hub_pins").toStdString()};
    member.core.Encrypt = {MakeTlsContext(TTlsIdentity::Create()), dir.filePath("pins").toStdString()};
    RecordingRelay relay(address(2), address(1), address(3), testPortText());
    member.view.connectTarget = address(2);
    member.core.K8Click();
    ASSERT_TRUE(waitFor([&] { return hub.core.Seat(1).Named && member.core.lbName()[0] == "Hubert"; }));
    EXPECT_EQ(TKnownHubs(member.core.Encrypt.knownHubs).Lookup(address(2)), hubId.Fingerprint());
    ASSERT_TRUE(member.core.Say("secret one"));
    ASSERT_TRUE(hub.core.Say("secret two"));
    ASSERT_TRUE(waitFor([&] { return shown(hub.view, "secret one") && shown(member.view, "secret two"); }));
    for (const char* clear : {"Hubert", "Mallory", "secret"})
        EXPECT_EQ(relay.Wire().find(clear), std::string::npos) << clear;

    // A caller that knows nothing of the offer: admitted in the clear.
    RawClient raw;
    ASSERT_TRUE(raw.Connect(address(1).c_str(), testPort(), address(5).c_str()));
    ASSERT_TRUE(raw.SkipThrough("eoffer 1\n"));
    raw.Send("uRaw\n");
    ASSERT_TRUE(raw.SkipThrough("uHubert\nuMallory\n"));
    raw.Send("1Raw> to all\r\n");
    ASSERT_TRUE(member.core.Say("to raw"));
    EXPECT_TRUE(raw.SkipThrough("1Mallory> to raw\r\n"));
    EXPECT_TRUE(waitFor([&] { return shown(member.view, "Raw> to all"); }));
    // Both encrypted ends mark it and say so once; the plain one hears
    // nothing of it. A member joining later learns it on admission.
    Node late(address(7), "Nina");
    late.core.Encrypt = {MakeTlsContext(TTlsIdentity::Create()), dir.filePath("late_pins").toStdString()};
    late.view.connectTarget = address(1);
    late.core.K8Click();
    ASSERT_TRUE(waitFor([&] { return late.view.roster[2] == "Raw" && late.view.plain[2]; }));
    const std::string note = "Raw" + txt::kPlainWith;
    for (FakeView* v : {&hub.view, &member.view, &late.view})
        EXPECT_EQ(shown(*v, note), 1) << v->lines.size();
    EXPECT_TRUE(member.view.plain[1] && !member.view.plain[0] && !member.view.plain[2]);
    EXPECT_EQ(member.view.own, TOwnLink::Encrypted);
    EXPECT_EQ(hub.view.own, TOwnLink::Plain);
    EXPECT_EQ(raw.Take().find("eplain"), std::string::npos);

    // A hub that shows another key than the pinned one is told nothing.
    Node other(address(6), "Oscar");
    other.core.Encrypt = {MakeTlsContext(TTlsIdentity::Create()), dir.filePath("other_pins").toStdString()};
    const std::string wrongKey = TTlsIdentity::Create().Fingerprint();
    ASSERT_TRUE(TKnownHubs(other.core.Encrypt.knownHubs).Pin(address(1), wrongKey));
    other.view.connectTarget = address(1);
    other.core.K8Click();
    const std::string changed = txt::kHubKeyChanged + ("\r\n" + wrongKey + "\r\n" + hubId.Fingerprint());
    ASSERT_TRUE(waitFor([&] { return shown(other.view, changed); }));
    EXPECT_TRUE(waitFor([&] { return !other.core.LinkConnected(); }));
    EXPECT_FALSE(shown(hub.view, "Oscar"));
}
