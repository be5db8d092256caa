// Three real windows in one process: a hub and two peers chat, one leaves,
// the hub closes and the two regroup around the announced candidate.
#include "testkit.h"
#include "application.h"
#include "connectdialog.h"
#include "flatbutton.h"
#include "questiondialog.h"
#include "dialogs.h"
#include "modaldialog.h"
#include "sjis.h"
#include "statusdialog.h"
#include "texts.h"
#include "mainwindow.h"
#include "namedialog.h"
#include "errorbox.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTest>
#include <gtest/gtest.h>
#include "qtprint.h"

#include <memory>

namespace {

constexpr int kWait = 5000;

TChatPlace At(const std::string& addr)
{
    TChatPlace p;
    p.listenAddr = p.ownAddr = addr;
    return p;
}

bool PaneHas(TTWSChatForm& w, const std::string& line)
{
    w.FlushPane();
    const QString shown = sjis::decode(line);
    for (QTextBlock b = w.DisplayMemo->document()->begin(); b.isValid(); b = b.next())
        if (b.text() == shown)
            return true;
    return false;
}

class WindowGroup : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FDir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, FDir.path());
        CreateDialogs(&FOwner, nullptr);
        fmConnect->SetSelfIPAddress("192.0.2.1");
        // Dialogs are answered from here: the connect dialog with the next
        // target, every question with yes, the error box by recording it.
        TModalDialog::Answerer = [this](QDialog* d) -> int {
            if (auto* c = qobject_cast<TfmConnect*>(d)) {
                c->SetText(FTarget);
                c->CuteButton1->Click();
                return 0;
            }
            if (auto* q = qobject_cast<TDialog*>(d)) {
                FQuestions.push_back(q->Text());
                return mrOk;
            }
            if (auto* e = qobject_cast<TForm4*>(d)) {
                FErrors.push_back(e->Message());
                return mrOk;
            }
            if (auto* s = qobject_cast<TfmStatus*>(d)) {
                FStatus = {Caption(s->Label1), Caption(s->Label4), Caption(s->Label6)};
                return mrOk;
            }
            if (auto* n = qobject_cast<TForm3*>(d)) {
                n->SetName(FNewName);
                return mrOk;
            }
            return mrOk;
        };
    }
    void TearDown() override { TModalDialog::Answerer = nullptr; }

    std::unique_ptr<TTWSChatForm> Window(const std::string& addr, const std::string& nick)
    {
        auto w = std::make_unique<TTWSChatForm>(QString(), nullptr, At(addr));
        w->Chat->Name = nick;
        w->show();
        return w;
    }

    void Join(TTWSChatForm& w, const std::string& target)
    {
        FTarget = target;
        w.K8->trigger();
    }

    QTemporaryDir FDir;
    QWidget FOwner;
    std::string FTarget;
    std::string FNewName;
    std::vector<std::string> FQuestions;
    std::vector<std::string> FErrors;
    std::array<std::string, 3> FStatus;
};

TEST_F(WindowGroup, ChatLeaveAndRegroupAfterTheHubCloses)
{
    auto hub = Window(testkit::address(1), "hub");
    auto a = Window(testkit::address(2), "aki");
    auto b = Window(testkit::address(3), "ben");

    Join(*a, testkit::address(1));
    ASSERT_TRUE(testkit::waitFor([&] { return hub->lbName[0]->text() == QStringLiteral("aki"); }, kWait));
    Join(*b, testkit::address(1));
    ASSERT_TRUE(testkit::waitFor([&] { return hub->lbName[1]->text() == QStringLiteral("ben"); }, kWait));
    ASSERT_TRUE(testkit::waitFor([&] { return b->lbName[1]->text() == QStringLiteral("aki"); }, kWait));
    EXPECT_EQ(b->lbName[0]->text(), QStringLiteral("hub"));
    EXPECT_TRUE(a->MessageEdit->isEnabled());
    EXPECT_FALSE(a->K8->isEnabled());
    EXPECT_TRUE(a->K9->isEnabled());
    EXPECT_EQ(hub->Label1->text(), sjis::decode(txt::kFriends));
    // The roster strip: from 84 pixels, 12 apart.
    EXPECT_EQ(hub->lbName[0]->x(), 84);
    EXPECT_EQ(hub->lbName[1]->x(), 84 + hub->lbName[0]->width() + 12);
    EXPECT_EQ(hub->lbName[2]->x(), -10);

    // Enter in the input box sends; everyone else sees the line.
    a->MessageEdit->setText(QStringLiteral("こんにちは"));
    QTest::keyClick(a->MessageEdit, Qt::Key_Return);
    const std::string line = "aki> " + sjis::encode(QStringLiteral("こんにちは"));
    EXPECT_TRUE(a->MessageEdit->text().isEmpty());
    ASSERT_TRUE(testkit::waitFor([&] { return PaneHas(*b, line) && PaneHas(*hub, line); }, kWait));
    EXPECT_TRUE(PaneHas(*a, line)); // the echo

    // The candidate (seat 1) sees itself as next in the status dialog.
    a->KIP1->trigger();
    EXPECT_EQ(FStatus[1], "hub");
    EXPECT_EQ(FStatus[2], sjis::encode(sjis::decode(txt::kItsYou)));
    hub->KIP1->trigger();
    EXPECT_EQ(FStatus[1], txt::kYouAreHub);
    EXPECT_EQ(FStatus[2], "aki");

    // The hub closes: it asks first (two named peers), then its links end.
    hub->close();
    ASSERT_EQ(FQuestions.size(), 1u);
    EXPECT_EQ(FQuestions[0], txt::kCloseHubQuestion);
    EXPECT_FALSE(hub->isVisible());
    hub.reset();

    // aki waits as the new hub; ben is asked and rejoins aki 200 ms later.
    ASSERT_TRUE(testkit::waitFor([&] { return a->lbName[0]->text() == QStringLiteral("ben"); }, kWait));
    ASSERT_TRUE(testkit::waitFor([&] { return b->lbName[0]->text() == QStringLiteral("aki"); }, kWait));
    EXPECT_TRUE(a->Chat->rbServer);
    EXPECT_FALSE(b->Chat->rbServer);

    b->MessageEdit->setText(QStringLiteral("again"));
    b->SendButton->Click();
    ASSERT_TRUE(testkit::waitFor([&] { return PaneHas(*a, "ben> again"); }, kWait));

    // ben leaves; aki is alone and idle again.
    b->K9->trigger();
    ASSERT_TRUE(testkit::waitFor([&] { return a->lbName[0]->text().isEmpty(); }, kWait));
    EXPECT_EQ(a->Label1->text(), sjis::decode(txt::kNoFriends));
    EXPECT_TRUE(a->K8->isEnabled());
    EXPECT_FALSE(a->MessageEdit->isEnabled());
    EXPECT_TRUE(FErrors.empty());
}

// 自動でつなぎ直す: nobody answers anything after the hub closes, the two
// regroup and the one that followed says so in its pane.
TEST_F(WindowGroup, WithAutoRejoinTheGroupRegroupsWithoutAQuestion)
{
    auto hub = Window(testkit::address(1, 5), "hub");
    auto a = Window(testkit::address(2, 5), "aki");
    auto b = Window(testkit::address(3, 5), "ben");
    for (TTWSChatForm* w : {a.get(), b.get()})
        w->SetAutoRejoin(true);
    EXPECT_EQ(QSettings(QStringLiteral("tovanit"), QStringLiteral("pelmora")).value("link/AutoRejoin"), "1");
    Join(*a, testkit::address(1, 5));
    ASSERT_TRUE(testkit::waitFor([&] { return hub->lbName[0]->text() == QStringLiteral("aki"); }, kWait));
    Join(*b, testkit::address(1, 5));
    ASSERT_TRUE(testkit::waitFor([&] { return b->lbName[1]->text() == QStringLiteral("aki"); }, kWait));
    hub->close();
    const size_t asked = FQuestions.size(); // the hub's own
    hub.reset();
    ASSERT_TRUE(testkit::waitFor([&] { return b->lbName[0]->text() == QStringLiteral("aki"); }, kWait));
    EXPECT_EQ(FQuestions.size(), asked);
    EXPECT_TRUE(PaneHas(*b, txt::kAutoRejoinHubLost));
}

TEST_F(WindowGroup, SendingWhileIdleShowsTheErrorBoxAndRenamingTakesTheNewNick)
{
    auto w = Window(testkit::address(1, 3), "solo");
    w->Button1Click();
    ASSERT_EQ(FErrors.size(), 1u);
    EXPECT_EQ(FErrors[0], txt::kNotConnected);

    FNewName = "renamed";
    w->K4->trigger();
    EXPECT_EQ(w->Chat->Name, "renamed");

    w->KIP1->trigger();
    EXPECT_EQ(FStatus[1], txt::kNone);
    EXPECT_EQ(FStatus[2], txt::kNone);
    EXPECT_FALSE(FStatus[0].empty());

    // Showing the window again does not open the listener a second time.
    w->hide();
    w->show();
    EXPECT_TRUE(FErrors.size() == 1u);
}

TEST_F(WindowGroup, APortInUseIsReportedAndTheWindowStaysUp)
{
    std::vector<std::string> reported;
    TApplication::ExceptionReporter = [&](const std::string& m) { reported.push_back(m); };
    auto first = Window(testkit::address(1, 4), "one");
    EXPECT_TRUE(reported.empty());
    auto second = Window(testkit::address(1, 4), "two"); // same address and port
    TApplication::ExceptionReporter = nullptr;
    EXPECT_TRUE(second->isVisible());
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0].rfind(txt::kListenFailed + "\r\n", 0), 0u);
    EXPECT_NE(reported[0].find("10048"), std::string::npos) << reported[0];
    // Which port, whose, and what to do, in the user's words.
    const QString told = sjis::decode(txt::kPortInUse).arg(QString::fromStdString(At("").port));
    EXPECT_TRUE(sjis::decode(reported[0]).contains(told)) << reported[0];
}

} // namespace
