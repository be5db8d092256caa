#include "namedialog.h"

#include "flatbutton.h"
#include "sjis.h"
#include "texts.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TForm3::TForm3(QWidget* parent) : TModalDialog(parent)
{
    setObjectName(QStringLiteral("Form3"));
    SetupWindow(txt::kMenuSettings, 191, 111);
    SetDesignedPosition(298, 182);

    Panel1 = MakePanel(this, 7, 7, 177, 98);
    Label1 = MakeLabel(Panel1, 20, 8, txt::kNameDesign);

    // Controls are created in their tab order.
    NameEdit = new QLineEdit(Panel1);
    NameEdit->setObjectName(QStringLiteral("NameEdit"));
    NameEdit->setGeometry(18, 26, 121, 20);
    SetName(txt::kDefaultNick);

    CuteButton1 = new TCuteButton(Panel1);
    CuteButton1->setObjectName(QStringLiteral("CuteButton1"));
    CuteButton1->setGeometry(40, 58, 51, 25);
    CuteButton1->SetCaption("Ok");
    CuteButton1->SetColor(QColor(240, 240, 240));
    CuteButton1->OnClick = [this](TCuteButton*) { CuteButton1Click(); };

    CuteButton2 = new TCuteButton(Panel1);
    CuteButton2->setObjectName(QStringLiteral("CuteButton2"));
    CuteButton2->setGeometry(95, 58, 51, 25);
    CuteButton2->SetCaption("Cancel");
    CuteButton2->SetColor(QColor(240, 240, 240));
    CuteButton2->OnClick = [this](TCuteButton*) { CuteButton2Click(); };

    // Outside the panel's visible area: never seen, they only carry the
    // dialog's Enter and Escape.
    Button1 = new QPushButton(QStringLiteral("Button1"), Panel1);
    Button1->setGeometry(218, 39, 75, 25);
    connect(Button1, &QPushButton::clicked, this, [this] { CuteButton1Click(); });
    Button2 = new QPushButton(QStringLiteral("Button2"), Panel1);
    Button2->setGeometry(200, 18, 75, 25);
    connect(Button2, &QPushButton::clicked, this, [this] { CuteButton2Click(); });
    SetDefaultButton(Button1);
    SetCancelButton(Button2);
}

void TForm3::SetName(const std::string& cp932)
{
    FNameBytes = cp932;
    FNameShown = sjis::decode(cp932);
    NameEdit->setText(FNameShown);
}

std::string TForm3::Name() const
{
    const QString text = NameEdit->text();
    return text == FNameShown ? FNameBytes : sjis::encode(text);
}

void TForm3::CuteButton1Click()
{
    SetModalResult(mrOk);
}

void TForm3::CuteButton2Click()
{
    SetModalResult(mrCancel);
}
