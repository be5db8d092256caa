// The end of a session and a crash, with the real program in child
// processes on folders of their own: SIGKILL keeps the conversation (the
// automatic log holds every line, the next start turns the spool into a log
// byte for byte); SIGTERM, and SIGHUP when the session's terminal goes, end
// as closing the window does: settings written, no spool left.
#include "testkit.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include "qtprint.h"

#include <csignal>

namespace {

constexpr const char* kAddr = "127.62.0.1";

class SessionEnd : public ::testing::TestWithParam<int> {
protected:
    QString At(const QString& sub) const { return FRoot.path() + QLatin1Char('/') + sub; }
    static QByteArray Read(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // Starts the program and returns once it listens.
    void Start(QProcess& p)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* v :
             {"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR", "TMPDIR"})
            env.insert(QLatin1String(v), At(QString::fromLatin1(v).toLower()));
        QDir().mkdir(At(QStringLiteral("xdg_runtime_dir")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        env.insert(QStringLiteral("PELMORA_ADDRESS"), QLatin1String(kAddr));
        env.insert(QStringLiteral("PELMORA_PORT"), QString::number(FPort));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(PELMORA_PATH), {});
        ASSERT_TRUE(p.waitForStarted(10000));
        // Nothing to wait on but the port: try it while the program starts.
        for (int i = 0; i < 500 && !FPeer.Connect(kAddr, FPort); ++i)
            QTest::qWait(20);
        ASSERT_TRUE(FPeer.Open());
    }

    // The one file in folder matching pattern, once it holds bytes (files on
    // disk have no event to wait for: look every few milliseconds).
    QByteArray Holding(const QString& folder, const QString& pattern, const QByteArray& bytes)
    {
        QByteArray all;
        testkit::waitFor([&] {
            QTest::qWait(10);
            const QStringList f = QDir(At(folder)).entryList({pattern}, QDir::Files);
            all = f.size() == 1 ? Read(At(folder) + QLatin1Char('/') + f[0]) : QByteArray();
            return all.contains(bytes);
        });
        return all;
    }

    QTemporaryDir FRoot;
    int FPort = testkit::freePort();
    testkit::RawClient FPeer;
};

TEST_P(SessionEnd, KillKeepsEveryLineAndTheEndSignalClosesCleanly)
{
    const QString conf = At(QStringLiteral("xdg_config_home/tovanit/pelmora.conf"));
    QSettings(conf, QSettings::IniFormat).setValue(QStringLiteral("log/Auto"), QStringLiteral("1"));
    QProcess first, second;
    Start(first);
    FPeer.Send("utester\n1tester> one\n1tester> \x82\xA0\x82\xA2\n");
    const QByteArray lines("tester> one\r\ntester> \x82\xA0\x82\xA2\r\n");
    const QString logs = QStringLiteral("xdg_data_home/pelmora/logs");
    const QString daily = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".log");
    const QByteArray spool =
        Holding(QStringLiteral("xdg_cache_home/pelmora"), QStringLiteral("pelmora-*.spool"), lines);
    ASSERT_TRUE(spool.endsWith(lines) && Holding(logs, daily, lines).endsWith(lines));
    first.kill();
    ASSERT_TRUE(first.waitForFinished(10000));
    FPeer.Close();

    Start(second);
    EXPECT_EQ(Holding(logs, QStringLiteral("*_*.log"), lines), spool);
    // The settings file goes; the end of the session writes it again.
    ASSERT_TRUE(QFile::remove(conf));
    ::kill(static_cast<pid_t>(second.processId()), GetParam());
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(Read(conf).contains("Auto=1")) << Read(conf).toStdString();
    EXPECT_EQ(QDir(At(QStringLiteral("xdg_cache_home/pelmora"))).entryList({QStringLiteral("*.spool")}), QStringList());
}

INSTANTIATE_TEST_SUITE_P(TermAndHangup, SessionEnd, ::testing::Values(SIGTERM, SIGHUP));

} // namespace
