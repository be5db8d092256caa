#include "keychangedialog.h"

#include "flatbutton.h"
#include "sjis.h"
#include "texts.h"

#include <QFontDatabase>
#include <QLabel>

namespace {

constexpr int kWidth = 420;
constexpr int kTextLeft = 56;

QLabel* fingerprintLabel(QWidget* parent, int y, const std::string& accessibleName)
{
    auto* label = new QLabel(parent);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPixelSize(13);
    label->setFont(mono);
    label->setTextFormat(Qt::PlainText);
    // Selectable, so it can be copied and compared with what the hub's
    // owner reads out; Tab goes from button to button only.
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    label->setFocusPolicy(Qt::ClickFocus);
    label->setAccessibleName(sjis::decode(accessibleName));
    label->move(kTextLeft + 8, y);
    return label;
}

} // namespace

QString FingerprintLines(const std::string& fingerprint)
{
    const QString fp = QString::fromStdString(fingerprint);
    const int half = 16 * 3; // 16 pairs with their colons
    return fp.size() > half ? fp.left(half - 1) + QLatin1Char('\n') + fp.mid(half) : fp;
}

TfmKeyChange::TfmKeyChange(QWidget* parent) : TModalDialog(parent)
{
    setObjectName(QStringLiteral("fmKeyChange"));
    setupWindow(txt::kKeyChangeCaption, kWidth, 250);
    setCentred();

    Panel1 = makePanel(this, 8, 9, kWidth - 16, 200);
    makePicture(Panel1, "Image1", {8, 12, 37, 37}, dialogPicture());
    Message = makeLabel(Panel1, kTextLeft, 10, std::string(), 12);
    Message->setObjectName(QStringLiteral("Message"));
    PinnedHeading = makeLabel(Panel1, kTextLeft, 0, txt::kKeyPinned, 12);
    Pinned = fingerprintLabel(Panel1, 0, txt::kKeyPinned);
    ShownHeading = makeLabel(Panel1, kTextLeft, 0, txt::kKeyShown, 12);
    Shown = fingerprintLabel(Panel1, 0, txt::kKeyShown);

    // The safe answer first: it has the focus when the dialog opens.
    RefuseButton = makeFlatButton(this, "RefuseButton", {kWidth / 2 - 128, 217, 110, 25}, txt::kKeyRefuse,
                                  [this] { SetModalResult(mrNo); });
    AcceptButton = makeFlatButton(this, "AcceptButton", {kWidth / 2 + 18, 217, 110, 25}, txt::kKeyAccept,
                                  [this] { SetModalResult(mrOk); });
    setTabOrder(RefuseButton, AcceptButton);
    addCancelButton(this, {-100, -100, 10, 10}, [this] { SetModalResult(mrNo); });
}

void TfmKeyChange::SetKeys(const std::string& address, const std::string& pinned, const std::string& shown)
{
    QString text = sjis::decode(txt::kKeyChangeText).arg(QString::fromStdString(address));
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    Message->setText(text);
    Message->adjustSize();
    Pinned->setText(FingerprintLines(pinned));
    Shown->setText(FingerprintLines(shown));
    Pinned->adjustSize();
    Shown->adjustSize();
    setAccessibleDescription(text);

    // Laid out from the top, the window grown to what the fonts need.
    int y = Message->y() + Message->height() + 10;
    for (QLabel* heading : {PinnedHeading, ShownHeading}) {
        QLabel* value = heading == PinnedHeading ? Pinned : Shown;
        heading->move(kTextLeft, y);
        value->move(kTextLeft + 8, y + heading->height() + 2);
        y = value->y() + value->height() + 8;
    }
    // The panel's own left edge and a margin as wide on the right.
    const int width =
        std::max({kWidth, 8 + Message->x() + Message->width() + 24, 8 + Pinned->x() + Pinned->width() + 24});
    Panel1->setGeometry(8, 9, width - 16, y);
    RefuseButton->move(width / 2 - 128, y + 17);
    AcceptButton->move(width / 2 + 18, y + 17);
    setFixedSize(width, y + 50);
}
