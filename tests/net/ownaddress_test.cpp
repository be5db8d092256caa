// The own-address component: own address rules, target writers, error
// texts and the notification dispatch.
#include "ownaddress.h"
#include "texts.h"

#include <arpa/inet.h>
#include <cstdlib>
#include <stdexcept>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

bool IsDottedIPv4(const std::string& s)
{
    in_addr a;
    return inet_pton(AF_INET, s.c_str(), &a) == 1;
}

struct EnvGuard {
    explicit EnvGuard(const char* value)
    {
        if (const char* old = std::getenv("PELMORA_ADDRESS"))
            FOld = old, FHad = true;
        if (value)
            setenv("PELMORA_ADDRESS", value, 1);
        else
            unsetenv("PELMORA_ADDRESS");
    }
    ~EnvGuard()
    {
        if (FHad)
            setenv("PELMORA_ADDRESS", FOld.c_str(), 1);
        else
            unsetenv("PELMORA_ADDRESS");
    }
    std::string FOld;
    bool FHad = false;
};

TEST(SirSock, OwnAddressIsFoundOnceAndCannotBeWritten)
{
    EnvGuard env(nullptr);
    TSirSock sock;
    char host[256] = {};
    ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
    EXPECT_EQ(sock.SelfName(), host);
    EXPECT_EQ(sock.ErrorNumber, 0);
    const std::string own = sock.SelfIPAddress();
    EXPECT_TRUE(IsDottedIPv4(own)) << own;

    sock.SetSelfIPAddress("10.9.8.7");
    sock.SetSelfName("elsewhere");
    EXPECT_EQ(sock.SelfIPAddress(), own);
    EXPECT_EQ(sock.SelfName(), host);
    EXPECT_FALSE(sock.ServerMode);
    EXPECT_EQ(sock.ErrorMessage(), "");
}

TEST(SirSock, PelmoraAddressIsTheOwnAddress)
{
    EnvGuard env("127.30.1.7");
    TSirSock sock;
    EXPECT_EQ(sock.SelfIPAddress(), "127.30.1.7");
    EXPECT_FALSE(sock.SelfName().empty());
}

TEST(SirSock, TargetHostResolvesOnEveryWrite)
{
    TSirSock sock;
    sock.SetHost("127.30.2.3");
    EXPECT_EQ(sock.TargetHost(), "127.30.2.3");
    EXPECT_EQ(sock.TargetIPAddress(), "127.30.2.3");

    sock.SetHost("localhost");
    EXPECT_EQ(sock.TargetIPAddress(), "127.0.0.1");
    sock.SetTargetIPAddress("stale");
    sock.SetHost("localhost"); // same text: resolved again
    EXPECT_EQ(sock.TargetIPAddress(), "127.0.0.1");
}

TEST(SirSock, TargetServiceLooksUpOnlyOnChange)
{
    TSirSock sock;
    sock.SetService("http");
    EXPECT_EQ(sock.TargetPort, 80);
    sock.TargetPort = 5;
    sock.SetService("http"); // unchanged text: no lookup
    EXPECT_EQ(sock.TargetPort, 5);
    sock.SetService("no-such-service-here");
    EXPECT_EQ(sock.TargetService(), "no-such-service-here");
    EXPECT_EQ(sock.TargetPort, 5); // not found: kept
}

TEST(SirSock, ErrorMessages)
{
    // No error, the edges of the table, and unknown codes shown padded.
    EXPECT_EQ(TSirSock::ErrorText(0), "");
    EXPECT_EQ(TSirSock::ErrorText(10004), txt::kSirErr10004);
    EXPECT_EQ(TSirSock::ErrorText(11004), txt::kSirErr11004);
    EXPECT_EQ(TSirSock::ErrorText(7), txt::kSirUnknownError + "  7]");
    EXPECT_EQ(TSirSock::ErrorText(-1), txt::kSirUnknownError + " -1]");
    EXPECT_EQ(TSirSock::ErrorText(11005), txt::kSirUnknownError + "11005]");

    // The failure path: the socket's error number becomes the exception text.
    TSirSock sock;
    sock.ErrorNumber = 10091;
    const ECommError e(sock.ErrorMessage());
    EXPECT_EQ(e.Message(), txt::kSockErrorPrefix + txt::kSirErr10091);
    EXPECT_EQ(e.ErrorText(), txt::kSirErr10091);
}

TEST(SirSock, NotificationsReachTheirEvents)
{
    TSirSock sock;
    std::vector<std::string> seen;
    // Unbound receive: the auto-reset data event.
    sock.WndProc(TSirSock::WM_SIRSOCK, 5, TSirSock::FD_READ);
    EXPECT_TRUE(sock.TakeDataEvent());
    EXPECT_FALSE(sock.TakeDataEvent());

    sock.onReceive = [&](TSirSock* s, int S) {
        EXPECT_EQ(s, &sock);
        seen.push_back("read " + std::to_string(S));
    };
    sock.onConnect = [&](TSirSock*, int S) { seen.push_back("connect " + std::to_string(S)); };
    sock.onClose = [&](TSirSock*, int S) { seen.push_back("close " + std::to_string(S)); };
    sock.onAccept = [&](TSirSock*, int, const std::string&) { seen.push_back("accept"); };

    sock.WndProc(TSirSock::WM_SIRSOCK, 5, TSirSock::FD_READ);
    sock.WndProc(TSirSock::WM_SIRSOCK, 6, TSirSock::FD_CONNECT);
    sock.WndProc(TSirSock::WM_SIRSOCK, 7, TSirSock::FD_CLOSE);
    sock.WndProc(TSirSock::WM_SIRSOCK, 8, TSirSock::FD_ACCEPT);                // no socket of its own: nothing
    sock.WndProc(TSirSock::WM_SIRSOCK, 9, TSirSock::FD_READ | (10054u << 16)); // error half set
    sock.WndProc(TSirSock::WM_SIRSOCK, 9, 2);                                  // write: not handled
    sock.WndProc(TSirSock::WM_SIRSOCK + 1, 9, TSirSock::FD_READ);
    EXPECT_EQ(seen, (std::vector<std::string>{"read 5", "connect 6", "close 7"}));
    EXPECT_FALSE(sock.TakeDataEvent());

    // A throwing handler is contained; the next notification still works.
    sock.onClose = [](TSirSock*, int) { throw std::runtime_error("boom"); };
    EXPECT_NO_THROW(sock.WndProc(TSirSock::WM_SIRSOCK, 7, TSirSock::FD_CLOSE));
    sock.WndProc(TSirSock::WM_SIRSOCK, 5, TSirSock::FD_READ);
    EXPECT_EQ(seen.back(), "read 5");
}

} // namespace
