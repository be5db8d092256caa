// The first minute with the real window offscreen: where typing lands after a
// join, blank lines, the connect dialog's example text, legibility under a
// light and a dark desktop palette, and what assistive technology is offered.
#include "testkit.h"
#include "appearance.h"
#include "application.h"
#include "connectdialog.h"
#include "dialogs.h"
#include "errorbox.h"
#include "findbar.h"
#include "flatbutton.h"
#include "mainwindow.h"
#include "modaldialog.h"
#include "sjis.h"
#include "texts.h"

#include <QAccessible>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include "qtprint.h"

#include <cmath>
#include <map>

namespace {

using testkit::RawClient;
using testkit::RawServer;

class FirstMinute : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FDir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, FDir.path());
        qputenv("XDG_CACHE_HOME", QFile::encodeName(FDir.path()));
        CreateDialogs(&FOwner, nullptr);
        fmConnect->SetSelfIPAddress("192.0.2.1");
        TApplication::ExceptionReporter = [this](const std::string& m) { FErrors.push_back(m); };
        TModalDialog::Answerer = [this](QDialog* d) {
            if (auto* e = qobject_cast<TForm4*>(d))
                FErrors.push_back(e->Message());
            return FAnswer ? FAnswer(d) : int(mrCancel);
        };
    }
    void TearDown() override
    {
        TModalDialog::Answerer = nullptr;
        TApplication::ExceptionReporter = nullptr;
        EXPECT_TRUE(FErrors.empty()) << FErrors.front();
    }
    std::unique_ptr<TTWSChatForm> Window(const std::string& addr)
    {
        TChatPlace p;
        p.listenAddr = p.ownAddr = addr;
        p.port = std::to_string(FPort);
        auto w = std::make_unique<TTWSChatForm>(QString(), nullptr, p);
        w->Chat->Name = "Nick";
        w->show();
        w->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(w.get(), 5000));
        return w;
    }
    // Typed as the window routes keys: to whatever holds its focus.
    static void Type(TTWSChatForm& w, const QString& text)
    {
        for (QChar c : text) // as an input method hands over what is not on a key
            QTest::sendKeyEvent(QTest::Click, w.focusWidget(), c.unicode() < 0x80 ? Qt::Key(c.toUpper().unicode()) : Qt::Key_unknown,
                                QString(c), Qt::NoModifier);
    }
    static void Press(TTWSChatForm& w, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QTest::keyClick(w.focusWidget(), key, mods);
    }

    QTemporaryDir FDir;
    QWidget FOwner;
    int FPort = testkit::freePort();
    std::function<int(QDialog*)> FAnswer;
    std::vector<std::string> FErrors;
};

TEST_F(FirstMinute, AJoinByCtrlCTakesTheAddressWholeTypingReplacesTheGreetingBlankLinesSendNothing)
{
    RawServer hub;
    ASSERT_TRUE(hub.Listen("127.61.1.1", FPort));
    auto w = Window("127.61.1.2");
    // Before the join neither Space nor Enter can reach 発言.
    EXPECT_NE(w->focusWidget(), w->SendButton);

    bool wholeSelected = false;
    FAnswer = [&](QDialog* d) {
        auto* c = qobject_cast<TfmConnect*>(d);
        if (!c)
            return int(mrCancel);
        wholeSelected = c->focusWidget() == c->edIP && c->edIP->selectedText() == c->edIP->text();
        QTest::keyClicks(c->focusWidget(), QStringLiteral("127.61.1.1"));
        QTest::keyClick(c->focusWidget(), Qt::Key_Return);
        return 0;
    };
    Press(*w, Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(wholeSelected);
    EXPECT_EQ(w->Chat->IPName, "127.61.1.1");
    ASSERT_TRUE(hub.WaitConns(1));
    RawClient& link = *hub.conns[0];
    ASSERT_TRUE(link.Expect("uNick\n"));
    link.Send("uHub\nn127.61.1.2\n");
    ASSERT_TRUE(testkit::waitFor([&] { return w->MessageEdit->isEnabled(); }));

    EXPECT_EQ(w->focusWidget(), w->MessageEdit);
    Type(*w, QStringLiteral("abc"));
    EXPECT_EQ(w->MessageEdit->text(), QStringLiteral("abc"));
    Press(*w, Qt::Key_Return);
    ASSERT_TRUE(link.Expect("1Nick> abc\r\n"));

    // Empty, ASCII and full-width spaces: nothing on the wire; the next
    // real line is the next thing the hub gets.
    Press(*w, Qt::Key_Return);
    Type(*w, QStringLiteral("  \u3000 "));
    Press(*w, Qt::Key_Return);
    w->SendButton->Click();
    w->MessageEdit->clear();
    Type(*w, QStringLiteral("x"));
    Press(*w, Qt::Key_Return);
    ASSERT_TRUE(link.Expect("1Nick> x\r\n"));
    EXPECT_EQ(w->focusWidget(), w->MessageEdit);
}

TEST_F(FirstMinute, AFirstSeatOnAHubFocusesTheBoxUnlessTheFindBarIsTyping)
{
    auto w = Window("127.61.2.1");
    RawClient a;
    ASSERT_TRUE(a.Connect("127.61.2.1", FPort, "127.61.2.2"));
    ASSERT_TRUE(testkit::waitFor([&] { return w->MessageEdit->isEnabled(); }));
    EXPECT_EQ(w->focusWidget(), w->MessageEdit);
    Press(*w, Qt::Key_Space); // replaces the greeting, sends nothing
    EXPECT_EQ(w->MessageEdit->text(), QStringLiteral(" "));

    // Searching while the group changes: the find bar keeps the focus.
    a.Close();
    ASSERT_TRUE(testkit::waitFor([&] { return !w->MessageEdit->isEnabled(); }));
    Press(*w, Qt::Key_F, Qt::ControlModifier);
    ASSERT_EQ(w->focusWidget(), w->FindBar->FindEdit);
    RawClient b;
    ASSERT_TRUE(b.Connect("127.61.2.1", FPort, "127.61.2.3"));
    ASSERT_TRUE(testkit::waitFor([&] { return w->MessageEdit->isEnabled(); }));
    EXPECT_EQ(w->focusWidget(), w->FindBar->FindEdit);
}

// WCAG contrast of the most frequent colour of a region (its background)
// against the colour farthest from it (its text).
double luminance(QRgb c)
{
    auto lin = [](int v) {
        const double s = v / 255.0;
        return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * lin(qRed(c)) + 0.7152 * lin(qGreen(c)) + 0.0722 * lin(qBlue(c));
}

double contrast(const QImage& shot, const QRect& region)
{
    std::map<QRgb, int> count;
    for (int y = region.top(); y <= region.bottom(); ++y)
        for (int x = region.left(); x <= region.right(); ++x)
            ++count[shot.pixel(x, y) | 0xFF000000u];
    QRgb bg = 0;
    int most = 0;
    for (const auto& [c, n] : count)
        if (n > most)
            most = n, bg = c;
    double best = 1;
    for (const auto& [c, n] : count) {
        const double a = luminance(bg), b = luminance(c);
        best = std::max(best, (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05));
    }
    return best;
}

QRect in(const QWidget* top, const QWidget* w, int inset = 0)
{
    return QRect(w->mapTo(top, QPoint()), w->size()).adjusted(inset, inset, -inset, -inset);
}

// What a dark desktop theme hands the application (Adwaita-dark's colours).
QPalette darkDesktop()
{
    QPalette p;
    const QColor window(0x35, 0x35, 0x35), text(0xEE, 0xEE, 0xEC), base(0x2D, 0x2D, 0x2D);
    for (auto role : {QPalette::Window, QPalette::Button, QPalette::Midlight, QPalette::Mid})
        p.setColor(role, window);
    for (auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text, QPalette::ToolTipText,
                      QPalette::BrightText, QPalette::Light, QPalette::HighlightedText})
        p.setColor(role, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, base);
    p.setColor(QPalette::ToolTipBase, window);
    p.setColor(QPalette::Dark, QColor(0x1B, 0x1B, 0x1B));
    p.setColor(QPalette::Shadow, Qt::black);
    p.setColor(QPalette::Highlight, QColor(0x15, 0x53, 0x9E));
    p.setColor(QPalette::PlaceholderText, QColor(0x91, 0x91, 0x91));
    return p;
}

TEST_F(FirstMinute, EveryTextIsLegibleUnderALightAndADarkDesktopAndIsRenderedForReview)
{
    const QString review = QString::fromLocal8Bit(qgetenv("PELMORA_TEST_BINARY_DIR")) + QStringLiteral("/review");
    QDir().mkpath(review);
    const QPalette desktop = QApplication::palette();
    // Run under a real dark theme (QT_QPA_PLATFORMTHEME=gtk3 GTK_THEME=Adwaita:dark
    // on a display) the desktop's own palette is the dark one; offscreen it
    // is emulated.
    const bool realDark = desktop.color(QPalette::Window).lightness() < 128;
    std::printf("dark desktop: %s\n", realDark ? "the platform theme's" : "emulated");
    for (const char* theme : {"light", "dark"}) {
        const bool dark = theme == std::string("dark");
        QApplication::setPalette(dark ? (realDark ? desktop : darkDesktop())
                                      : (realDark ? QPalette(QColor(239, 239, 239)) : desktop));
        ASSERT_EQ(QApplication::palette().color(QPalette::Window).lightness() < 128, dark) << theme;
        auto w = Window(dark ? "127.61.3.2" : "127.61.3.1");
        w->ShowRoster({"aki", "ben"}, txt::kFriends);
        for (int i = 0; i < 12; ++i)
            w->ShowEvent(TChatEvent::ChatLine("aki> " + txt::kMessageEditInitial + std::to_string(i)));
        w->SetMessageEditEnabled(true);
        w->FlushPane();
        Press(*w, Qt::Key_F, Qt::ControlModifier);
        QTest::keyClicks(w->FindBar->FindEdit, QStringLiteral("aki"));
        const QImage shot = w->grab().toImage();
        const std::map<std::string, QRect> regions{
            {"pane", in(w.get(), w->DisplayMemo->viewport(), 2)},
            {"menu bar", in(w.get(), w->menuBar())},
            {"roster strip", in(w.get(), w->Panel1)},
            {"input box", in(w.get(), w->MessageEdit, 3)},
            {"send button", in(w.get(), w->SendButton, 3)},
            {"find box", in(w.get(), w->FindBar->FindEdit, 3)},
        };
        for (const auto& [name, r] : regions)
            EXPECT_GE(contrast(shot, r), 4.5) << theme << ": " << name;
        EXPECT_TRUE(shot.save(review + QStringLiteral("/mainwindow-%1.png").arg(QLatin1String(theme))));
        EXPECT_TRUE(w->FindBar->grab().save(review + QStringLiteral("/findbar-%1.png").arg(QLatin1String(theme))));

        // The connect dialog, as the desktop themes it.
        TfmConnect dialog(nullptr, nullptr);
        dialog.show();
        const QImage box = dialog.grab().toImage();
        EXPECT_GE(contrast(box, in(&dialog, dialog.Label1)), 4.5) << theme << ": dialog label";
        EXPECT_GE(contrast(box, in(&dialog, dialog.edIP, 3)), 4.5) << theme << ": dialog edit box";
        EXPECT_GE(contrast(box, in(&dialog, dialog.CuteButton1, 3)), 4.5) << theme << ": dialog button";
        EXPECT_TRUE(box.save(review + QStringLiteral("/connect-%1.png").arg(QLatin1String(theme))));
        Press(*w, Qt::Key_Escape);

        // A menu is a window of its own: it follows the application's
        // palette, which main() sets to the program's look.
        look::UseOwnLook();
        w->K1->popup(w->mapToGlobal(QPoint(0, 20)));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w->K1));
        const QImage menu = w->K1->grab().toImage();
        EXPECT_GE(contrast(menu, menu.rect().adjusted(3, 3, -3, -3)), 4.5) << theme << ": menu";
        EXPECT_TRUE(menu.save(review + QStringLiteral("/menu-%1.png").arg(QLatin1String(theme))));
        w->K1->close();
    }
    QApplication::setPalette(desktop);
}

// The tree a screen reader walks: role, name and whether it is shown.
void walk(QAccessibleInterface* node, int depth, QStringList& lines, std::vector<QAccessibleInterface*>& all)
{
    if (!node || depth > 12)
        return;
    all.push_back(node);
    if (!node->state().invisible)
        lines << QString(depth * 2, QLatin1Char(' ')) + QString::number(node->role(), 16) + QLatin1Char(' ')
                     + node->text(QAccessible::Name);
    for (int i = 0; i < node->childCount(); ++i)
        walk(node->child(i), depth + 1, lines, all);
}

TEST_F(FirstMinute, AssistiveTechnologyGetsNamedControlsAPressableSendButtonAndNoHiddenButtons)
{
    QAccessible::setActive(true);
    auto w = Window("127.61.4.1");
    Press(*w, Qt::Key_F, Qt::ControlModifier);
    QStringList lines;
    std::vector<QAccessibleInterface*> all;
    walk(QAccessible::queryAccessibleInterface(w.get()), 0, lines, all);
    std::printf("%s\n", qPrintable(lines.join(QLatin1Char('\n'))));

    auto of = [](QObject* o) { return QAccessible::queryAccessibleInterface(o); };
    auto name = [&](QObject* o) { return sjis::encode(of(o)->text(QAccessible::Name)); };
    EXPECT_EQ(name(w->MessageEdit), txt::kAccMessageEdit);
    EXPECT_EQ(name(w->DisplayMemo), txt::kAccPane);
    EXPECT_EQ(name(w->Panel1), txt::kAccRoster);
    EXPECT_EQ(name(w->Image1), txt::kMenuStatus);
    EXPECT_EQ(name(w->FindBar->FindEdit), txt::kAccFindEdit);
    for (TCuteButton* b : {w->SendButton, w->FindBar->PreviousButton, w->FindBar->NextButton, w->FindBar->CloseButton}) {
        EXPECT_EQ(of(b)->role(), QAccessible::Button);
        EXPECT_EQ(name(b), b->Caption());
        EXPECT_TRUE(of(b)->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
    }
    // Every button that is shown has a name; the hidden default button is
    // not shown.
    for (QAccessibleInterface* node : all) {
        const bool button = node->role() == QAccessible::Button || node->role() == QAccessible::PushButton;
        EXPECT_TRUE(!button || node->state().invisible || !node->text(QAccessible::Name).isEmpty());
    }
    EXPECT_TRUE(of(w->Button1)->state().invisible);

    // Pressing 閉じる through its action closes the find bar.
    of(w->FindBar->CloseButton)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_FALSE(w->FindBar->isVisible());
    // A dialog's hidden Enter and Escape buttons are not offered either.
    fmConnect->show();
    EXPECT_TRUE(of(fmConnect->Button1)->state().invisible);
    EXPECT_TRUE(of(fmConnect->Button2)->state().invisible);
    fmConnect->hide();
}

TEST_F(FirstMinute, F10OpensTheMenuAndEscapeClosesTheHelp)
{
    auto w = Window("127.61.5.1");
    Press(*w, Qt::Key_F10);
    EXPECT_EQ(w->menuBar()->activeAction(), w->K1->menuAction());
    w->K1->close();
    w->K10->trigger();
    auto* help = w->findChild<QWidget*>(QStringLiteral("HelpViewer"));
    ASSERT_TRUE(help && help->isVisible());
    ASSERT_TRUE(QTest::qWaitForWindowActive(help, 5000));
    QTest::keyClick(help->focusWidget() ? help->focusWidget() : help, Qt::Key_Escape);
    EXPECT_FALSE(help->isVisible());
}

} // namespace
