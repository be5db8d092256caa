// pelmora --hub as a child process with no display, on 127.64.1.0/24: two
// chat cores join it, talk through it and regroup when it is stopped; a
// second hub on the same port ends at once; --quiet and the daily log; the
// end of the terminal ends it as SIGTERM does.
#include "../chat/chattest.h"
#include "hubrun.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const char* kHub = "127.64.1.1";

void joinCore(Node& peer, const std::string& target)
{
    peer.view.connectTarget = target;
    peer.core.K8Click();
}

// The one log file in folder, whole.
std::string theLog(const QString& folder)
{
    const QFileInfoList logs = QDir(folder).entryInfoList({QStringLiteral("*.log")}, QDir::Files);
    QFile f(logs.value(0).filePath());
    return logs.size() == 1 && f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
}

} // namespace

TEST(HubService, RelaysForTwoCoresWhichRegroupWhenItStops)
{
    QTemporaryDir logs;
    HeadlessHub hub;
    ASSERT_TRUE(hub.Start(kHub, testPort(), "ハブ", {QStringLiteral("--log-dir"), logs.path()})) << hub.errors;
    Node ichi("127.64.1.2", "Ichi");
    Node ni("127.64.1.3", "Ni");
    joinCore(ichi, kHub);
    ASSERT_TRUE(waitFor([&] { return ichi.core.LinkConnected() && ichi.core.nuser == 1; }));
    joinCore(ni, kHub);
    ASSERT_TRUE(waitFor([&] { return ichi.core.nuser == 2 && ni.core.nuser == 2; }));
    EXPECT_EQ(ni.core.lbName()[0], "\x83n\x83u"); // the hub's nick, CP932
    EXPECT_EQ(ni.core.NextIP, "127.64.1.2");

    ni.core.Say("\x82\xB1\x82\xF1\x82\xC9\x82\xBF\x82\xCD"); // こんにちは
    ASSERT_TRUE(waitFor([&] { return ichi.view.hasLine("Ni> \x82\xB1\x82\xF1\x82\xC9\x82\xBF\x82\xCD\r"); }));
    ASSERT_TRUE(hub.Shows("Ni> こんにちは"));
    EXPECT_TRUE(hub.Shows("Ichiがやってきました。 なかよくしてあげてね。"));

    // SIGTERM: the hub closes its seats and ends well; the candidate waits
    // and the other one, asked, joins it.
    ni.view.answers = {1};
    EXPECT_EQ(hub.Stop(SIGTERM), 0);
    EXPECT_TRUE(hub.Shows("終了します。", 0));
    ASSERT_TRUE(waitFor([&] { return ichi.core.rbServer && ichi.core.nuser == 1 && ni.core.nuser == 1; }));
    EXPECT_TRUE(ni.core.LinkConnected());
    EXPECT_EQ(ni.core.IPName, "127.64.1.2");
    EXPECT_EQ(ichi.core.lbName()[0], "Ni");

    // The daily log holds what the window's saved log would, in CP932.
    const std::string log = theLog(logs.path());
    EXPECT_NE(log.find("\r\nIchi" + txt::kArrived + "\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("\r\nNi> \x82\xB1\x82\xF1\x82\xC9\x82\xBF\x82\xCD\r\n"), std::string::npos) << log;
}

TEST(HubService, OneHubPerPortAndQuietJournal)
{
    HeadlessHub first;
    ASSERT_TRUE(first.Start("127.64.1.11", testPort(), "First", {QStringLiteral("--quiet")})) << first.errors;

    // The same address and port again: refused at once, with the reason.
    HeadlessHub second;
    EXPECT_FALSE(second.Start("127.64.1.11", testPort(), "Second"));
    EXPECT_EQ(second.Stop(0), kExitListenFailed);
    EXPECT_NE(second.errors.find("着信の待ち受けを開始できませんでした。 (127.64.1.11:"), std::string::npos)
        << second.errors;

    // Quiet: arrivals and departures only; what a peer says is not shown,
    // nor can its control characters steer the terminal of the journal.
    RawClient a;
    ASSERT_TRUE(a.Connect("127.64.1.11", testPort(), "127.64.1.12"));
    a.Send("uA\x1B[2J\n1A> secret\n");
    ASSERT_TRUE(a.SkipThrough("uFirst\n"));
    a.Close();
    ASSERT_TRUE(first.Shows("A?[2Jさんが帰りました。またね。")) << first.journal;
    EXPECT_TRUE(first.Shows("A?[2Jがやってきました。 なかよくしてあげてね。", 0));
    EXPECT_EQ(first.journal.find("secret"), std::string::npos);
}

// SIGHUP (the terminal it ran in goes) ends the hub as SIGTERM does: seats
// closed, log written, exit 0. A control byte in an all-ASCII line is masked
// in the journal as in any other.
TEST(HubService, HangupEndsItAsTermDoes)
{
    QTemporaryDir logs;
    HeadlessHub hub;
    ASSERT_TRUE(hub.Start("127.64.1.21", testPort(), "Hub", {QStringLiteral("--log-dir"), logs.path()})) << hub.errors;
    RawClient a;
    ASSERT_TRUE(a.Connect("127.64.1.21", testPort(), "127.64.1.22"));
    a.Send("uA\n1A> \x1B[2Jbye\x07\r\n");
    ASSERT_TRUE(hub.Shows("A> ?[2Jbye?")) << hub.journal;
    EXPECT_EQ(hub.Stop(SIGHUP), 0);
    EXPECT_TRUE(hub.Shows("終了します。", 0));
    EXPECT_TRUE(a.WaitEof());
    EXPECT_NE(theLog(logs.path()).find("\r\nA> \x1B[2Jbye\x07\r\n"), std::string::npos);
}

TEST(HubService, AHangUpIgnoredAtStartStaysIgnored)
{
    // As nohup starts it: SIGHUP ignored, inherited across exec.
    struct sigaction ignore {
    }, before{};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGHUP, &ignore, &before);
    HeadlessHub hub;
    const bool started = hub.Start("127.64.1.31", testPort(), "Nohup");
    ::sigaction(SIGHUP, &before, nullptr);
    ASSERT_TRUE(started) << hub.errors;
    // A caller answered: the hub's loop runs, its signal watch is set.
    RawClient a, b;
    ASSERT_TRUE(a.Connect("127.64.1.31", testPort(), "127.64.1.32"));
    ASSERT_TRUE(a.SkipThrough("uNohup\n"));
    hub.Signal(SIGHUP);
    ASSERT_TRUE(b.Connect("127.64.1.31", testPort(), "127.64.1.33"));
    EXPECT_TRUE(b.SkipThrough("uNohup\n"));
    EXPECT_FALSE(hub.Shows("終了します。", 300));
    EXPECT_TRUE(hub.Running());
    EXPECT_EQ(hub.Stop(SIGTERM), 0);
}
