#pragma once
// TEntryDialog: what the name dialog and the connect dialog share. A panel
// with a label, one edit box, an OK and a Cancel flat button, and the two
// hidden buttons that carry Enter (OK's handling) and Escape (Cancel).
// A subclass places them with a TEntryLayout and keeps its edit box under
// its own name:
//   const auto ok = [this] { SetModalResult(mrOk); };
//   NameEdit = buildEntry(kLayout, txt::kNameDesign, "NameEdit", "Ok", ok, ok);

#include "modaldialog.h"

#include <QPoint>
#include <QRect>

class QLineEdit;
class TCuteButton;

// Where the controls of an entry dialog stand, in pixels; the panel's
// children relative to the panel.
struct TEntryLayout {
    QRect panel;
    QPoint label;
    QRect edit;
    QRect okButton;
    QRect cancelButton;
    QRect enterButton;  // hidden: outside the panel's visible area
    QRect escapeButton; // hidden too
};

class TEntryDialog : public TModalDialog {
    Q_OBJECT
public:
    QFrame* Panel1 = nullptr;
    QLabel* Label1 = nullptr;
    TCuteButton* CuteButton1 = nullptr; // OK
    TCuteButton* CuteButton2 = nullptr; // "Cancel"
    QPushButton* Button1 = nullptr;     // hidden default button (Enter)
    QPushButton* Button2 = nullptr;     // hidden cancel button (Escape)

protected:
    explicit TEntryDialog(QWidget* parent) : TModalDialog(parent) { }

    // Creates the controls in their tab order and returns the edit box.
    // onOk runs on the OK button, onEnter on Enter; Cancel and Escape give
    // mrCancel.
    QLineEdit* buildEntry(const TEntryLayout& at, const std::string& labelText, const char* editName,
                          const std::string& okCaption, std::function<void()> onOk, std::function<void()> onEnter);
};
