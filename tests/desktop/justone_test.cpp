// The single-instance guard with real processes: copies of a small program
// that takes the guard exactly as the chat program does.
#include "justone.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include "testkit.h"
#include "qtprint.h"

#include <memory>
#include <signal.h>

namespace {

class JustOne : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FRoot.isValid());
        QDir(FRoot.path()).mkpath(QStringLiteral("runtime"));
        QFile::setPermissions(FRoot.path() + QStringLiteral("/runtime"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // Copies the probe to FOLDER/NAME and returns its path.
    QString Copy(const QString& folder, const QString& name)
    {
        const QString dir = FRoot.path() + QLatin1Char('/') + folder;
        QDir().mkpath(dir);
        const QString path = dir + QLatin1Char('/') + name;
        EXPECT_TRUE(QFile::copy(QStringLiteral(PROBE_PATH), path));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }

    // The environment of every copy: the test's own runtime folder.
    QProcessEnvironment Environment()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), FRoot.path() + QStringLiteral("/runtime"));
        return env;
    }

    // Reads the next line a running copy says.
    static QString NextLine(QProcess& p)
    {
        while (!p.canReadLine() && p.state() == QProcess::Running)
            p.waitForReadyRead(10000);
        return QString::fromLatin1(p.readLine()).trimmed();
    }

    // Starts a copy and returns once it said whether it holds the guard.
    std::unique_ptr<QProcess> Start(const QString& path, QString* said)
    {
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(Environment());
        p->start(path, {});
        EXPECT_TRUE(p->waitForStarted(10000));
        *said = NextLine(*p);
        return p;
    }

    // A second instance ends by itself, quietly and with success.
    void ExpectRefused(const QString& path)
    {
        QString said;
        auto p = Start(path, &said);
        EXPECT_EQ(said, QStringLiteral("second"));
        EXPECT_TRUE(p->waitForFinished(10000));
        EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p->exitCode(), 0);
    }

    void Stop(QProcess& p)
    {
        p.closeWriteChannel();
        EXPECT_TRUE(p.waitForFinished(10000));
    }
    // Started as the first holder of the name, then killed: its lock file
    // and socket stay behind.
    void StartFirstAndKill(const QString& path)
    {
        QString said;
        auto p = Start(path, &said);
        ASSERT_EQ(said, QStringLiteral("first"));
        ::kill(static_cast<pid_t>(p->processId()), SIGKILL);
        EXPECT_TRUE(p->waitForFinished(10000));
    }

    QTemporaryDir FRoot;
};

TEST_F(JustOne, DifferentFileNamesRunSideBySide)
{
    QString a, b;
    auto first = Start(Copy(QStringLiteral("x"), QStringLiteral("pelmora-a")), &a);
    auto second = Start(Copy(QStringLiteral("x"), QStringLiteral("pelmora-b")), &b);
    EXPECT_EQ(a, QStringLiteral("first"));
    EXPECT_EQ(b, QStringLiteral("first"));
    Stop(*first);
    Stop(*second);
}

TEST_F(JustOne, SameFileNameInAnotherFolderIsRefusedAndTheFirstIsUntouched)
{
    QString said;
    auto first = Start(Copy(QStringLiteral("one"), QStringLiteral("pelmora")), &said);
    ASSERT_EQ(said, QStringLiteral("first"));
    ExpectRefused(Copy(QStringLiteral("two"), QStringLiteral("pelmora")));
    ExpectRefused(Copy(QStringLiteral("one/again"), QStringLiteral("pelmora")));
    // The first one still runs and still holds the name.
    EXPECT_EQ(first->state(), QProcess::Running);
    ExpectRefused(Copy(QStringLiteral("three"), QStringLiteral("pelmora")));
    Stop(*first);
    EXPECT_EQ(first->exitCode(), 0);
}

TEST_F(JustOne, TheNameIsFreeAgainAfterTheFirstEndsOrIsKilled)
{
    const QString path = Copy(QStringLiteral("k"), QStringLiteral("pelmora"));
    QString said;
    auto first = Start(path, &said);
    ASSERT_EQ(said, QStringLiteral("first"));
    Stop(*first);

    StartFirstAndKill(path);

    // The lock file is still there, but a killed holder holds nothing.
    auto third = Start(path, &said);
    EXPECT_EQ(said, QStringLiteral("first"));
    Stop(*third);
}

// The real program, started a second time under the same file name, asks
// the first to show its window and ends with success; a socket left behind
// by a killed first instance does not get in the way.
TEST_F(JustOne, ASecondStartOfTheProgramRaisesTheFirstAfterAKilledOneToo)
{
    const QString first = Copy(QStringLiteral("one"), QStringLiteral("pelmora"));
    StartFirstAndKill(first);
    QString said;

    auto running = Start(first, &said);
    ASSERT_EQ(said, QStringLiteral("first"));

    const QString second = FRoot.path() + QStringLiteral("/two/pelmora");
    QDir().mkpath(FRoot.path() + QStringLiteral("/two"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(PELMORA_PATH), second));
    QFile::setPermissions(second, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcess program;
    QProcessEnvironment env = Environment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), FRoot.path() + QStringLiteral("/config"));
    env.insert(QStringLiteral("PELMORA_ADDRESS"), QString::fromStdString(testkit::address(1)));
    program.setProcessEnvironment(env);
    program.start(second, {});
    ASSERT_TRUE(program.waitForFinished(20000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);

    EXPECT_EQ(NextLine(*running), QStringLiteral("raise"));
    Stop(*running);
}

} // namespace
