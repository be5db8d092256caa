#include "connectdialog.h"

#include "flatbutton.h"
#include "ownaddress.h"
#include "sjis.h"
#include "texts.h"
#include "errorbox.h"

#include <QCompleter>
#include <QLineEdit>
#include <QStringListModel>
#include <QStyle>

namespace {

// Panel, label, edit box, OK, Cancel, and the hidden Enter and Escape buttons.
const TEntryLayout kLayout{{8, 7, 166, 98},  {20, 8},           {18, 27, 121, 20}, {33, 59, 51, 25},
                           {88, 58, 51, 25}, {228, 59, 75, 25}, {200, 18, 75, 25}};

} // namespace

TfmConnect::TfmConnect(TForm4* errorBox, const TSirSock* sirSock, QWidget* parent)
    : TEntryDialog(parent), FErrorBox(errorBox), FSirSock(sirSock)
{
    setObjectName(QStringLiteral("fmConnect"));
    setupWindow(txt::kDlgConnect, 182, 112);
    setCentred();

    edIP = buildEntry(
        kLayout, txt::kDlgConnectTarget, "edIP", txt::kDlgConnect, [this] { CuteButton1Click(); },
        [this] { Button1Click(); });
    edIP->setAttribute(Qt::WA_InputMethodEnabled, false); // addresses: no IME
    edIP->setText(sjis::decode(txt::kIPExample));
    fitExample();

    FHistory = new QStringListModel(this);
    auto* completer = new QCompleter(FHistory, this);
    completer->setCaseSensitivity(Qt::CaseSensitive);
    completer->setCompletionMode(QCompleter::PopupCompletion);
    edIP->setCompleter(completer);
}

// The example shows whole in the font at hand: the box, its panel and the
// window grow by what the designed width lacks; the buttons stay centred.
void TfmConnect::fitExample()
{
    const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, edIP);
    // Qt's own margins of a line edit (2 each side) and the cursor.
    const int want = edIP->fontMetrics().horizontalAdvance(edIP->text()) + 2 * frame + 4 + 2;
    const int dw = qMax(0, want - edIP->width());
    if (dw == 0)
        return;
    edIP->resize(edIP->width() + dw, edIP->height());
    Panel1->resize(Panel1->width() + dw, Panel1->height());
    for (QWidget* b : {static_cast<QWidget*>(CuteButton1), static_cast<QWidget*>(CuteButton2)})
        b->move(b->x() + dw / 2, b->y());
    setFixedSize(width() + dw, height());
}

void TfmConnect::SetHistory(const QStringList& addresses)
{
    FHistory->setStringList(addresses);
}

QStringList TfmConnect::History() const
{
    return FHistory->stringList();
}

std::string TfmConnect::Text() const
{
    return sjis::encode(edIP->text());
}

void TfmConnect::SetText(const std::string& cp932)
{
    edIP->setText(sjis::decode(cp932));
}

std::string TfmConnect::SelfIPAddress() const
{
    return FSirSock ? FSirSock->SelfIPAddress() : FSelfIPAddress;
}

// Whole-text byte comparisons: no trimming, no check of the dotted form.
void TfmConnect::CuteButton1Click()
{
    const std::string entry = Text();
    const std::string own = SelfIPAddress();
    if (entry != txt::kIPExample && !entry.empty() && entry != own) {
        SetModalResult(mrOk);
        return;
    }
    if (!FErrorBox)
        return;
    // The own-address test comes first: with an empty own address an empty
    // entry is "自分のIPです。".
    FErrorBox->SetMessage(Text() == own ? txt::kItsMyIP : txt::kBadIP);
    FErrorBox->ShowModal();
}

void TfmConnect::Button1Click()
{
    CuteButton1->Click();
}
