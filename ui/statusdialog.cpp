#include "statusdialog.h"

#include "flatbutton.h"
#include "texts.h"

#include <QLabel>

TfmStatus::TfmStatus(QWidget* parent) : TModalDialog(parent)
{
    setObjectName(QStringLiteral("fmStatus"));
    SetupWindow(txt::kMenuStatus, 190, 165);
    SetDesignedPosition(299, 172);

    Panel1 = MakePanel(this, 8, 9, 172, 116);
    Label2 = MakeLabel(Panel1, 8, 6, txt::kDlgConnectTarget, 13);
    Label4 = MakeLabel(Panel1, 16, 22, txt::kNone, 13);
    Label5 = MakeLabel(Panel1, 9, 40, txt::kNextCandidate, 13);
    Label6 = MakeLabel(Panel1, 17, 57, txt::kNone, 13);
    Label3 = MakeLabel(Panel1, 10, 77, txt::kOwnIPAddress, 13);
    Label1 = MakeLabel(Panel1, 18, 94, "0.0.0.0", 13);

    CuteButton1 = new TCuteButton(this);
    CuteButton1->setObjectName(QStringLiteral("CuteButton1"));
    CuteButton1->setGeometry(67, 133, 51, 25);
    CuteButton1->SetCaption("Ok");
    CuteButton1->SetColor(QColor(240, 240, 240));
    CuteButton1->OnClick = [this](TCuteButton*) { CuteButton1Click(); };
}

void TfmStatus::CuteButton1Click()
{
    SetModalResult(mrOk);
}
