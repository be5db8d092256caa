#include "errorbox.h"

#include "texts.h"

#include <QLabel>

TForm4::TForm4(QWidget* parent) : TModalDialog(parent)
{
    setObjectName(QStringLiteral("Form4"));
    setupWindow(txt::kErrorCaption, 178, 97);
    setDesignedPosition(263, 145);

    // Created in tab order: the OK button first, so it has the focus.
    CuteButton1 = makeFlatButton(this, "CuteButton1", {65, 71, 42, 22}, "OK", [this] { CuteButton1Click(); });

    Panel1 = makePanel(this, 7, 10, 164, 57);
    Panel1->setObjectName(QStringLiteral("Panel1"));

    Image1 = makePicture(Panel1, "Image1", {8, 2, 37, 37}, dialogPicture());

    Label1 = new QLabel(Panel1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setTextFormat(Qt::PlainText);
    Label1->setGeometry(16, 41, 139, 13);
    Label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label1->setFont(pelmoraFont(13));
    setTextColour(Label1, look::kText);
    SetMessage(txt::kBadIP);

    Label2 = new QLabel(Panel1);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setTextFormat(Qt::PlainText);
    Label2->setGeometry(58, 14, 97, 16);
    Label2->setFont(pelmoraFont(16, true));
    setTextColour(Label2, look::kHeadline);
    SetCaption(Label2, txt::kThatsNoGood);
}

void TForm4::SetMessage(const std::string& cp932)
{
    FMessage = cp932;
    SetCaption(Label1, cp932);
}

std::string TForm4::Message() const
{
    return FMessage;
}

void TForm4::CuteButton1Click()
{
    SetModalResult(mrOk);
}
