#include "questiondialog.h"

#include "flatbutton.h"
#include "sjis.h"
#include "texts.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QtMath>

namespace {

// The designed geometry: client area, panel, text box (on the panel) and
// the two buttons' top-left corners.
const QSize kClient(241, 115);
const QRect kPanel(7, 10, 226, 71);
const QRect kMemo(56, 11, 161, 49);
const QPoint kYes(65, 87);
const QPoint kNo(121, 87);

} // namespace

TDialog::TDialog(QWidget* parent) : TModalDialog(parent)
{
    setObjectName(QStringLiteral("Dialog"));
    // An ordinary window with title-bar buttons, not resizable.
    setupWindow(txt::kQuestionCaption, kClient.width(), kClient.height(), false);
    setDesignedPosition(315, 194);

    Panel1 = makePanel(this, kPanel.x(), kPanel.y(), kPanel.width(), kPanel.height());

    Image1 = makePicture(Panel1, "Image1", {8, 17, 37, 37}, dialogPicture());

    Memo1 = new QPlainTextEdit(Panel1);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(kMemo);
    Memo1->setFrameShape(QFrame::NoFrame);
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff); // it grows to hold the text
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Memo1->setFocusPolicy(Qt::ClickFocus); // skipped by Tab
    Memo1->document()->setDocumentMargin(0);

    CuteButton1 =
        makeFlatButton(this, "CuteButton1", {kYes, QSize(42, 22)}, txt::kDlgYes, [this] { CuteButton1Click(); });
    CuteButton2 =
        makeFlatButton(this, "CuteButton2", {kNo, QSize(42, 22)}, txt::kDlgNo, [this] { CuteButton2Click(); });
    Add(txt::kQuestionDesign);
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
    fitText();
}

// The text box is designed for a Windows font of the same pixel size; other
// fonts are wider and taller. Grow the box, its panel and the window until
// every line shows whole and unwrapped, never below the designed sizes;
// the buttons keep their place under the panel.
void TDialog::fitText()
{
    const QFontMetrics fm(Memo1->font());
    const QStringList lines = Memo1->toPlainText().split(QLatin1Char('\n'));
    int widest = 0;
    for (const QString& l : lines)
        widest = qMax(widest, fm.horizontalAdvance(l));
    const int margin = 2 * qCeil(Memo1->document()->documentMargin()) + 2 * Memo1->frameWidth();
    // The whole text shows, so no scroll bar is shown; the layout wraps a
    // little before the box's edge (the cursor's room), a character spare.
    const int wantW = widest + margin + fm.averageCharWidth() + 4;
    const int wantH = static_cast<int>(lines.size()) * fm.lineSpacing() + margin + 2;
    const int dw = qMax(0, wantW - kMemo.width());
    const int dh = qMax(0, wantH - kMemo.height());
    Memo1->setGeometry(kMemo.adjusted(0, 0, dw, dh));
    Panel1->setGeometry(kPanel.adjusted(0, 0, dw, dh));
    CuteButton1->move(kYes + QPoint(dw / 2, dh));
    CuteButton2->move(kNo + QPoint(dw / 2, dh));
    setFixedSize(kClient.width() + dw, kClient.height() + dh);
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
