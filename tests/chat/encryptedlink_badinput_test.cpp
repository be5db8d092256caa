// Callers that break the encrypted link every way they can, against a hub
// whose view is the headless hub's journal: each is closed with one journal
// line, the group hears nothing of it, and none outlives the name deadline.
#include "chattest.h"
#include "hubguard.h"
#include "tlsidentity.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>
#include <openssl/ssl.h>

#include <cstdio>

namespace {

// A TLS client over a raw peer's bytes (memory BIOs).
class TlsOverRaw {
public:
    explicit TlsOverRaw(RawClient& raw) : FRaw(raw)
    {
        BIO_set_mem_eof_return(FIn, -1);
        SSL_set_bio(FSsl.get(), FIn, BIO_new(BIO_s_mem()));
        SSL_set_connect_state(FSsl.get());
    }
    // Its hello, not sent.
    std::string Hello() { return SSL_do_handshake(FSsl.get()), pending(); }
    // The handshake, then an empty line inside.
    bool Handshake()
    {
        return waitFor([&] {
            const std::string got = FRaw.Take();
            BIO_write(FIn, got.data(), int(got.size()));
            const bool done = SSL_do_handshake(FSsl.get()) == 1 && SSL_write(FSsl.get(), "\n", 1) == 1;
            FRaw.Send(pending());
            return done;
        });
    }

private:
    std::string pending()
    {
        std::string bytes(BIO_ctrl_pending(SSL_get_wbio(FSsl.get())), '\0');
        BIO_read(SSL_get_wbio(FSsl.get()), bytes.data(), int(bytes.size()));
        return bytes;
    }
    RawClient& FRaw;
    std::shared_ptr<SSL_CTX> FCtx = MakeTlsContext(TTlsIdentity::Create());
    std::unique_ptr<SSL, void (*)(SSL*)> FSsl{SSL_new(FCtx.get()), SSL_free};
    BIO* FIn = BIO_new(BIO_s_mem());
};

struct Case {
    const char* name;
    std::function<void(RawClient&)> after; // what the caller does after go
    const std::string& journal;
};

void handshakeThen(RawClient& raw, const std::string& bytes)
{
    ASSERT_TRUE(TlsOverRaw(raw).Handshake());
    raw.Send(bytes);
}

const Case kCases[] = {
    {"AcceptThenSilence", [](RawClient&) {}, txt::kJournalTlsStalled},
    {"GoAnsweredInTheClear", [](RawClient& r) { r.Send("uEvil\n1Evil> hi\r\n"); }, txt::kJournalTlsBroken},
    {"GarbageInsteadOfTls", [](RawClient& r) { r.Send(std::string(1 << 16, '\x16')); }, txt::kJournalTlsBroken},
    {"HandshakeCut", [](RawClient& r) { r.Send(TlsOverRaw(r).Hello().substr(0, 100)), r.Close(); },
     txt::kJournalTlsBroken},
    {"HugeRecord", [](RawClient& r) { handshakeThen(r, "\x17\x03\x03\xff\xff" + std::string(65535, 'x')); },
     txt::kJournalTlsBadData},
    {"MalformedRecord",
     [](RawClient& r) { handshakeThen(r, std::string("\x17\x03\x03\0\x20", 5) + std::string(32, 'x')); },
     txt::kJournalTlsBadData},
    {"SecondHandshake", [](RawClient& r) { handshakeThen(r, TlsOverRaw(r).Hello()); }, txt::kJournalTlsBadData},
};

} // namespace

class EncryptedLinkBadInput : public ::testing::TestWithParam<Case> {
protected:
    EncryptedLinkBadInput()
    {
        hub.Name = "Hub";
        hub.Encrypt = {MakeTlsContext(TTlsIdentity::Create()), {}, {}}; // a hub pins no key
        hub.StartServer();
    }
    std::unique_ptr<FILE, int (*)(FILE*)> file{std::tmpfile(), std::fclose};
    THubView view{false, "", fileno(file.get()), fileno(file.get())};
    TChatCore hub{&view, address(1), testPortText(), address(1)};
};

TEST_P(EncryptedLinkBadInput, ClosedWithAJournalLineAndNothingForTheGroup)
{
    RawClient member, caller;
    member.dropNegotiation = caller.dropNegotiation = false; // both hear the offer
    ASSERT_TRUE(member.Connect(address(1).c_str(), testPort(), address(2).c_str()));
    ASSERT_TRUE(member.Expect("eoffer 1\n"));
    member.Send("uB\n");
    ASSERT_TRUE(member.SkipThrough("uHub\n") && waitFor([&] { return hub.Seat(1).Named; }));

    QElapsedTimer since;
    since.start();
    ASSERT_TRUE(caller.Connect(address(1).c_str(), testPort(), address(3).c_str()));
    ASSERT_TRUE(caller.Expect("eoffer 1\n"));
    caller.Send("eaccept 1\nuEvil"); // no line inside begins with a tail in the clear
    ASSERT_TRUE(caller.Expect("ego 1\n"));
    GetParam().after(caller);
    ASSERT_TRUE(waitFor([&] { return !hub.SeatConnected(2); }, THubGuard::kNameWaitMs + 1000));
    EXPECT_LT(since.elapsed(), THubGuard::kNameWaitMs + 500);

    // The journal, without its time stamps: B's arrival and that B talks in
    // the clear, then the caller.
    std::vector<std::string> lines;
    char buf[512];
    view.Flush();
    for (std::rewind(file.get()); std::fgets(buf, sizeof buf, file.get());)
        lines.emplace_back(buf + 20);
    ASSERT_EQ(lines.size(), 3u); // B is linked in the clear: noted once
    EXPECT_EQ(lines[2], sjis::decode(GetParam().journal).toStdString() + " (" + address(3) + ")\n");
    // The member heard where the next hub is, nothing else: no name, chat
    // or leave line before the hub's own.
    const std::string mark = "1Hub> after\r\n";
    ASSERT_TRUE(hub.Say("after"));
    ASSERT_TRUE(waitFor([&] { return member.received.find(mark) != std::string::npos; }));
    const std::string heard = "\n" + member.received.substr(0, member.received.find(mark));
    for (const char* kind : {"\nu", "\nc", "\n1"})
        EXPECT_EQ(heard.find(kind), std::string::npos) << RawClient::Shown(heard);
}

INSTANTIATE_TEST_SUITE_P(Caller, EncryptedLinkBadInput, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& i) { return std::string(i.param.name); });
