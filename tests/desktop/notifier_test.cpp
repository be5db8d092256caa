// Notices of new lines: the real window with a recorder in place of the
// desktop. Nothing while the program is active; while it is not, a line is
// told at once, a burst is held to one notice per interval showing the
// latest line, and coming back to the window clears the unseen count.
#include "dialogs.h"
#include "mainwindow.h"
#include "modaldialog.h"
#include "notifier.h"
#include "trayicon.h"
#include "sjis.h"
#include "texts.h"

#include <QAction>
#include <QMenu>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include "testkit.h"
#include "qtprint.h"

#include <vector>

namespace {

struct Recorder : TDesktopNotices {
    struct Shown {
        QString title, body;
    };
    std::vector<Shown>* shown;
    int* alerts;
    int* seen;
    void Alert(QWidget*) override { ++*alerts; }
    void Show(const QString& title, const QString& body) override { shown->push_back({title, body}); }
    void Seen() override { ++*seen; }
};

class Notices : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FDir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, FDir.path());
        static int n = 0;
        TChatPlace place;
        place.listenAddr = place.ownAddr = testkit::address(++n);
        FWindow = std::make_unique<TTWSChatForm>(QString(), nullptr, place);
        auto rec = std::make_unique<Recorder>();
        rec->shown = &FShown;
        rec->alerts = &FAlerts;
        rec->seen = &FSeen;
        FRecorder = rec.get();
        // Wired as the program wires it.
        FNotices = new TNotifier(FWindow.get());
        FNotices->SetEnabled(FWindow->NotifyAction->isChecked());
        QObject::connect(FWindow->NotifyAction, &QAction::toggled, FNotices, &TNotifier::SetEnabled);
        QObject::connect(FWindow.get(), &TTWSChatForm::EventShown, FNotices, &TNotifier::EventShown);
        QObject::connect(FWindow.get(), &TTWSChatForm::QuestionAsked, FNotices, &TNotifier::QuestionAsked);
        FNotices->SetDesktop(std::move(rec));
        FNotices->SetInterval(300);
        FWindow->show();
        FOther.show();
    }
    void Activate(QWidget& w)
    {
        w.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w, 5000));
    }

    QTemporaryDir FDir;
    std::unique_ptr<TTWSChatForm> FWindow;
    TNotifier* FNotices = nullptr; // the window's child
    QWidget FOther;
    Recorder* FRecorder = nullptr;
    std::vector<Recorder::Shown> FShown;
    int FAlerts = 0;
    int FSeen = 0;
};

TEST_F(Notices, OnlyWhileAwayAndABurstIsOneNoticePerInterval)
{
    Activate(*FWindow);
    FWindow->ShowEvent(TChatEvent::ChatLine("aki> " + sjis::encode(QStringLiteral("見てる？"))));
    EXPECT_TRUE(FShown.empty());
    EXPECT_EQ(FAlerts, 0);
    EXPECT_EQ(FNotices->Unseen(), 0);

    Activate(FOther);
    FWindow->ShowEvent(TChatEvent::ChatLine("aki> " + sjis::encode(QStringLiteral("おーい"))));
    ASSERT_EQ(FShown.size(), 1u);
    EXPECT_EQ(FShown[0].title, QStringLiteral("aki"));
    EXPECT_EQ(FShown[0].body, QStringLiteral("おーい"));
    EXPECT_EQ(FAlerts, 1);

    // A flood: nothing more until the interval is over, then the latest line.
    for (int i = 0; i < 500; ++i)
        FWindow->ShowEvent(TChatEvent::ChatLine("ben> " + std::to_string(i)));
    EXPECT_EQ(FShown.size(), 1u);
    ASSERT_TRUE(QTest::qWaitFor([&] { return FShown.size() == 2; }, 5000));
    EXPECT_EQ(FShown[1].title, QStringLiteral("ben"));
    EXPECT_EQ(FShown[1].body, QStringLiteral("499"));
    EXPECT_EQ(FAlerts, 2);
    QTest::qWait(400);
    EXPECT_EQ(FShown.size(), 2u);

    // One's own line, one's own join and the program's notes are not told;
    // an arrival is, without the pane's blank line.
    TChatEvent atJoin = TChatEvent::Arrival("hub");
    atJoin.Own = true;
    const std::string searching = "127.0.0.9" + txt::kSearching; // the event only points at it
    for (const TChatEvent& e : {TChatEvent::ChatLine("me> hi", true), atJoin, TChatEvent::Note(searching)})
        FWindow->ShowEvent(e);
    FWindow->ShowEvent(TChatEvent::Arrival("cyd"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return FShown.size() == 3; }, 5000));
    EXPECT_EQ(FShown[2].title, sjis::decode(txt::kAppCaption));
    EXPECT_EQ(FShown[2].body,
              QStringLiteral("cyd") +
                  sjis::decode(txt::kArrived).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    EXPECT_EQ(FNotices->Unseen(), 502);

    QSignalSpy unseen(FNotices, &TNotifier::UnseenChanged);
    Activate(*FWindow);
    EXPECT_EQ(FNotices->Unseen(), 0);
    EXPECT_EQ(FSeen, 1);
    ASSERT_FALSE(unseen.isEmpty());
    EXPECT_EQ(unseen.last().at(0).toInt(), 0);
}

TEST_F(Notices, TheSettingTurnsThemOffAndIsKept)
{
    QAction* item = FWindow->NotifyAction;
    ASSERT_TRUE(FWindow->K7->actions().contains(item));
    EXPECT_TRUE(item->isChecked());
    item->trigger();
    Activate(FOther);
    FWindow->ShowEvent(TChatEvent::ChatLine("aki> hello"));
    QTest::qWait(50);
    EXPECT_TRUE(FShown.empty());
    EXPECT_EQ(FAlerts, 0);
    EXPECT_EQ(FNotices->Unseen(), 1); // the tray still marks it

    TTWSChatForm again(QString(), nullptr, [] {
        TChatPlace p;
        p.listenAddr = p.ownAddr = testkit::address(99);
        return p;
    }());
    EXPECT_FALSE(again.NotifyAction->isChecked());
    EXPECT_EQ(QSettings(QStringLiteral("tovanit"), QStringLiteral("pelmora")).value(QStringLiteral("user/notify")),
              QStringLiteral("0"));
}

// The hub-loss and redirect questions are told too, before they wait.
TEST_F(Notices, AQuestionWhileAwayIsTold)
{
    QWidget owner;
    CreateDialogs(&owner, nullptr);
    TModalDialog::Answerer = [](QDialog*) { return mrOk; };
    Activate(FOther);
    EXPECT_EQ(FWindow->AskQuestion(txt::kCloseHubQuestion), mrOk);
    TModalDialog::Answerer = nullptr;
    ASSERT_EQ(FShown.size(), 1u);
    EXPECT_EQ(FShown[0].title, sjis::decode(txt::kAppCaption));
    EXPECT_TRUE(FShown[0].body.startsWith(sjis::decode(txt::kCloseHubQuestion).section(QLatin1Char('\r'), 0, 0)));
}

// The tray icon follows the unseen count, and a click on it hides the window
// in front or brings back a hidden one. (Made directly: the offscreen
// platform has no tray, where the program makes none.)
TEST_F(Notices, TheTrayMarksUnseenLinesAndAClickTogglesTheWindow)
{
    TTrayIcon tray(FWindow.get());
    QObject::connect(FNotices, &TNotifier::UnseenChanged, &tray, &TTrayIcon::SetUnseen);
    Activate(FOther);
    FWindow->ShowEvent(TChatEvent::ChatLine("aki> hi"));
    EXPECT_TRUE(tray.ShowsUnread());
    Activate(*FWindow);
    EXPECT_FALSE(tray.ShowsUnread());

    tray.ToggleWindow();
    EXPECT_FALSE(FWindow->isVisible());
    tray.ToggleWindow();
    EXPECT_TRUE(FWindow->isVisible());
}

} // namespace
