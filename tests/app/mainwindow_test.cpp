// The main window: its settings, its layout rules and its error report.
#include "application.h"
#include "settings.h"
#include "sjis.h"
#include "texts.h"
#include "mainwindow.h"

#include <QDir>
#include <QMenuBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <gtest/gtest.h>
#include "qtprint.h"


namespace {

// Each test gets its own, empty settings folder.
class MainWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FDir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, FDir.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, FDir.path());
    }
    void Store(const QString& group, const QString& key, const QString& value)
    {
        QSettings s(QStringLiteral("tovanit"), QStringLiteral("pelmora"));
        s.setValue(group + QLatin1Char('/') + key, value);
    }
    QString Stored(const QString& key)
    {
        QSettings s(QStringLiteral("tovanit"), QStringLiteral("pelmora"));
        return s.value(key).toString();
    }
    // Every window of this file listens on its own loopback address.
    static TChatPlace Place()
    {
        static int n = 0;
        TChatPlace p;
        p.listenAddr = p.ownAddr = "127.40.1." + std::to_string(++n);
        return p;
    }
    QTemporaryDir FDir;
};

TEST_F(MainWindow, FirstRunUsesTheDefaultsAndWritesThemAtClose)
{
    {
        TTWSChatForm w(QString(), nullptr, Place());
        EXPECT_EQ(w.geometry(), QRect(100, 100, 490, 369));
        EXPECT_EQ(w.Chat->Name, txt::kDefaultNick);
        EXPECT_EQ(w.windowTitle(), sjis::decode(txt::kAppCaption));
        EXPECT_EQ(w.Label1->text(), sjis::decode(txt::kNoFriends));
        EXPECT_FALSE(w.MessageEdit->isEnabled());
        EXPECT_TRUE(w.K8->isEnabled());
        EXPECT_FALSE(w.K9->isEnabled());
        EXPECT_FALSE(w.K5->isEnabled());
        w.show();
        w.close();
    }
    EXPECT_EQ(Stored(QStringLiteral("position/Left")), QStringLiteral("100"));
    EXPECT_EQ(Stored(QStringLiteral("position/Width")), QStringLiteral("490"));
    EXPECT_EQ(Stored(QStringLiteral("user/name")), sjis::decode(txt::kDefaultNick));
}

TEST_F(MainWindow, StoredBoundsAndNickAreRestoredAndAnEmptyNickStaysEmpty)
{
    Store(QStringLiteral("position"), QStringLiteral("Left"), QStringLiteral("120"));
    Store(QStringLiteral("position"), QStringLiteral("Top"), QStringLiteral("130"));
    Store(QStringLiteral("position"), QStringLiteral("Width"), QStringLiteral("600"));
    Store(QStringLiteral("position"), QStringLiteral("Height"), QStringLiteral("400"));
    Store(QStringLiteral("user"), QStringLiteral("name"), QString());
    TTWSChatForm w(QString(), nullptr, Place());
    EXPECT_EQ(w.geometry(), QRect(120, 130, 600, 400));
    EXPECT_EQ(w.Chat->Name, "");
}

TEST_F(MainWindow, GarbageSettingsGiveDefaultsOrAWindowStillOnScreen)
{
    Store(QStringLiteral("position"), QStringLiteral("Left"), QStringLiteral("abc"));
    Store(QStringLiteral("position"), QStringLiteral("Top"), QStringLiteral("-999999"));
    Store(QStringLiteral("position"), QStringLiteral("Width"), QStringLiteral("99999999999999"));
    Store(QStringLiteral("position"), QStringLiteral("Height"), QStringLiteral("-5"));
    TTWSChatForm w(QString(), nullptr, Place());
    const QRect g = w.geometry();
    EXPECT_EQ(g.topLeft(), QPoint(100, 100)); // off screen: brought back
    EXPECT_EQ(g.width(), 490);                // not a 32-bit number: the default
    EXPECT_GE(g.height(), 120);
}

TEST_F(MainWindow, InputBoxFollowsTheWindowWidth)
{
    TTWSChatForm w(QString(), nullptr, Place());
    w.show();
    w.resize(490, 369);
    EXPECT_EQ(w.MessageEdit->width(), 365);
    w.resize(700, 369);
    EXPECT_EQ(w.MessageEdit->width(), 575);
}

TEST_F(MainWindow, PaneKeepsBytesSplitsCrLfAndEnablesSaving)
{
    TTWSChatForm w(QString(), nullptr, Place());
    const std::string odd("\x82", 1); // a lone lead byte survives in the kept lines
    w.AddLine(txt::kDefaultNick + "> a\r\nb" + odd);
    EXPECT_TRUE(w.K5->isEnabled());
    w.FlushPane();
    ASSERT_EQ(w.PaneLines().size(), 2u);
    EXPECT_EQ(w.PaneLines()[1], "b" + odd);
    EXPECT_EQ(w.DisplayMemo->blockCount(), 2);
    EXPECT_EQ(w.DisplayMemo->document()->findBlockByNumber(0).text(),
              sjis::decode(txt::kDefaultNick) + QStringLiteral("> a"));
}

TEST_F(MainWindow, ManyLinesInOneTurnReachThePaneInOneInsertion)
{
    TTWSChatForm w(QString(), nullptr, Place());
    for (int i = 0; i < 5000; ++i)
        w.AddLine("line " + std::to_string(i));
    EXPECT_EQ(w.DisplayMemo->blockCount(), 1); // nothing inserted yet this turn
    QTest::qWait(0);
    QCoreApplication::processEvents();
    EXPECT_EQ(w.DisplayMemo->blockCount(), 5000);
}

TEST_F(MainWindow, UnwritableSettingsAreReportedAtClose)
{
    std::vector<std::string> reported;
    TApplication::ExceptionReporter = [&](const std::string& m) { reported.push_back(m); };
    {
        TTWSChatForm w(QString(), nullptr, Place());
        w.show();
        // A file stands where the settings folder should be: even root
        // cannot write the settings then.
        QFile blocker(FDir.path() + QStringLiteral("/tovanit"));
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        w.close();
    }
    TApplication::ExceptionReporter = nullptr;
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0], txt::kSettingsNotSaved);
}

TEST_F(MainWindow, SavingTheLogWritesThePaneAndDisablesTheCommandUntilTheNextLine)
{
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(FDir.path()));
    std::vector<std::string> reported;
    TApplication::ExceptionReporter = [&](const std::string& m) { reported.push_back(m); };

    TTWSChatForm w(QString(), nullptr, Place());
    w.AddLine("abc");
    w.K5->trigger();
    EXPECT_FALSE(w.K5->isEnabled());
    const QStringList logs = QDir(FDir.path()).entryList({QStringLiteral("*.log")}, QDir::Files);
    ASSERT_EQ(logs.size(), 1);
    QFile f(FDir.filePath(logs[0]));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("abc\r\n"));
    w.AddLine("def");
    EXPECT_TRUE(w.K5->isEnabled());

    // The folder goes away: the failure is shown and the command stays on.
    QTemporaryDir gone;
    ASSERT_TRUE(QDir::setCurrent(gone.path()));
    gone.remove();
    w.K5->trigger();
    QDir::setCurrent(before);
    TApplication::ExceptionReporter = nullptr;
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0].rfind(txt::kLogNotSaved, 0), 0u);
    EXPECT_TRUE(w.K5->isEnabled());
}

TEST_F(MainWindow, RendersForReview)
{
    TTWSChatForm w(QString(), nullptr, Place());
    w.show();
    w.AddLine(txt::kDefaultNick + "> " + txt::kMessageEditInitial);
    w.FlushPane();
    const QString dir = QString::fromLocal8Bit(qgetenv("PELMORA_TEST_BINARY_DIR")) + QStringLiteral("/review");
    QDir().mkpath(dir);
    QImage img(w.size(), QImage::Format_ARGB32);
    img.fill(Qt::white);
    w.render(&img);
    EXPECT_TRUE(img.save(dir + QStringLiteral("/mainwindow.png")));
}

} // namespace
