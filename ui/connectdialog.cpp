#include "connectdialog.h"

#include "flatbutton.h"
#include "ownaddress.h"
#include "sjis.h"
#include "texts.h"
#include "errorbox.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TfmConnect::TfmConnect(TForm4* errorBox, const TSirSock* sirSock, QWidget* parent)
    : TModalDialog(parent), FErrorBox(errorBox), FSirSock(sirSock)
{
    setObjectName(QStringLiteral("fmConnect"));
    SetupWindow(txt::kDlgConnect, 182, 112);
    SetCentred();

    Panel1 = MakePanel(this, 8, 7, 166, 98);
    Label1 = MakeLabel(Panel1, 20, 8, txt::kDlgConnectTarget);

    // Controls are created in their tab order.
    edIP = new QLineEdit(Panel1);
    edIP->setObjectName(QStringLiteral("edIP"));
    edIP->setGeometry(18, 27, 121, 20);
    edIP->setAttribute(Qt::WA_InputMethodEnabled, false);  // addresses: no IME
    edIP->setText(sjis::decode(txt::kIPExample));

    CuteButton1 = new TCuteButton(Panel1);
    CuteButton1->setObjectName(QStringLiteral("CuteButton1"));
    CuteButton1->setGeometry(33, 59, 51, 25);
    CuteButton1->SetCaption(txt::kDlgConnect);
    CuteButton1->SetColor(QColor(240, 240, 240));
    CuteButton1->OnClick = [this](TCuteButton*) { CuteButton1Click(); };

    CuteButton2 = new TCuteButton(Panel1);
    CuteButton2->setObjectName(QStringLiteral("CuteButton2"));
    CuteButton2->setGeometry(88, 58, 51, 25);
    CuteButton2->SetCaption("Cancel");
    CuteButton2->SetColor(QColor(240, 240, 240));
    CuteButton2->OnClick = [this](TCuteButton*) { CuteButton2Click(); };

    // Outside the panel's visible area: they only carry Enter and Escape.
    Button1 = new QPushButton(QStringLiteral("Button1"), Panel1);
    Button1->setGeometry(228, 59, 75, 25);
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    Button2 = new QPushButton(QStringLiteral("Button2"), Panel1);
    Button2->setGeometry(200, 18, 75, 25);
    connect(Button2, &QPushButton::clicked, this, [this] { CuteButton2Click(); });
    SetDefaultButton(Button1);
    SetCancelButton(Button2);
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

void TfmConnect::CuteButton2Click()
{
    SetModalResult(mrCancel);
}

void TfmConnect::Button1Click()
{
    CuteButton1->Click();
}
