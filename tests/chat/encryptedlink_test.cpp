// Two encrypting chat cores through a recording relay, and a plain caller.
#include "chattest.h"
#include "knownhubs.h"
#include "texts.h"
#include "tlsidentity.h"
#include "wsocket.h"
#include <QTemporaryDir>
#include <gtest/gtest.h>

// Joins its one caller at `at` to `to`, calling from `from`; keeps every byte.
struct RecordingRelay {
    TWSocket listener, in, out;
    std::string wire;
    RecordingRelay(const std::string& at, const std::string& to, const std::string& from)
    {
        listener.OnSessionAvailable = [this, to, from](TCustomWSocket*, uint16_t) {
            in.Dup(listener.Accept());
            out.SetLocalAddr(from);
            out.SetAddr(to);
            out.SetPort(testPortText());
            out.SetProto("tcp");
            out.Connect();
        };
        in.OnDataAvailable = forward(out);
        out.OnDataAvailable = forward(in);
        listener.SetAddr(at);
        listener.SetPort(testPortText());
        listener.SetProto("tcp");
        listener.Listen();
    }
    TDataAvailable forward(TWSocket& to)
    {
        return [this, &to](TCustomWSocket* s, uint16_t) {
            char buf[8192];
            const int n = s->Receive(buf, sizeof buf);
            wire.append(buf, size_t(std::max(n, 0)));
            if (n > 0)
                to.Send(buf, n);
        };
    }
};

static void encrypt(Node& node, const TTlsIdentity& id, const QTemporaryDir& dir)
{
    node.core.Encrypt = {MakeTlsContext(id), dir.filePath(QString::fromStdString(node.core.Name)).toStdString(),
                         id.Fingerprint()};
}

static bool shown(const FakeView& view, const std::string& text)
{
    return std::any_of(view.lines.begin(), view.lines.end(),
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
    RecordingRelay relay(address(2), address(1), address(3));
    member.view.connectTarget = address(2);
    member.core.K8Click();
    ASSERT_TRUE(waitFor([&] { return hub.core.Seat(1).Named && member.core.lbName()[0] == "Hubert"; }));
    EXPECT_EQ(TKnownHubs(member.core.Encrypt.knownHubs).Lookup(address(2)), hubId.Fingerprint());
    ASSERT_TRUE(member.core.Say("secret one"));
    ASSERT_TRUE(hub.core.Say("secret two"));
    ASSERT_TRUE(waitFor([&] { return shown(hub.view, "secret one") && shown(member.view, "secret two"); }));
    for (const char* clear : {"Hubert", "Mallory", "secret"})
        EXPECT_EQ(relay.wire.find(clear), std::string::npos) << clear;

    // A caller that knows nothing of the offer: admitted in the clear.
    RawClient raw;
    ASSERT_TRUE(raw.Connect(address(1).c_str(), testPort(), address(5).c_str()));
    raw.Send("uRaw\n");
    ASSERT_TRUE(raw.SkipThrough("uHubert\nuMallory\n"));
    raw.Send("1Raw> to all\r\n");
    ASSERT_TRUE(member.core.Say("to raw"));
    EXPECT_TRUE(raw.SkipThrough("1Mallory> to raw\r\n"));
    EXPECT_TRUE(waitFor([&] { return shown(member.view, "Raw> to all"); }));

    // A hub that shows another key than the pinned one is told nothing,
    // unless the user accepts the key.
    Node other(address(6), "Oscar");
    encrypt(other, TTlsIdentity::Create(), dir);
    const std::string wrongKey = TTlsIdentity::Create().Fingerprint();
    ASSERT_TRUE(TKnownHubs(other.core.Encrypt.knownHubs).Pin(address(1), wrongKey));
    other.view.connectTarget = address(1);
    other.core.K8Click();
    const std::string note = txt::kHubKeyChanged + ("\r\n" + wrongKey + "\r\n" + hubId.Fingerprint());
    ASSERT_TRUE(waitFor([&] { return shown(other.view, note); }));
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
