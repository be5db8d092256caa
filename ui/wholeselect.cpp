#include "wholeselect.h"

#include <QDialog>
#include <QFocusEvent>
#include <QLineEdit>

namespace {

bool leftForAWhile(Qt::FocusReason reason)
{
    return reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason || reason == Qt::MenuBarFocusReason;
}

class TWholeSelect : public QObject {
public:
    explicit TWholeSelect(QLineEdit* edit) : QObject(edit), FEdit(edit) { edit->installEventFilter(this); }

    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (watched != FEdit)
            return false;
        switch (e->type()) {
        case QEvent::FocusOut: FComesBack = leftForAWhile(static_cast<QFocusEvent*>(e)->reason()); return false;
        case QEvent::Hide:
        case QEvent::Show:
            // A dialog shown again is a new entry: it starts selected, also
            // before it is activated and the focus arrives. A main window
            // brought back from the tray is the user coming back.
            if (qobject_cast<QDialog*>(FEdit->window())) {
                FComesBack = false;
                FEdit->selectAll();
            }
            return false;
        case QEvent::FocusIn: {
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(e)->reason();
            const bool keep = reason == Qt::MouseFocusReason || (FComesBack && leftForAWhile(reason));
            FComesBack = false;
            if (keep)
                return false;
            // The edit box handles its focus first (it may place the cursor),
            // then the whole text is selected, cursor at its end.
            static_cast<QObject*>(FEdit)->event(e);
            FEdit->selectAll();
            return true;
        }
        default: return false;
        }
    }

private:
    QLineEdit* FEdit;
    bool FComesBack = false;
};

} // namespace

void selectWholeOnFocus(QLineEdit* edit)
{
    new TWholeSelect(edit);
}
