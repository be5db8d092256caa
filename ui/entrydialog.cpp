#include "entrydialog.h"

#include "flatbutton.h"
#include "singleline.h"
#include "wholeselect.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

QLineEdit* TEntryDialog::buildEntry(const TEntryLayout& at, const std::string& labelText, const char* editName,
                                    const std::string& okCaption, std::function<void()> onOk,
                                    std::function<void()> onEnter)
{
    Panel1 = makePanel(this, at.panel.x(), at.panel.y(), at.panel.width(), at.panel.height());
    Label1 = makeLabel(Panel1, at.label.x(), at.label.y(), labelText);

    // Controls are created in their tab order.
    auto* edit = new QLineEdit(Panel1);
    edit->setObjectName(QLatin1String(editName));
    edit->setGeometry(at.edit);
    makeSingleLine(edit);
    selectWholeOnFocus(edit); // the first key replaces the example text

    const auto cancel = [this] { SetModalResult(mrCancel); };
    CuteButton1 = makeFlatButton(Panel1, "CuteButton1", at.okButton, okCaption, std::move(onOk));
    CuteButton2 = makeFlatButton(Panel1, "CuteButton2", at.cancelButton, "Cancel", cancel);
    Button1 = addDefaultButton(Panel1, at.enterButton, std::move(onEnter));
    Button2 = addCancelButton(Panel1, at.escapeButton, cancel);
    return edit;
}
