// Two encrypting chat cores through a recording relay, and a plain caller.
#include "chattest.h"
#include "knownhubs.h"
#include "recordingrelay.h"
#include "texts.h"
#include "tlsidentity.h"
#include "wsocket.h"
#include <QTemporaryDir>
#include <gtest/gtest.h>

static void encrypt(Node& node, const TTlsIdentity& id, const QTemporaryDir& dir)
{
    node.core.Encrypt = {MakeTlsContext(id), dir.filePath(QString::fromStdString(node.core.Name)).toStdString(),
                         id.Fingerprint()};
}

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
    encrypt(hub, hubId, dir);
    encrypt(member, TTlsIdentity::Create(), dir);
    // A caller that knows nothing of the offer, first: admitted in the clear.
    RawClient raw;
    ASSERT_TRUE(raw.Connect(address(1).c_str(), testPort(), address(5).c_str()));
    raw.Send("uRaw\n");
    ASSERT_TRUE(raw.SkipThrough("uHubert\n"));
    RecordingRelay relay(address(2), address(1), address(3), testPortText());
    member.view.connectTarget = address(2);
    member.core.K8Click();
    ASSERT_TRUE(waitFor([&] { return hub.core.Seat(2).Named && member.core.lbName()[0] == "Hubert"; }));
    EXPECT_EQ(TKnownHubs(member.core.Encrypt.knownHubs).Lookup(address(2)), hubId.Fingerprint());
    ASSERT_TRUE(raw.SkipThrough("uMallory\n"));
    EXPECT_TRUE(raw.SkipThrough("n" + address(3) + "\n")); // the encrypted member is the candidate
    ASSERT_TRUE(member.core.Say("secret one"));
    ASSERT_TRUE(hub.core.Say("secret two"));
    raw.Send("1Raw> to all\r\n");
    ASSERT_TRUE(member.core.Say("to raw"));
    EXPECT_TRUE(raw.SkipThrough("1Mallory> to raw\r\n"));
    ASSERT_TRUE(waitFor([&] {
        return shown(hub.view, "secret one") && shown(member.view, "secret two") && shown(member.view, "Raw> to all");
    }));
    for (const std::string& clear :
         std::vector<std::string>{"Hubert", "Mallory", "Raw", "secret", address(3), address(5)})
        EXPECT_EQ(relay.Wire().find(clear), std::string::npos) << clear;

    // Both encrypted ends mark it and say so once; the plain one hears
    // nothing of it. A member joining later learns it on admission.
    Node late(address(7), "Nina");
    encrypt(late, TTlsIdentity::Create(), dir);
    late.view.connectTarget = address(1);
    late.core.K8Click();
    ASSERT_TRUE(waitFor([&] { return late.view.roster[1] == "Raw" && late.view.plain[1]; }));
    const std::string note = "Raw" + txt::kPlainWith;
    for (FakeView* v : {&hub.view, &member.view, &late.view})
        EXPECT_EQ(shown(*v, note), 1) << v->lines.size();
    EXPECT_TRUE(member.view.plain[1] && !member.view.plain[0] && !member.view.plain[2]);
    EXPECT_EQ(member.view.own, TOwnLink::Encrypted);
    EXPECT_EQ(hub.view.own, TOwnLink::Plain);
    EXPECT_EQ(raw.Take().find("eplain"), std::string::npos);

    // A hub that shows another key than the pinned one is told nothing,
    // unless the user accepts the key.
    Node other(address(6), "Oscar");
    encrypt(other, TTlsIdentity::Create(), dir);
    const std::string wrongKey = TTlsIdentity::Create().Fingerprint();
    ASSERT_TRUE(TKnownHubs(other.core.Encrypt.knownHubs).Pin(address(1), wrongKey));
    other.view.connectTarget = address(1);
    other.core.K8Click();
    const std::string changed = txt::kHubKeyChanged + ("\r\n" + wrongKey + "\r\n" + hubId.Fingerprint());
    ASSERT_TRUE(waitFor([&] { return shown(other.view, changed); }));
    EXPECT_TRUE(waitFor([&] { return !other.core.LinkConnected(); }));
    EXPECT_FALSE(shown(hub.view, "Oscar"));
    ASSERT_EQ(other.view.keyQuestions.size(), 1u);
    EXPECT_EQ(other.view.keyQuestions[0], address(1) + " " + wrongKey + " " + hubId.Fingerprint());
    other.view.keyAnswer = mrOk;
    ASSERT_TRUE(waitFor([&] { return other.view.k8; }));
    other.core.K8Click();
    ASSERT_TRUE(waitFor([&] { return shown(hub.view, "Oscar") && other.core.lbName()[0] == "Hubert"; }));
    EXPECT_EQ(TKnownHubs(other.core.Encrypt.knownHubs).Lookup(address(1)), hubId.Fingerprint());
    EXPECT_EQ(other.core.HubFingerprint(), hubId.Fingerprint());
}

// The lost hub named the candidate's key: the regroup trusts exactly that
// one at the candidate's address, over an older pin there.
TEST(EncryptedLink, RegroupTrustsTheKeyTheHubHandedOver)
{
    QTemporaryDir dir;
    auto hub = std::make_unique<Node>(address(11), "Hana");
    Node ichi(address(12), "Ichi");
    Node ni(address(13), "Ni");
    const TTlsIdentity ichiId = TTlsIdentity::Create();
    encrypt(*hub, TTlsIdentity::Create(), dir);
    encrypt(ichi, ichiId, dir);
    encrypt(ni, TTlsIdentity::Create(), dir);
    ASSERT_TRUE(TKnownHubs(ni.core.Encrypt.knownHubs).Pin(address(12), TTlsIdentity::Create().Fingerprint()));
    for (Node* n : {&ichi, &ni}) {
        n->view.connectTarget = address(11);
        n->core.K8Click();
        ASSERT_TRUE(waitFor([&] { return n->core.Talking(); }));
    }
    ASSERT_TRUE(waitFor([&] { return ni.core.nuser == 2 && ni.core.NextIP == address(12); }));
    ni.view.answers = {mrOk};
    hub.reset();
    ASSERT_TRUE(waitFor([&] { return ichi.core.lbName()[0] == "Ni" && ni.core.lbName()[0] == "Ichi"; }));
    EXPECT_TRUE(ni.view.keyQuestions.empty());
    EXPECT_EQ(TKnownHubs(ni.core.Encrypt.knownHubs).Lookup(address(12)), ichiId.Fingerprint());
    EXPECT_EQ(ni.core.HubFingerprint(), ichiId.Fingerprint());
}
