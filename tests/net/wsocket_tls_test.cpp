// TLS inside the socket component: two components through a recording
// relay, and a raw peer that does not speak TLS.
#include "nettest.h"
#include "tlsidentity.h"

using namespace nettest;

namespace {

// Forwards every byte between a member and a hub and keeps a copy.
struct RecordingRelay {
    Listener hub{address(1)};
    Listener relay{address(2)};
    TWSocket toHub, member;
    std::string wire;

    ::testing::AssertionResult open()
    {
        connectTo(toHub, address(1), hub.port);
        if (!waitFor([&] { return hub.accepted.size() == 1 && toHub.State() == wsConnected; }))
            return ::testing::AssertionFailure() << "the relay did not reach the hub";
        relay.prepare = [&](TWSocket& s) { s.OnDataAvailable = forward(toHub); };
        toHub.OnDataAvailable = [&](TCustomWSocket* s, uint16_t e) { forward(*relay.accepted[0])(s, e); };
        connectTo(member, address(2), relay.port);
        if (!waitFor([&] { return relay.accepted.size() == 1 && member.State() == wsConnected; }))
            return ::testing::AssertionFailure() << "the member did not reach the relay";
        return ::testing::AssertionSuccess();
    }
    TWSocket& seat() { return *hub.accepted[0]; }
    TDataAvailable forward(TWSocket& to)
    {
        return [&](TCustomWSocket* s, uint16_t) {
            char buf[8192];
            const int n = s->Receive(buf, sizeof buf);
            if (n > 0) {
                wire.append(buf, static_cast<size_t>(n));
                to.Send(buf, n);
            }
        };
    }
};

// Reads in small pieces, so plaintext is left waiting inside TLS.
TDataAvailable collectSlowly(std::string& out)
{
    return [&out](TCustomWSocket* s, uint16_t) {
        char buf[100];
        const int n = s->Receive(buf, sizeof buf);
        if (n > 0)
            out.append(buf, static_cast<size_t>(n));
    };
}

} // namespace

TEST(WSocketTls, LinesBothWaysAndNothingInTheClear)
{
    const TTlsIdentity hubId = TTlsIdentity::Create(), memberId = TTlsIdentity::Create();
    RecordingRelay r;
    ASSERT_TRUE(r.open());
    std::string atHub, atMember;
    int done = 0;
    r.seat().OnDataAvailable = collectInto(atHub);
    r.member.OnDataAvailable = collectSlowly(atMember);
    r.seat().OnTlsDone = r.member.OnTlsDone = [&](TCustomWSocket*, uint16_t e) { done += e == 0; };
    r.seat().StartTls(MakeTlsContext(hubId), true);
    r.member.StartTls(MakeTlsContext(memberId), false);
    // Sent while the handshake is still under way: it waits, then goes.
    const std::string sent = "u\x83\x70\x83\x8B\n1secret words\r\n";
    r.member.SendStr(sent);
    ASSERT_TRUE(waitFor([&] { return done == 2; }));
    EXPECT_EQ(r.member.TlsPeerFingerprint(), hubId.Fingerprint());
    EXPECT_EQ(r.seat().TlsPeerFingerprint(), memberId.Fingerprint());

    std::string many;
    for (int i = 0; many.size() < 200 * 1024; ++i)
        many += "1line " + std::to_string(i) + "\r\n";
    r.seat().SendStr(many);
    ASSERT_TRUE(waitFor([&] { return atMember.size() == many.size() && atHub.size() == sent.size(); }));
    EXPECT_EQ(atMember, many);
    EXPECT_EQ(atHub, sent);
    EXPECT_EQ(r.wire.find("secret"), std::string::npos);
    EXPECT_EQ(r.wire.find("line 1"), std::string::npos);
    EXPECT_EQ(r.wire.find("\x83\x70\x83\x8B"), std::string::npos);
}

namespace {

struct BadPeer {
    const char* bytes;
    int deadlineMs;
    int error;
};

class WSocketTlsBadPeer : public ::testing::TestWithParam<BadPeer> { };

} // namespace

TEST_P(WSocketTlsBadPeer, ClosedWithAnError)
{
    const BadPeer& b = GetParam();
    LoopbackPair p(address(3));
    ASSERT_TRUE(p.connect());
    int closed = -1;
    bool heard = false;
    p.seat->OnSessionClosed = [&](TCustomWSocket*, uint16_t e) { closed = e; };
    p.seat->OnDataAvailable = p.seat->OnTlsDone = [&](TCustomWSocket*, uint16_t) { heard = true; };
    p.seat->StartTls(MakeTlsContext(TTlsIdentity::Create()), true, b.deadlineMs);
    std::string bytes(b.bytes);
    bytes.resize(std::max<size_t>(bytes.size(), 4096), 'x');
    if (b.bytes[0] != '\0')
        p.peerSend(bytes);
    ASSERT_TRUE(waitFor([&] { return closed >= 0; }));
    EXPECT_EQ(closed, b.error);
    EXPECT_EQ(p.seat->State(), wsClosed);
    EXPECT_FALSE(heard);
}

INSTANTIATE_TEST_SUITE_P(Peers, WSocketTlsBadPeer,
                         ::testing::Values(BadPeer{"u\x83\x70\n1hello\r\n", kTlsHandshakeMs, WSAECONNABORTED},
                                           BadPeer{"\x16\x03\x01\x7f\xff", kTlsHandshakeMs, WSAECONNABORTED},
                                           BadPeer{"", 200, WSAETIMEDOUT}));
