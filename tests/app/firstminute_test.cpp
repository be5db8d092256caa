// The first minute with the real window offscreen: where typing lands, blank
// lines, legibility under a light and a dark desktop, assistive technology,
// the changed-key question.
#include "testkit.h"
#include "appearance.h"
#include "application.h"
#include "connectdialog.h"
#include "dialogs.h"
#include "findbar.h"
#include "flatbutton.h"
#include "keychangedialog.h"
#include "mainwindow.h"
#include "savednote.h"
#include "sjis.h"
#include "texts.h"

#include <QAccessible>
#include <QClipboard>
#include <QDir>
#include <QMenuBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <cmath>
#include <map>

namespace {

class FirstMinute : public ::testing::Test {
protected:
    void SetUp() override
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, FDir.path());
        qputenv("XDG_CACHE_HOME", QFile::encodeName(FDir.path()));
        CreateDialogs(&FOwner, nullptr);
        TApplication::ExceptionReporter = [](const std::string& m) { ADD_FAILURE() << m; };
        TModalDialog::Answerer = [](QDialog* d) { // the connect dialog: an address, Enter
            QTest::keyClicks(d->focusWidget(), QStringLiteral("127.61.1.1"));
            QTest::keyClick(d->focusWidget(), Qt::Key_Return);
            return 0;
        };
    }
    void TearDown() override { TModalDialog::Answerer = nullptr, TApplication::ExceptionReporter = nullptr; }
    std::unique_ptr<TTWSChatForm> Window(const std::string& addr)
    {
        auto w = std::make_unique<TTWSChatForm>(QString(), nullptr, TChatPlace{addr, std::to_string(FPort), addr});
        w->Chat->Name = "Nick";
        w->show();
        w->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(w.get(), 5000));
        return w;
    }
    // Typed as the window routes keys: to whatever holds its focus.
    static void Type(TTWSChatForm& w, const QString& text, Qt::Key key = Qt::Key_unknown, Qt::KeyboardModifiers m = {})
    {
        for (QChar c : text)
            QTest::sendKeyEvent(QTest::Click, w.focusWidget(), Qt::Key_unknown, QString(c), Qt::NoModifier);
        if (key != Qt::Key_unknown)
            QTest::keyClick(w.focusWidget(), key, m);
    }
    QTemporaryDir FDir;
    QWidget FOwner;
    int FPort = testkit::freePort();
};

TEST_F(FirstMinute, TypingAfterAJoinReplacesTheGreetingAndBlankLinesSendNothing)
{
    testkit::RawServer hub;
    ASSERT_TRUE(hub.Listen("127.61.1.1", FPort));
    auto w = Window("127.61.1.2");
    EXPECT_NE(w->focusWidget(), w->SendButton);   // no Space or Enter can press 発言
    Type(*w, {}, Qt::Key_C, Qt::ControlModifier); // the dialog's example text goes whole
    EXPECT_EQ(w->Chat->IPName, "127.61.1.1");
    ASSERT_TRUE(hub.WaitConns(1));
    hub.conns[0]->Send("uHub\nn127.61.1.2\n");
    ASSERT_TRUE(testkit::waitFor([&] { return w->MessageEdit->isEnabled(); }));
    Type(*w, QStringLiteral("abc"), Qt::Key_Return);
    hub.conns[0]->Send("uAnn\n"); // a roster change leaves the focus where it is
    ASSERT_TRUE(testkit::waitFor([&] { return w->lbName[1]->text() == QStringLiteral("Ann"); }));
    Type(*w, {}, Qt::Key_Return);
    Type(*w, QStringLiteral(" \u3000 "), Qt::Key_Return);
    w->MessageEdit->clear();
    Type(*w, QStringLiteral("x"), Qt::Key_Return);
    ASSERT_TRUE(hub.conns[0]->WaitFor("uNick\n1Nick> abc\r\n1Nick> x\r\n"));

    auto h = Window("127.61.2.1"); // a hub's first member too
    testkit::RawClient a;
    ASSERT_TRUE(a.Connect("127.61.2.1", FPort, "127.61.2.2"));
    a.Send("uA\n");
    ASSERT_TRUE(testkit::waitFor([&] { return h->MessageEdit->isEnabled(); }));
    Type(*h, QStringLiteral("y"));
    EXPECT_EQ(h->MessageEdit->text(), QStringLiteral("y"));
}

// A line with characters CP932 lacks is marked as typed, refused on Enter
// with a note that names them, and mended by one key where a look-alike
// exists; nothing of it reaches the wire.
TEST_F(FirstMinute, CharactersTheWireCannotCarryAreRefusedNamedAndOfferedALookAlike)
{
    testkit::RawServer hub;
    ASSERT_TRUE(hub.Listen("127.61.1.1", FPort));
    auto w = Window("127.61.5.1");
    Type(*w, {}, Qt::Key_C, Qt::ControlModifier);
    ASSERT_TRUE(hub.WaitConns(1));
    hub.conns[0]->Send("uHub\n");
    ASSERT_TRUE(testkit::waitFor([&] { return w->MessageEdit->isEnabled(); }));
    w->activateWindow(); // back from the connect dialog, for the window's keys
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get(), 5000));
    Type(*w, QStringLiteral("森"));
    QApplication::clipboard()->setText(QStringLiteral("鷗外🙂"));
    Type(*w, {}, Qt::Key_V, Qt::ControlModifier);
    EXPECT_TRUE(w->MessageEdit->toolTip().contains(QStringLiteral("鷗 🙂")));
    Type(*w, {}, Qt::Key_Return);
    EXPECT_EQ(w->MessageEdit->text(), QStringLiteral("森鷗外🙂"));
    ASSERT_TRUE(w->SavedNote->isVisible());
    EXPECT_TRUE(w->SavedNote->Text->text().contains(QStringLiteral("鷗→鴎")));
    w->grab().save(qEnvironmentVariable("PELMORA_TEST_BINARY_DIR") + QStringLiteral("/review/refused-characters.png"));
    Type(*w, {}, Qt::Key_R, Qt::ControlModifier);
    EXPECT_EQ(w->MessageEdit->text(), QStringLiteral("森鴎外🙂")); // no look-alike for the emoji
    Type(*w, {}, Qt::Key_Backspace);
    Type(*w, {}, Qt::Key_Backspace);
    EXPECT_FALSE(w->SavedNote->isVisible());
    Type(*w, {}, Qt::Key_Return);
    ASSERT_TRUE(hub.conns[0]->WaitFor("uNick\n1Nick> " + sjis::encode(QStringLiteral("森鴎")) + "\r\n"));
}

// Tab and Shift+Tab go round the whole window; the focused 発言 button and
// roster strip show the focus ring (rendered for review).
TEST_F(FirstMinute, TabReachesEveryPartAndTheFocusShows)
{
    auto w = Window("127.61.5.2");
    w->SetMessageEditEnabled(true);
    const QImage resting = w->SendButton->grab().toImage();
    w->DisplayMemo->setFocus();
    const QString review = qEnvironmentVariable("PELMORA_TEST_BINARY_DIR") + QStringLiteral("/review/focus-");
    for (QWidget* next : {static_cast<QWidget*>(w->MessageEdit), static_cast<QWidget*>(w->SendButton), w->Panel1,
                          static_cast<QWidget*>(w->DisplayMemo)}) {
        Type(*w, {}, Qt::Key_Tab);
        ASSERT_EQ(w->focusWidget(), next) << next->objectName().toStdString();
        w->grab().save(review + next->objectName() + QStringLiteral(".png"));
    }
    Type(*w, {}, Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(w->focusWidget(), w->Panel1);
    w->SendButton->setFocus();
    EXPECT_NE(w->SendButton->grab().toImage(), resting);
}

// WCAG contrast of a region's most frequent colour (its background) against
// the colour farthest from it (its text).
double contrast(const QImage& shot, const QRect& r)
{
    std::map<QRgb, int> count;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            ++count[shot.pixel(x, y)];
    auto lum = [](QRgb c) {
        auto lin = [](int v) { return v <= 10 ? v / 3294.6 : std::pow((v / 255.0 + 0.055) / 1.055, 2.4); };
        return 0.2126 * lin(qRed(c)) + 0.7152 * lin(qGreen(c)) + 0.0722 * lin(qBlue(c)) + 0.05;
    };
    const QRgb bg =
        std::max_element(count.begin(), count.end(), [](auto& x, auto& y) { return x.second < y.second; })->first;
    double best = 1;
    for (const auto& [c, n] : count)
        best = std::max(best, std::max(lum(c), lum(bg)) / std::min(lum(c), lum(bg)));
    return best;
}

QRect in(const QWidget* top, const QWidget* w, int inset = 0)
{
    return QRect(w->mapTo(top, QPoint()), w->size()).adjusted(inset, inset, -inset, -inset);
}

TEST_F(FirstMinute, EveryTextIsLegibleUnderALightAndADarkDesktop)
{
    // Under QT_QPA_PLATFORMTHEME=gtk3 GTK_THEME=Adwaita:dark on a display the
    // desktop's palette is the dark one; offscreen a dark one is emulated.
    const QPalette desktop = QApplication::palette();
    const bool realDark = desktop.color(QPalette::Window).lightness() < 128;
    const QString review = testkit::ReviewFile(QString());
    for (const QString& theme : {QStringLiteral("light"), QStringLiteral("dark")}) {
        const bool dark = theme == QLatin1String("dark");
        QApplication::setPalette(realDark == dark ? desktop
                                                  : QPalette(dark ? QColor(53, 53, 53) : QColor(239, 239, 239)));
        auto w = Window("127.61.3." + std::to_string(dark + 1));
        w->ShowRoster({"aki", "ben"}, txt::kFriends);
        w->ShowEvent(TChatEvent::ChatLine("aki> " + txt::kMessageEditInitial));
        w->SetMessageEditEnabled(true);
        w->FlushPane();
        Type(*w, {}, Qt::Key_F, Qt::ControlModifier); // the find bar opens
        QTest::keyClicks(w->FindBar->FindEdit, QStringLiteral("aki"));
        TfmConnect dialog(nullptr, nullptr);
        dialog.show();
        look::UseOwnLook(); // what main() does, for the windows of their own: menus
        w->K1->popup(w->mapToGlobal(QPoint(0, 20)));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w->K1));
        const QImage shot = w->grab().toImage(), box = dialog.grab().toImage(), menu = w->K1->grab().toImage();
        const std::tuple<const char*, QImage, QRect> regions[] = {
            {"pane", shot, in(w.get(), w->DisplayMemo->viewport(), 2)},
            {"menu bar", shot, in(w.get(), w->menuBar())},
            {"roster strip", shot, in(w.get(), w->Panel1)},
            {"input box", shot, in(w.get(), w->MessageEdit, 3)},
            {"send button", shot, in(w.get(), w->SendButton, 3)},
            {"find box", shot, in(w.get(), w->FindBar->FindEdit, 3)},
            {"dialog label", box, in(&dialog, dialog.Label1)},
            {"dialog edit box", box, in(&dialog, dialog.edIP, 3)},
            {"dialog button", box, in(&dialog, dialog.CuteButton1, 3)},
            {"menu", menu, menu.rect().adjusted(3, 3, -3, -3)}};
        for (const auto& [name, image, r] : regions)
            EXPECT_GE(contrast(image, r), 4.5) << theme.toStdString() << ": " << name;
        const std::pair<const char*, QImage> renders[] = {
            {"mainwindow-", shot}, {"connect-", box}, {"menu-", menu}, {"findbar-", w->FindBar->grab().toImage()}};
        for (const auto& [file, image] : renders)
            EXPECT_TRUE(image.save(review + QLatin1String(file) + theme + QStringLiteral(".png")));
        w->K1->close();
    }
    QApplication::setPalette(desktop);
}

TEST_F(FirstMinute, AssistiveTechnologyGetsNamedControlsAndAPressableFlatButton)
{
    QAccessible::setActive(true);
    auto w = Window("127.61.4.1");
    Type(*w, {}, Qt::Key_F10); // opens the menu
    EXPECT_EQ(w->menuBar()->activeAction(), w->K1->menuAction());
    w->K1->close();
    Type(*w, {}, Qt::Key_F, Qt::ControlModifier);
    auto of = [](QObject* o) { return QAccessible::queryAccessibleInterface(o); };
    auto name = [&](QObject* o) { return sjis::encode(of(o)->text(QAccessible::Name)); };
    const std::pair<QObject*, std::string> named[] = {{w->MessageEdit, txt::kAccMessageEdit},
                                                      {w->DisplayMemo, txt::kAccPane},
                                                      {w->Panel1, txt::kAccRoster},
                                                      {w->Image1, txt::kMenuStatus},
                                                      {w->FindBar->FindEdit, txt::kAccFindEdit},
                                                      {w->SendButton, txt::kSendCaption},
                                                      {w->FindBar->CloseButton, txt::kFindClose}};
    for (const auto& [control, text] : named)
        EXPECT_EQ(name(control), text);
    EXPECT_EQ(of(w->SendButton)->role(), QAccessible::Button);
    fmConnect->show();
    for (QPushButton* hidden : {w->Button1, fmConnect->Button1, fmConnect->Button2})
        EXPECT_TRUE(of(hidden)->state().invisible);
    fmConnect->hide();
    of(w->FindBar->CloseButton)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_FALSE(w->FindBar->isVisible());
}

// The changed-key question: legible in both themes (rendered for review),
// refused by Enter or Escape as it opens, accepted only by its own button.
TEST_F(FirstMinute, KeyChangeQuestionRefusesUnlessItsAcceptButtonIsPressed)
{
    const QPalette desktop = QApplication::palette();
    std::string pinned, shown;
    for (int i = 0; i < 32; ++i)
        pinned += i ? ":3F" : "3F", shown += i ? ":A0" : "A0";
    std::vector<QImage> shots;
    for (const QColor window : {QColor(239, 239, 239), QColor(53, 53, 53)}) {
        QApplication::setPalette(QPalette(window));
        TfmKeyChange d;
        d.SetKeys("192.0.2.7", pinned, shown);
        d.show();
        shots.push_back(d.grab().toImage());
        for (const QWidget* w : std::initializer_list<const QWidget*>{d.Message, d.Pinned, d.Shown, d.AcceptButton})
            EXPECT_GE(contrast(shots.back(), in(&d, w)), 4.5) << w->objectName().toStdString();
    }
    QApplication::setPalette(desktop);
    EXPECT_TRUE(shots[0].save(testkit::ReviewFile(QStringLiteral("keychange-light.png"))) &&
                shots[1].save(testkit::ReviewFile(QStringLiteral("keychange-dark.png"))));

    QAccessible::setActive(true);
    const std::pair<std::vector<Qt::Key>, int> cases[] = {
        {{Qt::Key_Return}, mrNo}, {{Qt::Key_Escape}, mrNo}, {{Qt::Key_Tab, Qt::Key_Space}, mrOk}};
    for (const auto& [keys, result] : cases) {
        TModalDialog::Answerer = [&keys = keys](QDialog* d) {
            for (Qt::Key k : keys)
                QTest::keyClick(d->focusWidget(), k);
            return 0;
        };
        TfmKeyChange d;
        d.SetKeys("192.0.2.7", pinned, shown);
        EXPECT_EQ(d.ShowModal(), result) << keys.size();
        EXPECT_EQ(QAccessible::queryAccessibleInterface(d.Shown)->text(QAccessible::Name),
                  sjis::decode(txt::kKeyShown));
    }
}

} // namespace
