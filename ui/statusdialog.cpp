#include "statusdialog.h"

#include "texts.h"

#include <QLabel>

TfmStatus::TfmStatus(QWidget* parent) : TModalDialog(parent)
{
    setObjectName(QStringLiteral("fmStatus"));
    setupWindow(txt::kMenuStatus, 190, 183);
    setDesignedPosition(299, 172);
    setEscapeResult(mrOk);

    Panel1 = makePanel(this, 8, 9, 172, 134);
    Label2 = makeLabel(Panel1, 8, 6, txt::kDlgConnectTarget, 13);
    Label4 = makeLabel(Panel1, 16, 22, txt::kNone, 13);
    Label5 = makeLabel(Panel1, 9, 40, txt::kNextCandidate, 13);
    Label6 = makeLabel(Panel1, 17, 57, txt::kNone, 13);
    Label3 = makeLabel(Panel1, 10, 77, txt::kOwnIPAddress, 13);
    Label1 = makeLabel(Panel1, 18, 94, "0.0.0.0", 13);
    Label7 = makeLabel(Panel1, 10, 114, std::string(), 13);

    CuteButton1 = makeFlatButton(this, "CuteButton1", {67, 151, 51, 25}, "Ok", [this] { CuteButton1Click(); });
}

void TfmStatus::CuteButton1Click()
{
    SetModalResult(mrOk);
}
