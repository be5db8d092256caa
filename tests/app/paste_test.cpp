// Pasting into the window's single-line boxes: a line break that comes in
// through the clipboard cuts the pasted text there, as a Windows edit box does.
#include "mainwindow.h"
#include "namedialog.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include "testkit.h"

#include "qtprint.h"

TEST(Paste, ALineBreakCutsThePasteInTheMessageBoxAndTheNameBox)
{
    QTemporaryDir dir;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    TChatPlace place;
    place.listenAddr = place.ownAddr = testkit::address(7);
    TTWSChatForm w(QString(), nullptr, place);
    QLineEdit* edit = w.MessageEdit;
    edit->setEnabled(true);

    QGuiApplication::clipboard()->setText(QStringLiteral("hello\nsEVIL"));
    edit->setText(QStringLiteral("<>"));
    edit->setCursorPosition(1);
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit->text(), QStringLiteral("<hello>"));
    EXPECT_EQ(edit->cursorPosition(), 6);
    EXPECT_EQ(w.MessageText(), "<hello>");

    QGuiApplication::clipboard()->setText(QStringLiteral("\r\nuEVIL"));
    edit->selectAll();
    edit->paste();
    EXPECT_EQ(edit->text(), QString());

    TForm3 names;
    names.SetName("old");
    QGuiApplication::clipboard()->setText(QStringLiteral("Bob\r\ncBob"));
    names.NameEdit->selectAll();
    QTest::keyClick(names.NameEdit, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(names.Name(), "Bob");
    names.NameEdit->insert(QStringLiteral("by\rx"));
    EXPECT_EQ(names.Name(), "Bobby");
}
