// The six dialogs answered through the modal test hook: buttons, Enter,
// Escape, the close box, the connect dialog's refusals; and the real modal
// loop once. Each dialog is also rendered to build/review/ui/*.png.
#include "connectdialog.h"
#include "flatbutton.h"
#include "questiondialog.h"
#include "ownaddress.h"
#include "statusdialog.h"
#include "texts.h"
#include "aboutbox.h"
#include "namedialog.h"
#include "errorbox.h"
#include "wholeselect.h"
#include "testkit.h"
#include "worddialog.h"

#include <QApplication>
#include <QDir>
#include <QFocusEvent>
#include <QPainter>
#include <QScreen>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

// Installs an answerer for one test and always removes it.
struct Answering {
    explicit Answering(std::function<int(QDialog*)> f) { TModalDialog::Answerer = std::move(f); }
    ~Answering() { TModalDialog::Answerer = nullptr; }
};

void Press(TCuteButton* b)
{
    QTest::mouseClick(b, Qt::LeftButton);
}

// Presses OK on the error box and keeps its message.
int AnswerErrorBox(QDialog* d, std::vector<std::string>& messages)
{
    auto* box = qobject_cast<TForm4*>(d);
    EXPECT_NE(box, nullptr);
    if (!box)
        return mrCancel;
    messages.push_back(box->Message());
    Press(box->CuteButton1);
    return mrNone;
}

class ConnectDialogTest : public ::testing::Test {
protected:
    TForm4 form4;
    TfmConnect dlg{&form4, nullptr};
    std::vector<std::string> errors;

    void SetUp() override { dlg.SetSelfIPAddress("127.30.0.9"); }

    // Types text, presses the connect button once, then closes the dialog
    // with the close box if it is still open.
    int Try(const std::string& text)
    {
        Answering a([&](QDialog* d) {
            if (d == &form4)
                return AnswerErrorBox(d, errors);
            dlg.SetText(text);
            Press(dlg.CuteButton1);
            if (dlg.isVisible())
                dlg.close();
            return int(mrNone);
        });
        return dlg.ShowModal();
    }
};

TEST_F(ConnectDialogTest, RefusesExampleEmptyAndOwnAddressAndStaysOpen)
{
    EXPECT_EQ(dlg.Text(), txt::kIPExample); // first showing: the example
    EXPECT_EQ(Try(txt::kIPExample), mrCancel);
    EXPECT_EQ(Try(""), mrCancel);
    EXPECT_EQ(Try("127.30.0.9"), mrCancel);
    EXPECT_EQ(errors, (std::vector<std::string>{txt::kBadIP, txt::kBadIP, txt::kItsMyIP}));
    EXPECT_EQ(dlg.Text(), "127.30.0.9"); // refused text stays
}

TEST_F(ConnectDialogTest, AcceptsAnyOtherTextUntrimmed)
{
    for (const std::string text : {" 127.30.0.9", "127.30.0.9 ", "127.0.0.1", "friend.example", "\x82\xA0"}) {
        EXPECT_EQ(Try(text), mrOk) << text;
        EXPECT_EQ(dlg.Text(), text);
    }
    EXPECT_TRUE(errors.empty());
}

TEST_F(ConnectDialogTest, EmptyOwnAddressRefusesEmptyEntryAsOwn)
{
    dlg.SetSelfIPAddress("");
    EXPECT_EQ(Try(""), mrCancel);
    EXPECT_EQ(errors, std::vector<std::string>{txt::kItsMyIP});
}

TEST_F(ConnectDialogTest, EnterValidatesEvenWithCancelFocused)
{
    Answering a([&](QDialog* d) {
        if (d == &form4)
            return AnswerErrorBox(d, errors);
        dlg.CuteButton2->setFocus();
        dlg.SetText(txt::kIPExample);
        QTest::keyClick(dlg.CuteButton2, Qt::Key_Return); // refused: error box
        EXPECT_TRUE(dlg.isVisible());
        dlg.SetText("127.30.0.20");
        QTest::keyClick(dlg.CuteButton2, Qt::Key_Enter);
        return int(mrNone);
    });
    EXPECT_EQ(dlg.ShowModal(), mrOk);
    EXPECT_EQ(errors, std::vector<std::string>{txt::kBadIP});
    EXPECT_EQ(dlg.Text(), "127.30.0.20");
}

TEST_F(ConnectDialogTest, EscapeCancelsFromAnyControl)
{
    for (QWidget* w : std::initializer_list<QWidget*>{dlg.edIP, dlg.CuteButton1}) {
        Answering a([&](QDialog*) {
            dlg.SetText("127.30.0.21");
            QTest::keyClick(w, Qt::Key_Escape);
            return int(mrOk); // ignored: the dialog ended itself
        });
        EXPECT_EQ(dlg.ShowModal(), mrCancel);
    }
    EXPECT_TRUE(errors.empty());
}

TEST_F(ConnectDialogTest, KeepsTextBetweenShowingsAndStartsOnTheEdit)
{
    {
        Answering a([&](QDialog*) {
            QTest::keyClicks(dlg.edIP, "x");
            dlg.edIP->clear();
            QTest::keyClicks(dlg.edIP, "127.30.0.22");
            return int(mrCancel);
        });
        EXPECT_EQ(dlg.ShowModal(), mrCancel);
    }
    Answering a([&](QDialog*) {
        EXPECT_EQ(dlg.focusWidget(), dlg.edIP);
        EXPECT_EQ(dlg.Text(), "127.30.0.22");
        Press(dlg.CuteButton1);
        return int(mrNone);
    });
    EXPECT_EQ(dlg.ShowModal(), mrOk);
}

TEST(ConnectDialog, ComparesWithTheComponentsOwnAddress)
{
    TSirSock sirsock;
    TForm4 form4;
    TfmConnect dlg(&form4, &sirsock);
    EXPECT_EQ(dlg.SelfIPAddress(), sirsock.SelfIPAddress());
    std::vector<std::string> errors;
    Answering a([&](QDialog* d) {
        if (d == &form4)
            return AnswerErrorBox(d, errors);
        dlg.SetText(sirsock.SelfIPAddress());
        Press(dlg.CuteButton1);
        return int(mrCancel);
    });
    EXPECT_EQ(dlg.ShowModal(), mrCancel);
    EXPECT_EQ(errors, std::vector<std::string>{txt::kItsMyIP});
}

TEST(NameDialog, OkAndEnterTakeTheTextCancelEscapeAndCloseBoxDoNot)
{
    TForm3 dlg;
    struct Case {
        const char* what;
        std::function<void(TForm3&)> act;
        int result;
    };
    const std::vector<Case> cases = {
        {"ok", [](TForm3& f) { Press(f.CuteButton1); }, mrOk},
        {"enter in edit", [](TForm3& f) { QTest::keyClick(f.NameEdit, Qt::Key_Return); }, mrOk},
        {"cancel", [](TForm3& f) { Press(f.CuteButton2); }, mrCancel},
        {"escape", [](TForm3& f) { QTest::keyClick(f.NameEdit, Qt::Key_Escape); }, mrCancel},
        {"close box", [](TForm3& f) { f.close(); }, mrCancel},
    };
    for (const Case& c : cases) {
        dlg.SetName(txt::kDefaultNick);
        Answering a([&](QDialog*) {
            EXPECT_EQ(dlg.focusWidget(), dlg.NameEdit) << c.what;
            dlg.NameEdit->selectAll();
            QTest::keyClicks(dlg.NameEdit, "bob");
            c.act(dlg);
            return int(mrNone);
        });
        EXPECT_EQ(dlg.ShowModal(), c.result) << c.what;
        EXPECT_EQ(dlg.Name(), "bob") << c.what; // the caller decides by the result
    }
}

TEST(NameDialog, EmptyNameIsTakenAndUntouchedBytesComeBackUnchanged)
{
    TForm3 dlg;
    dlg.SetName("ab\xFF\x81"); // not decodable: shown with replacement marks
    EXPECT_EQ(dlg.Name(), "ab\xFF\x81");
    Answering a([&](QDialog*) {
        dlg.NameEdit->clear();
        Press(dlg.CuteButton1);
        return int(mrNone);
    });
    EXPECT_EQ(dlg.ShowModal(), mrOk);
    EXPECT_EQ(dlg.Name(), "");
}

TEST(ErrorBox, EscapeDoesNothingEnterAndSpacePressOk)
{
    TForm4 box;
    box.SetMessage(txt::kNotConnected);
    EXPECT_EQ(box.Message(), txt::kNotConnected);
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Space}) {
        Answering a([&](QDialog*) {
            EXPECT_EQ(box.focusWidget(), box.CuteButton1);
            QTest::keyClick(box.CuteButton1, Qt::Key_Escape);
            EXPECT_TRUE(box.isVisible());
            EXPECT_EQ(box.ModalResult(), mrNone);
            QTest::keyClick(box.CuteButton1, key);
            return int(mrNone);
        });
        EXPECT_EQ(box.ShowModal(), mrOk) << key;
    }
    Answering a([&](QDialog*) {
        box.close();
        return int(mrNone);
    });
    EXPECT_EQ(box.ShowModal(), mrCancel);
    EXPECT_EQ(box.Message(), txt::kNotConnected); // kept until replaced
}

TEST(QuestionDialog, OpensOnYesAndAnswersOneSevenOrTwo)
{
    TDialog dlg;
    dlg.Clear();
    dlg.Add(txt::kCloseHubQuestion);
    EXPECT_EQ(dlg.Text(), txt::kCloseHubQuestion);
    EXPECT_EQ(dlg.Memo1->document()->blockCount(), 3);

    struct Case {
        const char* what;
        std::function<void(TDialog&)> act;
        int result;
    };
    const std::vector<Case> cases = {
        {"tab to no, space",
         [](TDialog& d) {
             QTest::keyClick(d.CuteButton1, Qt::Key_Tab);
             QTest::keyClick(d.focusWidget(), Qt::Key_Space);
         },
         mrNo},
        {"enter", [](TDialog& d) { QTest::keyClick(d.focusWidget(), Qt::Key_Return); }, mrOk},
        {"no button", [](TDialog& d) { Press(d.CuteButton2); }, mrNo},
        {"yes button", [](TDialog& d) { Press(d.CuteButton1); }, mrOk},
        {"close box", [](TDialog& d) { d.close(); }, mrCancel},
    };
    for (const Case& c : cases) {
        Answering a([&](QDialog*) {
            // Each opening starts on yes, whatever was focused last time.
            EXPECT_EQ(dlg.focusWidget(), dlg.CuteButton1) << c.what;
            QTest::keyClick(dlg.focusWidget(), Qt::Key_Escape);
            EXPECT_TRUE(dlg.isVisible()) << c.what;
            c.act(dlg);
            return int(mrNone);
        });
        EXPECT_EQ(dlg.ShowModal(), c.result) << c.what;
    }
}

// Every question the program asks shows whole, in the font at hand: no
// line wraps and nothing is left to scroll to.
TEST(QuestionDialog, EveryQuestionFitsItsTextBox)
{
    TDialog dlg;
    dlg.show();
    for (const std::string* q : {&txt::kCloseHubQuestion, &txt::kDisconnectHubQuestion, &txt::kRedirectQuestion,
                                 &txt::kHubLostQuestion, &txt::kQuestionDesign}) {
        dlg.Clear();
        dlg.Add(*q);
        QCoreApplication::processEvents();
        EXPECT_EQ(dlg.Text(), *q);
        EXPECT_EQ(dlg.Memo1->verticalScrollBar()->maximum(), 0) << dlg.Memo1->toPlainText().toStdString();
        EXPECT_FALSE(dlg.Memo1->verticalScrollBar()->isVisible());
        for (QTextBlock b = dlg.Memo1->document()->firstBlock(); b.isValid(); b = b.next())
            EXPECT_EQ(b.layout()->lineCount(), 1) << b.text().toStdString();
        EXPECT_TRUE(dlg.rect().contains(dlg.CuteButton2->geometry()));
        EXPECT_GE(dlg.CuteButton1->y(), dlg.Panel1->geometry().bottom());
    }
}

TEST(StatusAndAbout, OkAndEscapeClose)
{
    TfmStatus status;
    status.SetConnectedTo(txt::kNone);
    status.SetNextCandidate(txt::kNone);
    status.SetOwnAddress("127.30.0.9");
    EXPECT_EQ(Caption(status.Label1), "127.30.0.9");
    EXPECT_EQ(Caption(status.Label4), txt::kNone);
    Tver ver;
    for (TModalDialog* d : std::initializer_list<TModalDialog*>{&status, &ver}) {
        TCuteButton* ok = d->findChild<TCuteButton*>(QStringLiteral("CuteButton1"));
        ASSERT_NE(ok, nullptr);
        Answering a([&](QDialog*) {
            EXPECT_EQ(d->focusWidget(), ok);
            QTest::keyClick(ok, Qt::Key_Escape); // nothing to cancel: as Enter
            return int(mrNone);
        });
        EXPECT_EQ(d->ShowModal(), mrOk) << d->objectName().toStdString();
    }
    EXPECT_EQ(Caption(ver.label1), txt::kAppCaption);
    EXPECT_FALSE(ver.ProgramIcon->pixmap().isNull());
}

// Over a window moved away from the screen's centre, each dialog opens
// centred on it, with a close box only; the screen is rendered for review.
TEST(DialogPlace, OverTheWindowThatOpensIt)
{
    QWidget owner;
    owner.setWindowTitle(QStringLiteral("owner"));
    owner.setGeometry(430, 330, 340, 240);
    owner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
    TForm4 form4(&owner);
    TfmConnect connect(&form4, nullptr, &owner);
    TfmStatus status(&owner);
    TDialog question(&owner);
    Tver ver(&owner);
    const QString text = connect.edIP->text();
    EXPECT_GE(connect.edIP->contentsRect().width() - 4, connect.edIP->fontMetrics().horizontalAdvance(text));
    const QString dir = qEnvironmentVariable("PELMORA_TEST_BINARY_DIR") + "/review/ui";
    ASSERT_TRUE(QDir().mkpath(dir));
    for (TModalDialog* d : std::initializer_list<TModalDialog*>{&connect, &status, &question, &ver}) {
        Answering a([&](QDialog*) {
            EXPECT_LE((d->frameGeometry().center() - owner.frameGeometry().center()).manhattanLength(), 2)
                << d->objectName().toStdString();
            EXPECT_FALSE(d->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
            QImage screen(QGuiApplication::primaryScreen()->size(), QImage::Format_RGB32);
            screen.fill(Qt::darkGray);
            QPainter(&screen).drawPixmap(owner.geometry().topLeft(), owner.grab());
            QPainter(&screen).drawPixmap(d->geometry().topLeft(), d->grab());
            screen.save(dir + "/over-" + d->objectName() + ".png");
            return int(mrCancel);
        });
        d->ShowModal();
    }
}

// The production path: a real nested loop, ended by a click from a timer;
// socket-like events posted meanwhile are still delivered.
TEST(ModalLoop, RealExecReturnsTheButtonsResult)
{
    ASSERT_FALSE(TModalDialog::Answerer);
    TDialog dlg;
    bool delivered = false;
    QTimer::singleShot(0, &dlg, [&] { delivered = true; });
    QTimer::singleShot(20, &dlg, [&] { Press(dlg.CuteButton2); });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &dlg, [&] { dlg.done(99); });
    guard.start(10000);
    EXPECT_EQ(dlg.ShowModal(), mrNo);
    EXPECT_TRUE(delivered);
    EXPECT_FALSE(dlg.isVisible());
}

// Renders every dialog as it opens, for a look by eye.
TEST(DialogRenders, EachDialogForReview)
{
    const QByteArray base = qgetenv("PELMORA_TEST_BINARY_DIR");
    const QString dir = (base.isEmpty() ? QDir::currentPath() : QString::fromLocal8Bit(base)) + "/review/ui";
    ASSERT_TRUE(QDir().mkpath(dir));

    TForm4 form4;
    form4.SetMessage(txt::kItsMyIP);
    TForm3 form3;
    TfmConnect connect(&form4, nullptr);
    TfmStatus status;
    status.SetConnectedTo(txt::kYouAreHub);
    status.SetNextCandidate(txt::kDefaultNick);
    status.SetOwnAddress("192.168.1.23");
    TDialog question;
    Tver ver;
    const std::vector<std::pair<TModalDialog*, QString>> all = {{&form3, "name"},        {&form4, "error"},
                                                                {&connect, "connect"},   {&status, "status"},
                                                                {&question, "question"}, {&ver, "about"}};
    for (const auto& [dlg, name] : all) {
        Answering a([&](QDialog* d) {
            EXPECT_TRUE(QTest::qWaitForWindowActive(d)); // the first control shows the focus ring
            const QString file = dir + "/" + name + ".png";
            EXPECT_TRUE(d->grab().save(file)) << file.toStdString();
            return int(mrCancel);
        });
        dlg->ShowModal();
    }
}

} // namespace

// The whole text is selected when the focus arrives from the keyboard or a
// program, so the first key replaces it; a mouse click places the cursor
// and selects nothing; the focus coming back from a menu leaves the text as
// the user left it.
TEST(WholeSelect, OnlyAnEntryFromTheKeyboardOrAProgramSelectsTheWholeText)
{
    QLineEdit edit(QStringLiteral("こんにちは"));
    selectWholeOnFocus(&edit);
    auto focusIn = [&](Qt::FocusReason reason) {
        edit.deselect();
        QFocusEvent in(QEvent::FocusIn, reason);
        QCoreApplication::sendEvent(&edit, &in);
        return edit.hasSelectedText();
    };
    auto focusOut = [&](Qt::FocusReason reason) {
        QFocusEvent out(QEvent::FocusOut, reason);
        QCoreApplication::sendEvent(&edit, &out);
    };
    EXPECT_TRUE(focusIn(Qt::TabFocusReason));
    EXPECT_TRUE(focusIn(Qt::OtherFocusReason));
    EXPECT_FALSE(focusIn(Qt::MouseFocusReason));
    focusOut(Qt::PopupFocusReason);
    EXPECT_FALSE(focusIn(Qt::PopupFocusReason));
}

// The word dialog from the keyboard alone: typed hidden, Enter takes it,
// Escape does not; its controls are named for assistive technology. It is
// rendered light and dark for review.
TEST(WordDialog, KeyboardOnlyNamedAndRenderedLightAndDark)
{
    TWordDialog dialog;
    dialog.SetMessage(txt::kWordAskAgain);
    EXPECT_FALSE(dialog.WordEdit->accessibleName().isEmpty());
    EXPECT_FALSE(dialog.CancelButton->accessibleName().isEmpty());
    const QPalette desktop = QApplication::palette();
    for (const int key : {Qt::Key_Return, Qt::Key_Escape}) {
        Answering a([&](QDialog* d) {
            EXPECT_TRUE(QTest::qWaitForWindowActive(d));
            EXPECT_EQ(QApplication::focusWidget(), dialog.WordEdit);
            QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("kiwi"));
            EXPECT_EQ(dialog.WordEdit->echoMode(), QLineEdit::Password);
            for (const bool dark : {false, true}) {
                const QPalette look(dark ? QColor(53, 53, 53) : QColor(239, 239, 239));
                QApplication::setPalette(look);
                d->setPalette(look);
                EXPECT_TRUE(d->grab().save(testkit::ReviewFile(dark ? "word-dark.png" : "word-light.png")));
            }
            QApplication::setPalette(desktop);
            d->setPalette(desktop);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
            return dialog.ModalResult();
        });
        EXPECT_EQ(dialog.ShowModal(), key == Qt::Key_Return ? mrOk : mrCancel);
        EXPECT_EQ(dialog.Word(), "kiwi");
        dialog.Clear();
        EXPECT_EQ(dialog.Word(), "");
    }
}
