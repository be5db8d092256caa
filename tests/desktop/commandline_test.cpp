// The command line: the real program answers --help and --version with no
// display at all, refuses what it does not understand with exit code 2, and
// without a display says so in one line and exits 1.
#include "commandline.h"
#include "desktopsetup.h"
#include "pelmora_version.h"

#include <QApplication>
#include <QProcess>
#include <gtest/gtest.h>
#include "qtprint.h"

namespace {

struct Outcome {
    int code;
    QString out, err;
};

// Runs the program with no display and no platform chosen.
Outcome RunProgram(const QStringList& args, const QString& display = QString())
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(v));
    if (!display.isEmpty())
        env.insert(QStringLiteral("DISPLAY"), display);
    env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(PELMORA_PATH), args);
    EXPECT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

TEST(CommandLine, HelpAndVersionNeedNoDisplay)
{
    const Outcome help = RunProgram({QStringLiteral("--help")});
    EXPECT_EQ(help.code, 0);
    EXPECT_TRUE(help.out.contains(QStringLiteral("--version"))) << help.out.toStdString();
    EXPECT_TRUE(help.err.isEmpty()) << help.err.toStdString();

    const Outcome version = RunProgram({QStringLiteral("-v")});
    EXPECT_EQ(version.code, 0);
    EXPECT_EQ(version.out, QStringLiteral("pelmora " PELMORA_VERSION "\n"));
}

TEST(CommandLine, UnknownOptionsExitWithTwoAndExtraAddressesAreIgnored)
{
    const Outcome bad = RunProgram({QStringLiteral("--bogus"), QStringLiteral("10.0.0.1")});
    EXPECT_EQ(bad.code, 2);
    EXPECT_TRUE(bad.err.contains(QStringLiteral("--bogus"))) << bad.err.toStdString();
    EXPECT_TRUE(bad.out.isEmpty());

    const TCommandLine two = TCommandLine::Parse({QStringLiteral("pelmora"), QStringLiteral("a"), QStringLiteral("b")});
    EXPECT_TRUE(two.run);
    EXPECT_EQ(two.address, QStringLiteral("a"));
}

TEST(CommandLine, NoDisplayIsOneLineAndExitOne)
{
    for (const QString& display : {QString(), QStringLiteral(":97")}) {
        const Outcome r = RunProgram({}, display);
        EXPECT_EQ(r.code, 1) << display.toStdString();
        EXPECT_EQ(r.err.count(QLatin1Char('\n')), 1) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }
}

TEST(CommandLine, TheAddressAndTheWindowSystemsOptions)
{
    struct Row {
        QStringList args;
        bool run;
        QString address;
        QString join = QString();
    };
    const Row rows[] = {
        {{}, true, QString()},
        {{QStringLiteral("192.0.2.7")}, true, QStringLiteral("192.0.2.7")},
        {{QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("host.lan")},
         true,
         QStringLiteral("host.lan")},
        {{QStringLiteral("--style=fusion"), QStringLiteral("-reverse")}, true, QString()},
        {{QStringLiteral("-x")}, false, QString()},
        {{QStringLiteral("--join"), QStringLiteral("hub.example"), QStringLiteral("--name=build")},
         true,
         QString(),
         QStringLiteral("hub.example")},
        {{QStringLiteral("--join=a"), QStringLiteral("b")}, false, QStringLiteral("b"), QStringLiteral("a")},
        {{QStringLiteral("--join=a"), QStringLiteral("--hub")}, false, QString()},
        {{QStringLiteral("--join=a"), QStringLiteral("--port=1")}, false, QString()},
        {{QStringLiteral("--join=")}, false, QString()},
    };
    for (const Row& row : rows) {
        const TCommandLine c = TCommandLine::Parse(QStringList{QStringLiteral("/usr/bin/pelmora")} + row.args);
        EXPECT_EQ(c.run, row.run) << row.args.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(c.address, row.address);
        EXPECT_EQ(c.joinAddress, row.join);
        if (c.run && c.join) {
            EXPECT_EQ(c.name, QStringLiteral("build"));
        }
    }
}

TEST(Desktop, QtsOwnTextsSpeakJapaneseAndTheDesktopKnowsTheProgram)
{
    SetUpDesktop(*qApp);
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("キャンセル"));
    EXPECT_EQ(QCoreApplication::translate("QLineEdit", "Select All"), QStringLiteral("すべてを選択"));
    EXPECT_EQ(QGuiApplication::desktopFileName(), QStringLiteral("jp.tovanit.pelmora"));
    EXPECT_EQ(QCoreApplication::applicationVersion(), QStringLiteral(PELMORA_VERSION));
}

} // namespace
