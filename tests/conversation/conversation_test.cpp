// The conversation for daily use, driven through the real window: keyboard
// scrolling and copying, links, find, zoom, the time of day, the note after
// saving the log and the joined addresses. Renders go to build/review/.
#include "connectdialog.h"
#include "dialogs.h"
#include "findbar.h"
#include "mainwindow.h"
#include "modaldialog.h"
#include "savednote.h"
#include "sjis.h"
#include "texts.h"
#include "flatbutton.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QClipboard>
#include <QCompleter>
#include <QDir>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>
#include <gtest/gtest.h>
#include "qtprint.h"
#include "windowkit.h"

#include <iostream>

namespace {

class Conversation : public testkit::WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        FBefore = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(FDir.path()));
        CreateDialogs(&FOwner, nullptr);
        fmConnect->SetSelfIPAddress("192.0.2.1");
        TConversationPane::Opener = [this](const QUrl& u) { Opened << u; };
        W = open();
    }
    void TearDown() override
    {
        TModalDialog::Answerer = nullptr;
        TConversationPane::Opener = nullptr;
        QDir::setCurrent(FBefore);
    }
    // Every window of this file listens on its own loopback address.
    std::unique_ptr<TTWSChatForm> open()
    {
        auto w = std::make_unique<TTWSChatForm>(QString(), nullptr, Place());
        w->show();
        w->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(w.get()));
        return w;
    }
    void add(const std::string& cp932)
    {
        W->ShowEvent(TChatEvent::Note(cp932));
        W->FlushPane();
    }
    // The middle of a character of the pane, in viewport coordinates.
    QPoint at(int line, int column)
    {
        QTextCursor c(W->DisplayMemo->document()->findBlockByNumber(line));
        c.setPosition(c.position() + column);
        const QRect r = W->DisplayMemo->cursorRect(c);
        return QPoint(r.x() + 3, r.center().y());
    }
    void render(const char* name)
    {
        W->FlushPane();
        testkit::settle();
        EXPECT_TRUE(W->grab().save(testkit::ReviewFile(QLatin1String(name))));
    }
    // The log as saving it now would write it, with the time option off.
    QByteArray logNow()
    {
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        EXPECT_TRUE(W->Conversation->WriteLog(out));
        return out.data();
    }
    QString blockText(int line) { return W->DisplayMemo->document()->findBlockByNumber(line).text(); }

    QString FBefore;
    QWidget FOwner;
    QList<QUrl> Opened;
    std::unique_ptr<TTWSChatForm> W;
};

TEST_F(Conversation, PageKeysInTheInputBoxScrollThePaneAndAClickFocusesIt)
{
    for (int i = 0; i < 200; ++i)
        W->ShowEvent(TChatEvent::ChatLine("line " + std::to_string(i)));
    W->FlushPane();
    QScrollBar* bar = W->DisplayMemo->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    ASSERT_EQ(bar->value(), bar->maximum());
    W->MessageEdit->setEnabled(true);
    W->MessageEdit->setFocus();
    QTest::keyClick(W->MessageEdit, Qt::Key_PageUp);
    EXPECT_LT(bar->value(), bar->maximum());
    QTest::keyClick(W->MessageEdit, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(bar->value(), 0);
    QTest::keyClick(W->MessageEdit, Qt::Key_PageDown);
    EXPECT_GT(bar->value(), 0);
    QTest::keyClick(W->MessageEdit, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_TRUE(W->MessageEdit->hasFocus());

    QTest::mouseClick(W->DisplayMemo->viewport(), Qt::LeftButton, {}, at(190, 1));
    EXPECT_TRUE(W->DisplayMemo->hasFocus());
}

// Ctrl+C is the menu's connect command; it copies only when the pane has
// the focus and a selection.
TEST_F(Conversation, CtrlCCopiesThePaneSelectionAndOtherwiseConnects)
{
    add("abc def");
    W->DisplayMemo->setFocus();
    QTextCursor c = W->DisplayMemo->textCursor();
    c.setPosition(0);
    c.setPosition(3, QTextCursor::KeepAnchor);
    W->DisplayMemo->setTextCursor(c);
    int connectDialogs = 0;
    TModalDialog::Answerer = [&](QDialog* d) {
        connectDialogs += qobject_cast<TfmConnect*>(d) != nullptr;
        return int(mrCancel);
    };
    QGuiApplication::clipboard()->clear();
    QTest::keyClick(W->DisplayMemo, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("abc"));
    EXPECT_EQ(connectDialogs, 0);

    c.clearSelection();
    W->DisplayMemo->setTextCursor(c);
    QTest::keyClick(W->DisplayMemo, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(connectDialogs, 1);
}

TEST_F(Conversation, LinksShowAndOpenOnlyOnCtrlClickOrFromTheMenu)
{
    const std::string line = "see http://example.com/a?b=1. file:///etc/passwd www.example.jp " + txt::kPaneCopy;
    add(line);
    EXPECT_EQ(logNow(), QByteArray::fromStdString(line + "\r\n")); // the log keeps the bytes as they came

    // Drawn as links: an underlined range over each of the two addresses.
    std::vector<std::pair<int, int>> underlined;
    const QTextBlock block = W->DisplayMemo->document()->firstBlock();
    for (const QTextLayout::FormatRange& r : block.layout()->formats())
        if (r.format.fontUnderline())
            underlined.emplace_back(r.start, r.length);
    EXPECT_EQ(underlined, (std::vector<std::pair<int, int>>{{4, 24}, {49, 14}}));

    QTest::mouseClick(W->DisplayMemo->viewport(), Qt::LeftButton, {}, at(0, 10));
    EXPECT_TRUE(Opened.isEmpty());
    QTest::mouseClick(W->DisplayMemo->viewport(), Qt::LeftButton, {}, at(0, 34)); // file:
    QTest::mouseClick(W->DisplayMemo->viewport(), Qt::LeftButton, Qt::ControlModifier, at(0, 34));
    EXPECT_TRUE(Opened.isEmpty());
    QTest::mouseClick(W->DisplayMemo->viewport(), Qt::LeftButton, Qt::ControlModifier, at(0, 10));
    EXPECT_EQ(Opened, QList<QUrl>{QUrl(QStringLiteral("http://example.com/a?b=1"))});

    std::unique_ptr<QMenu> menu(W->DisplayMemo->CreateContextMenu(at(0, 52)));
    QStringList captions;
    for (QAction* a : menu->actions())
        if (!a->isSeparator())
            captions << a->text();
    EXPECT_EQ(captions,
              (QStringList{sjis::decode(txt::kPaneCopy), sjis::decode(txt::kPaneSelectAll),
                           sjis::decode(txt::kPaneOpenLink), sjis::decode(txt::kPaneCopyLink)}));
    menu->actions()[3]->trigger();
    EXPECT_EQ(Opened.last(), QUrl(QStringLiteral("http://www.example.jp")));
    menu->actions()[4]->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("http://www.example.jp"));
    std::unique_ptr<QMenu> plain(W->DisplayMemo->CreateContextMenu(at(0, 34)));
    EXPECT_EQ(plain->actions().size(), 2);
    render("pane-link.png");

    // A parenthesis the address opened and closed is part of it; one that
    // closes the sentence around it is not.
    const QString parens = QStringLiteral("(https://a.jp/wiki/Foo_(bar)) (www.b.jp/x), https://c.jp/(y");
    QStringList found;
    for (const TLink& l : FindLinks(parens))
        found << parens.mid(l.start, l.length);
    EXPECT_EQ(found,
              (QStringList{QStringLiteral("https://a.jp/wiki/Foo_(bar)"), QStringLiteral("www.b.jp/x"),
                           QStringLiteral("https://c.jp/(y")}));
}

// Hostile lines: many links, a long line without spaces, undecodable bytes.
// The bytes kept for the log never change; the time each line costs is
// printed in CPU time (scripts/bench-pane.sh collects it).
TEST_F(Conversation, HostileLinesKeepTheirBytes)
{
    std::string thousand;
    for (int i = 0; i < 1000; ++i)
        thousand += "http://a.jp/" + std::to_string(i) + " ";
    const std::vector<std::string> lines{thousand, "http://" + std::string(1015, 'a'),
                                         [] {
                                             std::string s;
                                             while (s.size() < 1020)
                                                 s += "www.";
                                             return s;
                                         }(),
                                         std::string("\x81\x20http://\xFF\xFEx.jp/\x82 www.\x80\xA0")};
    for (const std::string& l : lines) {
        const double cpu = testkit::cpuSeconds();
        add(l);
        QCoreApplication::processEvents();
        std::cout << "[ pane ] " << l.size() << " bytes, " << FindLinks(sjis::decode(l)).size()
                  << " links: " << (testkit::cpuSeconds() - cpu) * 1e3 << " ms CPU\n";
        EXPECT_TRUE(logNow().endsWith(QByteArray::fromStdString(l + "\r\n")));
    }
    // A flood: many lines in one turn, half of them with a link.
    const double cpu = testkit::cpuSeconds();
    for (int i = 0; i < 5000; ++i)
        W->ShowEvent(TChatEvent::ChatLine("name> line " + std::to_string(i) + (i % 2 ? " http://a.jp/" : " text")));
    W->FlushPane();
    std::cout << "[ pane ] flood of 5000 lines: " << (testkit::cpuSeconds() - cpu) * 1e6 / 5000 << " us CPU a line\n";
    EXPECT_EQ(FindLinks(sjis::decode(thousand)).size(), 1000u);
    EXPECT_EQ(FindLinks(sjis::decode(lines[3])).size(), 0u); // "http://" then U+FFFD: nothing to link
}

TEST_F(Conversation, FindMovesTheSelectionMarksMatchesAndEscapeCloses)
{
    add("apple\r\nbanana\r\nan apple pie");
    QTest::keyClick(W.get(), Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(W->FindBar->isVisible());
    ASSERT_TRUE(W->FindBar->FindEdit->hasFocus());
    QTest::keyClicks(W->FindBar->FindEdit, "APPLE");
    EXPECT_EQ(W->FindBar->MarkCount(), 2);
    EXPECT_EQ(W->DisplayMemo->textCursor().blockNumber(), 0);
    EXPECT_EQ(W->DisplayMemo->textCursor().selectedText(), QStringLiteral("apple"));
    QTest::keyClick(W->FindBar->FindEdit, Qt::Key_Return);
    EXPECT_EQ(W->DisplayMemo->textCursor().blockNumber(), 2);
    QTest::keyClick(W->FindBar->FindEdit, Qt::Key_Return);
    EXPECT_EQ(W->DisplayMemo->textCursor().blockNumber(), 0); // wrapped
    W->FindBar->PreviousButton->Click();
    EXPECT_EQ(W->DisplayMemo->textCursor().blockNumber(), 2);
    render("find-bar.png");
    QTest::keyClick(W->FindBar->FindEdit, Qt::Key_Escape);
    EXPECT_FALSE(W->FindBar->isVisible());
    EXPECT_TRUE(W->DisplayMemo->extraSelections().isEmpty());
}

TEST_F(Conversation, ZoomChangesPaneAndInputBoxAndSurvivesARestart)
{
    EXPECT_EQ(W->DisplayMemo->font().pixelSize(), 13); // as the window always looked
    EXPECT_EQ(W->Panel2->height(), 41);
    QTest::keyClick(W.get(), Qt::Key_Plus, Qt::ControlModifier);
    QTest::keyClick(W.get(), Qt::Key_Equal, Qt::ControlModifier);
    QTest::keyClick(W.get(), Qt::Key_Minus, Qt::ControlModifier);
    QWheelEvent wheel(QPointF(5, 5), W->DisplayMemo->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, 240), Qt::NoButton,
                      Qt::ControlModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(W->DisplayMemo->viewport(), &wheel);
    EXPECT_EQ(W->Zoom(), 3);
    EXPECT_EQ(W->DisplayMemo->font().pixelSize(), 16);
    EXPECT_EQ(W->MessageEdit->font().pixelSize(), 16);
    add(txt::kDefaultNick + "> " + txt::kMessageEditInitial);
    render("zoomed-pane.png");
    W->close();
    W.reset(); // one window at a time: the single-instance guard
    W = open();
    EXPECT_EQ(W->Zoom(), 3);
    EXPECT_EQ(W->DisplayMemo->font().pixelSize(), 16);
    QTest::keyClick(W.get(), Qt::Key_0, Qt::ControlModifier);
    EXPECT_EQ(W->DisplayMemo->font().pixelSize(), 13);
    EXPECT_EQ(W->Panel2->height(), 41);
}

TEST_F(Conversation, TimeOfDayIsATooltipAndAnOptionalPrefixOfPaneAndLog)
{
    const std::string odd("b\x82", 2);
    add("a\r\n" + odd);
    EXPECT_TRUE(W->DisplayMemo->LineTime(1).contains(QRegularExpression(QStringLiteral("\\d\\d:\\d\\d:\\d\\d$"))));
    EXPECT_FALSE(W->TimesAction->isChecked());
    W->K5->trigger();
    const QString path = W->SavedNote->Path();
    QFile log(path);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_EQ(log.readAll(), QByteArray("a\r\nb\x82\r\n")); // the option off: as always
    log.close();

    W->TimesAction->trigger();
    add("c");
    const QRegularExpression prefix(QStringLiteral("^\\[\\d\\d:\\d\\d\\] "));
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(blockText(i).contains(prefix)) << blockText(i).toStdString();
    EXPECT_TRUE(logNow().endsWith("\r\nc\r\n"));
    render("time-prefix.png");
    W->K5->trigger();
    log.setFileName(W->SavedNote->Path());
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QList<QByteArray> saved = log.readAll().split('\n');
    ASSERT_EQ(saved.size(), 4); // three lines and the empty rest after the last LF
    EXPECT_EQ(saved[1].mid(8), QByteArray("b\x82\r"));
    EXPECT_EQ(saved[2].mid(8), QByteArray("c\r"));
    EXPECT_TRUE(QString::fromLatin1(saved[2]).contains(prefix));

    W->TimesAction->trigger();
    EXPECT_EQ(blockText(2), QStringLiteral("c"));
}

TEST_F(Conversation, SavingTellsTheFullPathOutsideTheConversationAndOpensTheFolder)
{
    add("abc");
    W->K5->trigger();
    ASSERT_TRUE(W->SavedNote->isVisible());
    const QString path = W->SavedNote->Path();
    EXPECT_TRUE(QFileInfo(path).isAbsolute());
    EXPECT_EQ(QFileInfo(path).absolutePath(), QFileInfo(FDir.path()).canonicalFilePath());
    EXPECT_TRUE(W->SavedNote->Text->text().endsWith(path));
    EXPECT_EQ(logNow(), QByteArray("abc\r\n"));
    EXPECT_EQ(W->DisplayMemo->blockCount(), 1);
    render("saved-note.png");
    W->SavedNote->OpenFolderButton->Click();
    EXPECT_EQ(Opened, QList<QUrl>{QUrl::fromLocalFile(QFileInfo(path).absolutePath())});
}

// A long log shows its progress while the chat goes on: a line that arrives
// during the save is left for the next one, which stays enabled. A cancelled
// save leaves the earlier file whole and shows no error.
TEST_F(Conversation, SavingALongLogShowsProgressAndCanBeCancelled)
{
    TTWSChatForm::SaveProgressDelayMs = 0;
    const std::string line(200, 'x');
    for (int i = 0; i < 4000; ++i) // several pieces of the copy
        W->ShowEvent(TChatEvent::ChatLine(line));
    W->FlushPane();
    const QByteArray whole = logNow();
    int visibleTicks = 0;
    bool cancel = false;
    QTimer tick; // runs inside the save, from the dialog's event processing
    QObject::connect(&tick, &QTimer::timeout, [&] {
        auto* p = W->findChild<QProgressDialog*>();
        if (!p || !p->isVisible() || visibleTicks++ > 0)
            return;
        EXPECT_EQ(p->labelText(), sjis::decode(txt::kLogSaving));
        if (cancel)
            p->cancel();
        else
            W->ShowEvent(TChatEvent::ChatLine("late"));
    });
    tick.start(0);
    W->K5->trigger();
    ASSERT_GT(visibleTicks, 0);
    const QString path = W->SavedNote->Path();
    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_TRUE(saved.readAll() == whole);
    EXPECT_TRUE(W->K5->isEnabled());

    visibleTicks = 0;
    cancel = true;
    W->K5->trigger();
    tick.stop();
    TTWSChatForm::SaveProgressDelayMs = 500;
    EXPECT_GT(visibleTicks, 0);
    saved.seek(0);
    EXPECT_TRUE(saved.readAll() == whole);
    EXPECT_EQ(QDir(FDir.path()).entryList({QStringLiteral("*.log")}, QDir::Files).size(), 1);
    EXPECT_TRUE(W->K5->isEnabled());
}

TEST_F(Conversation, JoinedAddressesAreOfferedAfterARestart)
{
    QStringList offered;
    std::string typed;
    TModalDialog::Answerer = [&](QDialog* d) {
        if (auto* c = qobject_cast<TfmConnect*>(d)) {
            offered = c->History();
            c->SetText(typed);
            c->CuteButton1->Click();
        }
        return int(mrCancel);
    };
    std::string target;
    for (int i = 1; i <= 12; ++i) {
        typed = "10.0.0." + std::to_string(i);
        ASSERT_EQ(W->RunConnectDialog(target), mrOk);
        EXPECT_EQ(target, typed);
    }
    typed = "10.0.0.5";
    W->RunConnectDialog(target);
    W->close();
    W.reset(); // one window at a time: the single-instance guard
    W = open();
    typed = "host";
    W->RunConnectDialog(target);
    ASSERT_EQ(offered.size(), 10);
    EXPECT_EQ(offered[0], QStringLiteral("10.0.0.5"));
    EXPECT_EQ(offered[1], QStringLiteral("10.0.0.12"));
    EXPECT_FALSE(offered.contains(QStringLiteral("10.0.0.2")));
    EXPECT_EQ(fmConnect->edIP->completer()->model()->rowCount(), 10);
    EXPECT_EQ(target, "host"); // the typed text is taken as typed
}

} // namespace
