#include "questiondialog.h"

#include "sjis.h"
#include "texts.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QTextCursor>

TDialog::TDialog(QWidget* parent) : TModalDialog(parent)
{
    setObjectName(QStringLiteral("Dialog"));
    // An ordinary window with title-bar buttons, not resizable.
    setupWindow(txt::kQuestionCaption, 241, 115, false);
    setDesignedPosition(315, 194);

    Panel1 = makePanel(this, 7, 10, 226, 71);

    Image1 = makePicture(Panel1, "Image1", {8, 17, 37, 37}, dialogPicture());

    Memo1 = new QPlainTextEdit(Panel1);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(56, 11, 161, 49);
    Memo1->setFrameShape(QFrame::NoFrame);
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Memo1->setFocusPolicy(Qt::ClickFocus);  // skipped by Tab
    Memo1->document()->setDocumentMargin(0);
    Add(txt::kQuestionDesign);

    CuteButton1 = makeFlatButton(this, "CuteButton1", {65, 87, 42, 22}, txt::kDlgYes, [this] { CuteButton1Click(); });
    CuteButton2 = makeFlatButton(this, "CuteButton2", {121, 87, 42, 22}, txt::kDlgNo, [this] { CuteButton2Click(); });
}

void TDialog::Clear()
{
    Memo1->clear();
}

void TDialog::Add(const std::string& cp932)
{
    QString text = sjis::decode(cp932);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    Memo1->appendPlainText(text);
    // Read from the first line: the question starts there.
    Memo1->moveCursor(QTextCursor::Start);
}

std::string TDialog::Text() const
{
    QString text = Memo1->toPlainText();
    text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return sjis::encode(text);
}

void TDialog::CuteButton1Click()
{
    SetModalResult(mrOk);
}

void TDialog::CuteButton2Click()
{
    SetModalResult(mrNo);
}
