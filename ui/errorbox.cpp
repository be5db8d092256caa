#include "errorbox.h"

#include "flatbutton.h"
#include "texts.h"

#include <QLabel>

TForm4::TForm4(QWidget* parent) : TModalDialog(parent)
{
    setObjectName(QStringLiteral("Form4"));
    SetupWindow(txt::kErrorCaption, 178, 97);
    SetDesignedPosition(263, 145);

    // Created in tab order: the OK button first, so it has the focus.
    CuteButton1 = new TCuteButton(this);
    CuteButton1->setObjectName(QStringLiteral("CuteButton1"));
    CuteButton1->setGeometry(65, 71, 42, 22);
    CuteButton1->SetCaption("OK");
    CuteButton1->SetColor(QColor(240, 240, 240));
    CuteButton1->OnClick = [this](TCuteButton*) { CuteButton1Click(); };

    Panel1 = MakePanel(this, 7, 10, 164, 57);
    Panel1->setObjectName(QStringLiteral("Panel1"));

    Image1 = new QLabel(Panel1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(8, 2, 37, 37);
    Image1->setPixmap(DialogPicture());

    Label1 = new QLabel(Panel1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setTextFormat(Qt::PlainText);
    Label1->setGeometry(16, 41, 139, 13);
    Label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label1->setFont(PelmoraFont(13));
    QPalette pal = Label1->palette();
    pal.setColor(QPalette::WindowText, Qt::black);
    Label1->setPalette(pal);
    SetMessage(txt::kBadIP);

    Label2 = new QLabel(Panel1);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setTextFormat(Qt::PlainText);
    Label2->setGeometry(58, 14, 97, 16);
    Label2->setFont(PelmoraFont(16, true));
    pal = Label2->palette();
    pal.setColor(QPalette::WindowText, QColor(0, 0, 128));
    Label2->setPalette(pal);
    SetCaption(Label2, txt::kThatsNoGood);
}

void TForm4::SetMessage(const std::string& cp932)
{
    FMessage = cp932;
    SetCaption(Label1, cp932);
}

// The bytes as set, even where they do not decode for display.
std::string TForm4::Message() const
{
    return FMessage;
}

void TForm4::CuteButton1Click()
{
    SetModalResult(mrOk);
}
