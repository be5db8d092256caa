#include "statusdialog.h"

#include "flatbutton.h"
#include "keychangedialog.h"
#include "sjis.h"
#include "texts.h"

#include <QFontDatabase>
#include <QLabel>

namespace {

QLabel* keyLabel(QWidget* parent, const std::string& accessibleName)
{
    auto* label = new QLabel(parent);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPixelSize(12);
    label->setFont(mono);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setAccessibleName(sjis::decode(accessibleName));
    label->hide();
    return label;
}

} // namespace

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
    HubKeyHeading = makeLabel(Panel1, 10, 0, txt::kHubKey, 13);
    HubKey = keyLabel(Panel1, txt::kHubKey);
    OwnKeyHeading = makeLabel(Panel1, 10, 0, txt::kOwnKey, 13);
    OwnKey = keyLabel(Panel1, txt::kOwnKey);
    SetKeys(std::string(), std::string());
}

void TfmStatus::SetKeys(const std::string& hub, const std::string& own)
{
    // Below the own address, each key that is known; the designed size
    // when there is none.
    int y = 134;
    int width = 190;
    for (auto [heading, value, key] :
         {std::tuple{HubKeyHeading, HubKey, &hub}, std::tuple{OwnKeyHeading, OwnKey, &own}}) {
        heading->setVisible(!key->empty());
        value->setVisible(!key->empty());
        if (key->empty())
            continue;
        heading->move(10, y);
        value->setText(FingerprintLines(*key));
        value->adjustSize();
        value->move(18, y + heading->height() + 1);
        y = value->y() + value->height() + 6;
        width = std::max(width, value->x() + value->width() + 26);
    }
    Panel1->setGeometry(8, 9, width - 18, y);
    CuteButton1->move(67 + (width - 190) / 2, y + 17);
    setFixedSize(width, y + 49);
}

void TfmStatus::CuteButton1Click()
{
    SetModalResult(mrOk);
}
