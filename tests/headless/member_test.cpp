// pelmora --join as child processes with no display, on 127.64.2.0/24: a
// member chats through the headless hub (CP932 on the wire, UTF-8 on its
// terminal), refuses a line CP932 cannot carry, leaves at the end of its
// input; joins that fail end it with 1 and the reason; two members regroup
// when their hub is killed; encrypted, nothing crosses a relay in the clear;
// a changed hub key ends it until the old key is forgotten.
#include "../chat/chattest.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const char* kHub = "127.64.2.1";

} // namespace

TEST(ConsoleMember, ChatsBothWaysAndLeavesAtTheEndOfInput)
{
    HeadlessHub hub;
    ASSERT_TRUE(hub.Start(kHub, testPort(), "ハブ")) << hub.errors;
    RawClient a;
    ASSERT_TRUE(a.Connect(kHub, testPort(), "127.64.2.3"));
    a.Send("uA\n");
    ASSERT_TRUE(hub.Shows("Aがやってきました。 なかよくしてあげてね。"));

    ConsoleMember m;
    ASSERT_TRUE(m.Join("127.64.2.2", testPort(), kHub, "いち"));
    m.Type("こんにちは\n"); // before the join completes: said once it has
    ASSERT_TRUE(m.Shows("おともだち: ハブ、A")) << m.journal << m.errors;
    ASSERT_TRUE(a.SkipThrough("1\x82\xA2\x82\xBF> \x82\xB1\x82\xF1\x82\xC9\x82\xBF\x82\xCD\r\n"));
    a.Send("1A> \x82\xA0\x1B[2J\r\n");
    EXPECT_TRUE(m.Shows("A> あ?[2J"));

    m.Type("snow \xE2\x98\x83 and \xF0\x9F\x98\x80\nnext\n");
    ASSERT_TRUE(waitFor([&] { return a.received.find("\x82\xA2\x82\xBF> next\r\n") != std::string::npos; }));
    EXPECT_EQ(a.received.find("snow"), std::string::npos);
    EXPECT_TRUE(m.Shows("いち> next"));
    EXPECT_TRUE(waitFor([&] {
        return m.errors.find("\xE2\x98\x83 (U+2603) \xF0\x9F\x98\x80 (U+1F600) snow") != std::string::npos;
    })) << m.errors;

    m.EndInput();
    EXPECT_EQ(m.Stop(0), 0);
    EXPECT_TRUE(a.SkipThrough("c\x82\xA2\x82\xBF\n"));
    EXPECT_TRUE(hub.Shows("いちさんが帰りました。またね。"));
}

TEST(ConsoleMember, FailsWithTheReasonWhenNobodyOrAFullHubAnswers)
{
    ConsoleMember nobody;
    ASSERT_TRUE(nobody.Join("127.64.2.11", testPort(), "127.64.2.12", "x"));
    EXPECT_EQ(nobody.Stop(0), 1);
    EXPECT_NE(nobody.errors.find("おともだちがみつかりません。"), std::string::npos) << nobody.errors;

    RawServer full;
    ASSERT_TRUE(full.Listen("127.64.2.13", testPort()));
    full.onAccept = [](RawClient& c) {
        c.Send("1" + txt::kHubFull + "\r\n");
        c.Close();
    };
    ConsoleMember turned;
    ASSERT_TRUE(turned.Join("127.64.2.14", testPort(), "127.64.2.13", "x"));
    EXPECT_EQ(turned.Stop(0), 1);
    EXPECT_NE(turned.errors.find("現在人数がいっぱいです。また後でね。 切断されました。"), std::string::npos)
        << turned.errors;
}

TEST(ConsoleMember, TwoMembersRegroupWhenTheirHubIsKilled)
{
    HeadlessHub hub;
    ASSERT_TRUE(hub.Start(kHub, testPort() + 1, "ハブ")) << hub.errors;
    ConsoleMember ichi, ni;
    ASSERT_TRUE(ichi.Join("127.64.2.22", testPort() + 1, kHub, "ichi"));
    ASSERT_TRUE(ichi.Shows("おともだち: ハブ"));
    ASSERT_TRUE(ni.Join("127.64.2.23", testPort() + 1, kHub, "ni"));
    ASSERT_TRUE(ni.Shows("おともだち: ハブ、ichi"));
    ni.Type("before\n");
    ASSERT_TRUE(ichi.Shows("ni> before"));

    EXPECT_EQ(hub.Stop(SIGKILL), -1);
    ASSERT_TRUE(ni.Shows("おともだち: ichi")) << ni.journal;
    EXPECT_TRUE(ichi.Shows(
        "サーバの人が落ちました。 他の人達が接続してくるかもしれないので、 そのままでしばらく待ってみて下さい。"));
    ni.Type("after\n");
    EXPECT_TRUE(ichi.Shows("ni> after"));
    ni.EndInput();
    EXPECT_EQ(ni.Stop(0), 0);
    EXPECT_TRUE(ichi.Shows("niさんが帰りました。またね。"));
    EXPECT_EQ(ichi.Stop(SIGTERM), 0);
}

TEST(ConsoleMember, ProvesTheGroupWordOrEndsWithTheReason)
{
    QTemporaryDir dir;
    const QString data = QStringLiteral("XDG_DATA_HOME=") + dir.path();
    auto file = [&](const QString& name, const char* text) {
        QFile f(dir.filePath(name));
        f.open(QIODevice::WriteOnly);
        f.write(text);
        return f.fileName();
    };
    const int port = testPort() + 2;
    const QStringList hubArgs{QStringLiteral("--hub"),  QStringLiteral("--address"), QLatin1String(kHub),
                              QStringLiteral("--port"), QString::number(port),       QStringLiteral("--word-file")};
    HeadlessHub empty;
    ASSERT_TRUE(empty.Launch(hubArgs + QStringList{file(QStringLiteral("empty"), "")}, {data}));
    EXPECT_EQ(empty.Stop(0), 2);
    EXPECT_NE(empty.errors.find("合言葉のファイルの1行目が空です"), std::string::npos) << empty.errors;

    HeadlessHub hub;
    ASSERT_TRUE(hub.Launch(
        hubArgs + QStringList{file(QStringLiteral("right"), "kiwi\n"), QStringLiteral("--name"), "ハブ"}, {data}));
    ASSERT_TRUE(waitFor([&] { return !hub.journal.empty(); }, 10000)) << hub.errors;
    const struct {
        const char* word;
        int exit;
        const char* says;
    } rows[] = {{"kiwi\n", 0, ""}, {"melon\n", 1, "合言葉が違います。"}, {nullptr, 1, "--word-file"}};
    int n = 30;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.says);
        QStringList args{QStringLiteral("--join"), QLatin1String(kHub), QStringLiteral("--name"), QStringLiteral("m")};
        if (row.word)
            args << QStringLiteral("--word-file") << file(QString::number(n), row.word);
        ConsoleMember m;
        ASSERT_TRUE(m.Launch(args,
                             {QStringLiteral("PELMORA_ADDRESS=127.64.2.%1").arg(++n),
                              QStringLiteral("PELMORA_PORT=%1").arg(port), QStringLiteral("PELMORA_ENCRYPT=1"), data}));
        if (row.exit == 0) {
            ASSERT_TRUE(m.Shows("おともだち: ハブ")) << m.journal << m.errors;
            m.EndInput();
        }
        EXPECT_EQ(m.Stop(0), row.exit);
        EXPECT_NE(m.errors.find(row.says), std::string::npos) << m.errors;
    }
    EXPECT_TRUE(hub.Shows("合言葉が違うので切りました (アドレス: 127.64.2.32)")) << hub.journal;
}

TEST(ConsoleMember, RefusesAChangedHubKeyUntilTheOldOneIsForgotten)
{
    HeadlessHub hub;
    ASSERT_TRUE(hub.Start(kHub, testPort() + 3, "ハブ")) << hub.errors;
    const size_t at = hub.journal.find("ハブの鍵: ");
    ASSERT_NE(at, std::string::npos) << hub.journal;
    const std::string keyLine = hub.journal.substr(at, hub.journal.find('\n', at) - at); // with "(address)"
    ConsoleMember refused;
    const QString data = QStringLiteral("XDG_DATA_HOME=") + refused.DataDir();
    QFile pins(refused.DataDir() + QStringLiteral("/pelmora/known_hubs"));
    ASSERT_TRUE(QDir().mkpath(refused.DataDir() + QStringLiteral("/pelmora")) && pins.open(QIODevice::WriteOnly));
    std::string oldKey;
    for (int i = 0; i < 32; ++i)
        oldKey += std::string(i ? ":" : "") + "AB";
    pins.write((std::string(kHub) + " " + oldKey + "\n").c_str());
    pins.close();

    ASSERT_TRUE(refused.Join("127.64.2.41", testPort() + 3, kHub, "san"));
    EXPECT_EQ(refused.Stop(0), 1);
    EXPECT_NE(refused.errors.find(oldKey), std::string::npos) << refused.errors;
    EXPECT_NE(refused.errors.find("--forget-hub " + std::string(kHub)), std::string::npos) << refused.errors;
    EXPECT_FALSE(hub.Shows("sanがやってきました。 なかよくしてあげてね。", 200));

    HeadlessChild forget;
    ASSERT_TRUE(forget.Launch({QStringLiteral("--forget-hub"), QLatin1String(kHub)}, {data}));
    EXPECT_EQ(forget.Stop(0), 0);
    EXPECT_NE(forget.journal.find(oldKey), std::string::npos) << forget.journal;
    ConsoleMember accepted;
    ASSERT_TRUE(accepted.Join("127.64.2.42", testPort() + 3, kHub, "san", {data}));
    EXPECT_TRUE(accepted.Shows(keyLine)) << accepted.journal; // the key the hub has
    EXPECT_TRUE(hub.Shows("sanがやってきました。 なかよくしてあげてね。"));
    accepted.EndInput();
    EXPECT_EQ(accepted.Stop(0), 0);
}
