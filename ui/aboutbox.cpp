#include "aboutbox.h"

#include "flatbutton.h"
#include "texts.h"

#include <QLabel>

Tver::Tver(QWidget* parent) : TModalDialog(parent)
{
    setObjectName(QStringLiteral("ver"));
    SetupWindow(txt::kVerCaption, 215, 185);
    SetCentred();

    Panel1 = MakePanel(this, 7, 8, 201, 145);

    ProgramIcon = new QLabel(Panel1);
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    ProgramIcon->setGeometry(10, 9, 63, 63);
    ProgramIcon->setScaledContents(true);
    ProgramIcon->setPixmap(ProgramPicture());

    auto heading = [this](int x, int y, const std::string& text) {
        QLabel* l = MakeLabel(Panel1, x, y, text, 13);
        QPalette pal = l->palette();
        pal.setColor(QPalette::WindowText, Qt::black);
        l->setPalette(pal);
        return l;
    };
    Label2 = heading(88, 8, txt::kVerNameHeading);
    label1 = MakeLabel(Panel1, 96, 26, txt::kAppCaption);
    Version = MakeLabel(Panel1, 119, 41, "Ver.2.0");
    Label7 = heading(88, 54, txt::kVerAuthorHeading);
    Label3 = MakeLabel(Panel1, 96, 72, txt::kVerAuthor);
    Label4 = heading(14, 87, txt::kVerRemarkHeading);
    Label5 = MakeLabel(Panel1, 22, 105, txt::kVerRemark);
    Label6 = MakeLabel(Panel1, 8, 128, txt::kVerHomePage);

    CuteButton1 = new TCuteButton(this);
    CuteButton1->setObjectName(QStringLiteral("CuteButton1"));
    CuteButton1->setGeometry(83, 160, 49, 21);
    CuteButton1->SetCaption("OK");
    CuteButton1->SetColor(QColor(222, 222, 222));
    CuteButton1->setFont(PelmoraFont(12));
    CuteButton1->OnClick = [this](TCuteButton*) { CuteButton1Click(); };
}

void Tver::CuteButton1Click()
{
    SetModalResult(mrOk);
}
