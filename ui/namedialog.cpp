#include "namedialog.h"

#include "sjis.h"
#include "texts.h"

#include <QLineEdit>

namespace {

// Panel, label, edit box, OK, Cancel, and the hidden Enter and Escape buttons.
const TEntryLayout kLayout{{7, 7, 177, 98},  {20, 8},           {18, 26, 121, 20}, {40, 58, 51, 25},
                           {95, 58, 51, 25}, {218, 39, 75, 25}, {200, 18, 75, 25}};

} // namespace

TForm3::TForm3(QWidget* parent) : TEntryDialog(parent)
{
    setObjectName(QStringLiteral("Form3"));
    setupWindow(txt::kMenuSettings, 191, 111);
    setDesignedPosition(298, 182);

    // The OK button and Enter both confirm.
    const auto ok = [this] { SetModalResult(mrOk); };
    NameEdit = buildEntry(kLayout, txt::kNameDesign, "NameEdit", "Ok", ok, ok);
    SetName(txt::kDefaultNick);
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
