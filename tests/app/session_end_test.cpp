// The end of a session and a crash, with the real program in child
// processes on their own folders: SIGKILL keeps the conversation (the
// automatic log already holds every line, and the next start turns the
// spool into a log, byte for byte); SIGTERM ends as closing the window does:
// settings written, no spool left.
#include "testkit.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include "qtprint.h"

#include <memory>

namespace {

constexpr const char* kAddr = "127.62.0.1";

class SessionEnd : public ::testing::Test {
protected:
    QString At(const QString& sub) const { return FRoot.path() + QLatin1Char('/') + sub; }

    // Starts the program and returns once it listens.
    std::unique_ptr<QProcess> Start()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* v : {"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR", "TMPDIR"})
            env.insert(QLatin1String(v), At(QString::fromLatin1(v).toLower()));
        QDir().mkpath(At(QStringLiteral("xdg_runtime_dir")));
        QFile::setPermissions(At(QStringLiteral("xdg_runtime_dir")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("PELMORA_ADDRESS"), QLatin1String(kAddr));
        env.insert(QStringLiteral("PELMORA_PORT"), QString::number(FPort));
        env.remove(QStringLiteral("PELMORA_UNATTENDED"));
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(env);
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(QStringLiteral(PELMORA_PATH), {});
        EXPECT_TRUE(p->waitForStarted(10000));
        // Nothing to wait on but the port: try it while the program starts.
        for (int i = 0; i < 500 && !FPeer.Connect(kAddr, FPort); ++i)
            QTest::qWait(20);
        EXPECT_TRUE(FPeer.Open());
        return p;
    }

    QByteArray Read(const QString& path) const
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QStringList Files(const QString& folder, const QString& pattern) const
    {
        QStringList r;
        for (const QString& n : QDir(At(folder)).entryList({pattern}, QDir::Files))
            r << At(folder) + QLatin1Char('/') + n;
        return r;
    }
    // Files on disk have no event to wait for: look every few milliseconds.
    bool Holds(const QString& folder, const QString& pattern, const QByteArray& bytes, QByteArray* all = nullptr)
    {
        return testkit::waitFor([&] {
            QTest::qWait(10);
            const QStringList f = Files(folder, pattern);
            if (all && !f.isEmpty())
                *all = Read(f.first());
            return f.size() == 1 && Read(f.first()).contains(bytes);
        });
    }

    QTemporaryDir FRoot;
    int FPort = testkit::freePort();
    testkit::RawClient FPeer;
};

TEST_F(SessionEnd, KillKeepsEveryLineAndTermClosesCleanly)
{
    {
        QDir().mkpath(At(QStringLiteral("xdg_config_home/tovanit")));
        QFile conf(At(QStringLiteral("xdg_config_home/tovanit/pelmora.conf")));
        ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
        conf.write("[log]\nAuto=1\n");
    }
    auto first = Start();
    FPeer.Send("utester\n1tester> one\n1tester> \x82\xA0\x82\xA2\n");
    const QByteArray lines("tester> one\r\ntester> \x82\xA0\x82\xA2\r\n");
    const QString daily = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".log");
    QByteArray spool;
    ASSERT_TRUE(Holds(QStringLiteral("xdg_data_home/pelmora/logs"), daily, lines));
    ASSERT_TRUE(Holds(QStringLiteral("xdg_cache_home/pelmora"), QStringLiteral("pelmora-*.spool"), lines, &spool));
    first->kill();
    ASSERT_TRUE(first->waitForFinished(10000));
    FPeer.Close();

    auto second = Start();
    ASSERT_TRUE(Holds(QStringLiteral("xdg_data_home/pelmora/logs"), QStringLiteral("*_*.log"), lines));
    EXPECT_EQ(Read(Files(QStringLiteral("xdg_data_home/pelmora/logs"), QStringLiteral("*_*.log")).value(0)), spool);
    EXPECT_TRUE(Read(Files(QStringLiteral("xdg_data_home/pelmora/logs"), daily).value(0)).endsWith(lines));

    // The settings file goes; the end of the session writes it again.
    ASSERT_TRUE(QFile::remove(At(QStringLiteral("xdg_config_home/tovanit/pelmora.conf"))));
    second->terminate();
    ASSERT_TRUE(second->waitForFinished(10000));
    EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second->exitCode(), 0);
    const QByteArray conf = Read(At(QStringLiteral("xdg_config_home/tovanit/pelmora.conf")));
    EXPECT_TRUE(conf.contains("Auto=1")) << conf.toStdString();
    EXPECT_TRUE(conf.contains("Zoom=0")) << conf.toStdString();
    EXPECT_EQ(Files(QStringLiteral("xdg_cache_home/pelmora"), QStringLiteral("*.spool")), QStringList());
}

} // namespace
