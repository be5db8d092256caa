// The main window: its settings, its layout rules and its error report.
#include "windowkit.h"
#include "application.h"
#include "settings.h"
#include "sjis.h"
#include "texts.h"
#include "mainwindow.h"
#include "modaldialog.h"
#include "hubguardui.h"
#include "worddialog.h"
#include <QLabel>
#include <QLineEdit>
#include <deque>
#include "chatcore.h"

#include <QDir>
#include <QListWidget>
#include <QMenuBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include "qtprint.h"

namespace {

// Each test gets its own, empty settings folder.
class MainWindow : public testkit::WindowTest { };

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
    Store(QStringLiteral("pane"), QStringLiteral("Scrollback"), QStringLiteral("2000000000"));
    TTWSChatForm w(QString(), nullptr, Place());
    EXPECT_EQ(w.Conversation->Scrollback(), TConversation::kMaxScrollback);
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

TEST_F(MainWindow, PaneSplitsCrLfAndEnablesSaving)
{
    TTWSChatForm w(QString(), nullptr, Place());
    w.ShowEvent(TChatEvent::Note(txt::kDefaultNick + "> a\r\nb\rc\r"));
    EXPECT_TRUE(w.K5->isEnabled());
    EXPECT_EQ(w.DisplayMemo->toPlainText(), QString()); // never inside the turn that adds
    w.FlushPane();
    EXPECT_EQ(w.DisplayMemo->toPlainText(), sjis::decode(txt::kDefaultNick) + QStringLiteral("> a\nb c"));
}

// A flood far beyond the scrollback limit: the log still holds every line as
// its bytes, the pane the last lines only, in order; lines trimmed at once
// are never inserted, and the pane is filled by several short updates.
TEST_F(MainWindow, AFloodKeepsEveryLineInTheLogAndOnlyTheLimitInThePane)
{
    Store(QStringLiteral("pane"), QStringLiteral("Scrollback"), QStringLiteral("3000"));
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(FDir.path()));
    TTWSChatForm w(QString(), nullptr, Place());
    qint64 charsInserted = 0;
    QObject::connect(w.DisplayMemo->document(), &QTextDocument::contentsChange,
                     [&](int, int, int added) { charsInserted += added; });

    const auto line = [](int i) { return "x> " + std::to_string(i) + std::string("\x82\xA0\x82", 3); };
    QByteArray log;
    const qint64 t0 = QDateTime::currentMSecsSinceEpoch();
    for (int i = 0; i < 8000; ++i) {
        w.ShowEvent(TChatEvent::ChatLine(line(i)));
        log += QByteArray::fromStdString(line(i)) + "\r\n";
    }
    ASSERT_TRUE(testkit::waitFor([&] { return w.DisplayMemo->blockCount() > 1; }));
    EXPECT_LT(w.DisplayMemo->blockCount(), 3000); // one update stays within its time budget
    EXPECT_TRUE(w.Conversation->UpdateScheduled());
    ASSERT_TRUE(testkit::waitFor([&] { return !w.Conversation->UpdateScheduled(); }, 20000));
    EXPECT_LT(charsInserted, 3000 * 12); // only the 3000 lines kept were ever inserted

    for (int turn = 0; turn < 20; ++turn) {
        for (int i = 8000 + turn * 100; i < 8100 + turn * 100; ++i) {
            w.ShowEvent(TChatEvent::ChatLine(line(i)));
            log += QByteArray::fromStdString(line(i)) + "\r\n";
        }
        QCoreApplication::processEvents();
    }
    ASSERT_TRUE(testkit::waitFor([&] { return !w.Conversation->UpdateScheduled(); }, 20000));
    QTextDocument* doc = w.DisplayMemo->document();
    ASSERT_EQ(doc->blockCount(), 3000);
    EXPECT_EQ(doc->firstBlock().text(), sjis::decode(line(7000)));
    EXPECT_EQ(doc->lastBlock().text(), sjis::decode(line(9999)));
    EXPECT_GE(w.Conversation->ArrivedAt(2999), t0);
    EXPECT_LE(w.Conversation->ArrivedAt(2999), QDateTime::currentMSecsSinceEpoch());
    EXPECT_EQ(w.Conversation->ArrivedAt(3000), -1);

    w.K5->trigger();
    const QStringList logs = QDir(FDir.path()).entryList({QStringLiteral("*.log")}, QDir::Files);
    QDir::setCurrent(before);
    ASSERT_EQ(logs.size(), 1);
    QFile f(FDir.filePath(logs[0]));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll() == log);
}

TEST_F(MainWindow, IdleAfterAnUpdateNoTimerRuns)
{
    TTWSChatForm w(QString(), nullptr, Place());
    w.show();
    w.ShowEvent(TChatEvent::ChatLine("a"));
    ASSERT_TRUE(testkit::waitFor([&] { return w.DisplayMemo->toPlainText() == QStringLiteral("a"); }));
    for (const QTimer* t : w.findChildren<QTimer*>())
        EXPECT_FALSE(t->isActive()) << t->parent()->metaObject()->className();
}

// The spool is the owner's alone and goes with its instance; the window
// touches no other spool (the start turns stale ones into logs).
TEST_F(MainWindow, SpoolIsPrivateGoesAtExitAndOthersAreLeftAlone)
{
    const QString folder = FDir.path() + QStringLiteral("/cache/pelmora");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString exe = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    const QString stale = folder + QLatin1Char('/') + exe + QStringLiteral("-999999-1.spool");
    const QString live = folder + QLatin1Char('/') + exe + QStringLiteral("-999999-2.spool");
    for (const QString& p : {stale, live}) {
        QFile f(p);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    const int held = ::open(QFile::encodeName(live).constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);

    QString spool;
    {
        TTWSChatForm w(QString(), nullptr, Place());
        spool = w.Conversation->Spool().Path();
        EXPECT_TRUE(spool.startsWith(folder)) << spool.toStdString();
        EXPECT_TRUE(QFileInfo::exists(stale));
        EXPECT_TRUE(QFileInfo::exists(live));
        struct stat st { };
        ASSERT_EQ(::stat(QFile::encodeName(spool).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
    }
    EXPECT_FALSE(QFileInfo::exists(spool));
    ::close(held);
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

// What the user changes from the menu is kept at once, and the end of a
// session closes a hub without asking.
TEST_F(MainWindow, MenuChoicesAreWrittenAsTheyChange)
{
    const TChatPlace place = Place();
    TTWSChatForm w(QString(), nullptr, place);
    w.SetZoom(3);
    for (QAction* a : {w.TimesAction, w.NotifyAction, w.AutoLogAction})
        a->trigger();
    EXPECT_EQ(Stored(QStringLiteral("view/Zoom")) + Stored(QStringLiteral("view/Times")) +
                  Stored(QStringLiteral("user/notify")) + Stored(QStringLiteral("log/Auto")),
              QStringLiteral("3101"));
    w.show();
    testkit::RawClient a, b;
    ASSERT_TRUE(a.Connect(place.listenAddr.c_str(), 2200) && b.Connect(place.listenAddr.c_str(), 2200));
    a.Send("ua\n");
    b.Send("ub\n");
    ASSERT_TRUE(testkit::waitFor([&] { return w.Chat->nuser == 2; }));
    int asked = 0;
    TModalDialog::Answerer = [&](QDialog*) { return ++asked, int(mrOk); };
    w.EndSession();
    TModalDialog::Answerer = nullptr;
    EXPECT_TRUE(asked == 0 && !w.isVisible()) << asked;
}

TEST_F(MainWindow, SavingTheLogWritesThePaneAndDisablesTheCommandUntilTheNextLine)
{
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(FDir.path()));
    std::vector<std::string> reported;
    TApplication::ExceptionReporter = [&](const std::string& m) { reported.push_back(m); };

    TTWSChatForm w(QString(), nullptr, Place());
    w.ShowEvent(TChatEvent::ChatLine("abc"));
    w.K5->trigger();
    EXPECT_FALSE(w.K5->isEnabled());
    const QStringList logs = QDir(FDir.path()).entryList({QStringLiteral("*.log")}, QDir::Files);
    ASSERT_EQ(logs.size(), 1);
    QFile f(FDir.filePath(logs[0]));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("abc\r\n"));
    w.ShowEvent(TChatEvent::ChatLine("def"));
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

// From 設定's list, without a mouse on the roster: the window hub shuts a
// seat's address out, lists it (a render for review) and takes it off.
TEST_F(MainWindow, AHubShutsOutASeatsAddressAndTakesItOffAgain)
{
    TChatPlace place = Place();
    place.port = std::to_string(testkit::freePort());
    TTWSChatForm w(QString(), nullptr, place);
    w.show();
    const std::string from = place.listenAddr.substr(0, place.listenAddr.rfind('.')) + ".200";
    testkit::RawClient a;
    ASSERT_TRUE(a.Connect(place.listenAddr.c_str(), std::stoi(place.port), from.c_str()));
    a.Send("uA\n");
    ASSERT_TRUE(testkit::waitFor([&] { return w.Chat->SeatAddress(1) == from && w.Chat->nuser == 1; }));
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &w, [&] {
        auto* d = qobject_cast<TModalDialog*>(QApplication::activeModalWidget());
        if (!d || !d->isVisible())
            return;
        poll.stop();
        auto press = [d](QListWidget* list, const char* button) {
            list->setCurrentRow(0);
            QWidget* b = d->findChild<QWidget*>(QLatin1String(button));
            QTest::mouseClick(b, Qt::LeftButton, {}, b->rect().center());
        };
        auto* members = d->findChild<QListWidget*>(QStringLiteral("Members"));
        auto* entries = d->findChild<QListWidget*>(QStringLiteral("Entries"));
        EXPECT_EQ(members->item(0)->text().toStdString(), "A  " + from);
        press(members, "ShutOut");
        EXPECT_FALSE(w.Chat->Guard.rules.Admits(from));
        EXPECT_EQ(members->count(), 0);
        EXPECT_EQ(entries->count() == 1 ? entries->item(0)->text().toStdString() : std::string(), from);
        QImage img(d->size(), QImage::Format_ARGB32);
        d->render(&img);
        EXPECT_TRUE(img.save(testkit::ReviewFile(QStringLiteral("deniedlist.png"))));
        press(entries, "Remove");
        d->SetModalResult(mrOk);
    });
    poll.start(10);
    w.findChild<THubGuardUi*>()->ShowDeniedList();
    EXPECT_TRUE(a.WaitEof());
    EXPECT_TRUE(w.Chat->Guard.rules.Admits(from));
}

// A member linked in the clear: name unchanged, a mark after it; the status
// picture tells one's own link. Rendered light, then dark and in the clear.
TEST_F(MainWindow, MarksAMemberLinkedInTheClear)
{
    TTWSChatForm w(QString(), nullptr, Place());
    w.show();
    const std::array<std::string, 9> names{"\x83n\x83u", "Raw", "\x82\xA2\x82\xBF"};
    w.ShowLinks({false, true}, TOwnLink::Encrypted);
    w.ShowRoster(names, txt::kFriends);
    const QString plain = sjis::decode(txt::kLinkPlain);
    EXPECT_EQ(w.lbName[1]->text(), QStringLiteral("Raw"));
    EXPECT_EQ(w.lbName[1]->toolTip() + w.lbName[1]->accessibleDescription(), plain + plain);
    EXPECT_TRUE(w.lbPlain[1]->isVisible() && !w.lbPlain[0]->isVisible() && !w.lbPlain[2]->isVisible());
    EXPECT_GE(w.lbPlain[1]->x(), w.lbName[1]->geometry().right());
    EXPECT_GE(w.lbName[2]->x(), w.lbPlain[1]->geometry().right() + 12);
    EXPECT_EQ(w.Image1->accessibleDescription(), sjis::decode(txt::kLinkEncrypted));

    QImage img(w.width(), w.height() * 2, QImage::Format_ARGB32);
    img.fill(Qt::white);
    w.render(&img);
    QPalette dark = w.palette();
    for (auto [role, colour] : {std::pair{QPalette::Window, QColor(40, 44, 52)},
                                {QPalette::WindowText, Qt::white},
                                {QPalette::Base, QColor(30, 30, 30)},
                                {QPalette::Text, Qt::white}})
        dark.setColor(role, colour);
    for (QWidget* p : {static_cast<QWidget*>(&w), w.Panel1, w.Panel2})
        p->setPalette(dark);
    w.ShowLinks({false, true}, TOwnLink::Plain); // the other padlock below
    w.ShowRoster(names, txt::kFriends);
    EXPECT_EQ(w.Image1->accessibleDescription(), plain);
    w.render(&img, QPoint(0, w.height()));
    EXPECT_TRUE(img.save(testkit::ReviewFile(QStringLiteral("plainmember.png"))));
}

TEST_F(MainWindow, RendersForReview)
{
    TTWSChatForm w(QString(), nullptr, Place());
    w.show();
    for (int i = 0; i < 500; ++i)
        w.ShowEvent(TChatEvent::Note(txt::kDefaultNick + "> " + txt::kMessageEditInitial + " " + std::to_string(i) +
                                     (i % 7 == 0 ? "\r\n" + txt::kDefaultNick + txt::kArrived : std::string())));
    w.FlushPane();
    QImage img(w.size(), QImage::Format_ARGB32);
    img.fill(Qt::white);
    w.render(&img);
    EXPECT_TRUE(img.save(testkit::ReviewFile(QStringLiteral("mainwindow.png"))));
}

} // namespace

// A window member meets a hub that asks for a word: it asks the user, says
// a wrong one once and asks again, and joins with the right one; without a
// keyring the user is told the word is kept for this run only.
TEST_F(MainWindow, AsksForTheGroupWordAgainAfterAWrongOneAndJoins)
{
    struct : TChatView {
        void ShowEvent(const TChatEvent&) override { }
        void ShowError(const std::string&) override { }
    } hubView;
    TChatPlace place = Place(), hubPlace = Place();
    place.port = hubPlace.port = std::to_string(testkit::freePort());
    place.encrypt = true;
    TChatCore hub(&hubView, hubPlace.listenAddr, hubPlace.port, hubPlace.ownAddr);
    ASSERT_TRUE(hub.EncryptWithOwnIdentity(nullptr));
    hub.HubWord = groupword::Derive("kiwi");
    hub.StartServer();
    std::vector<std::string> asked;
    std::deque<QString> words{QStringLiteral("melon"), QStringLiteral("kiwi")};
    TModalDialog::Answerer = [&](QDialog* d) {
        auto* dialog = qobject_cast<TWordDialog*>(d);
        if (!dialog || words.empty())
            return int(mrCancel);
        asked.push_back(sjis::encode(dialog->Message->text().replace(QLatin1Char('\n'), QStringLiteral("\r\n"))));
        QTest::keyClicks(dialog->WordEdit, words.front());
        words.pop_front();
        return int(mrOk);
    };
    TTWSChatForm w(QString::fromStdString(hubPlace.listenAddr), nullptr, place);
    w.show();
    const bool seated = testkit::waitFor([&] { return hub.Seat(1).Named; }, 10000);
    TModalDialog::Answerer = nullptr;
    ASSERT_TRUE(seated);
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[1], txt::kWordAskAgain);
    const QString pane = w.DisplayMemo->toPlainText();
    EXPECT_EQ(pane.count(sjis::decode(txt::kWrongWord)), 1) << pane.toStdString();
    EXPECT_EQ(pane.count(sjis::decode(txt::kWordNoKeyring)), 1) << pane.toStdString();
}
