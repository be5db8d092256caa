#include "aboutbox.h"

#include "flatbutton.h"
#include "texts.h"

#include "pelmora_version.h"

#include <QLabel>

Tver::Tver(QWidget* parent) : TModalDialog(parent)
{
    setObjectName(QStringLiteral("ver"));
    setupWindow(txt::kVerCaption, 215, 191);
    setCentred();
    setEscapeResult(mrOk);

    // The version line has room of its own under the name: the lines below
    // stand 6 pixels lower than designed, the box grows by as much.
    Panel1 = makePanel(this, 7, 8, 201, 151);

    ProgramIcon = makePicture(Panel1, "ProgramIcon", {10, 9, 63, 63}, programPicture());
    ProgramIcon->setScaledContents(true);

    auto heading = [this](int x, int y, const std::string& text) {
        QLabel* l = makeLabel(Panel1, x, y, text, 13);
        setTextColour(l, look::kText);
        return l;
    };
    Label2 = heading(88, 8, txt::kVerNameHeading);
    label1 = makeLabel(Panel1, 96, 26, txt::kAppCaption);
    Version = makeLabel(Panel1, 119, 41, "Ver." PELMORA_VERSION);
    Label7 = heading(88, 60, txt::kVerAuthorHeading);
    Label3 = makeLabel(Panel1, 96, 78, txt::kVerAuthor);
    Label4 = heading(14, 93, txt::kVerRemarkHeading);
    Label5 = makeLabel(Panel1, 22, 111, txt::kVerRemark);
    Label6 = makeLabel(Panel1, 8, 134, txt::kVerHomePage);

    CuteButton1 = makeFlatButton(
        this, "CuteButton1", {83, 166, 49, 21}, "OK", [this] { CuteButton1Click(); }, look::kAboutButtonFace);
    CuteButton1->setFont(pelmoraFont(12));
}

void Tver::CuteButton1Click()
{
    SetModalResult(mrOk);
}
