#pragma once
// TModalDialog: what the six dialogs share.
//
// - ShowModal() runs the dialog in a nested event loop and returns its modal
//   result: mrOk (1), mrCancel (2, also the title-bar close box) or mrNo (7).
//   Socket events keep being delivered while it is open.
// - SetModalResult(r) ends it with r, as a button does.
// - A dialog may name a hidden default button (Enter anywhere in the dialog,
//   whichever control has the focus) and a hidden cancel button (Escape).
//   Without a cancel button Escape does nothing, unless the dialog has
//   nothing to cancel and closes on it as on Enter (setEscapeResult).
// - Each showing starts with the focus on the first control of the tab order.
// - It opens centred over the window that opened it (its owner, or the
//   dialog in front), on that window's screen; without a shown owner at its
//   designed place. While another program is active it opens without taking
//   the keyboard from it.
//
// Test hook: when TModalDialog::Answerer is set, ShowModal() does not run a
// nested loop. It shows the dialog (not modal), focuses its first control
// and calls Answerer(dialog) once; the answerer may drive the dialog (press
// its buttons with QTest, type, run pending socket events, ...) and returns
// a result. If the dialog was ended by its own buttons meanwhile, that
// result wins; otherwise the answerer's value is taken, and 0 or less means
// the close box (mrCancel). ShowModal() hides the dialog before returning.
// Answerers see nested dialogs too (the connect dialog's error box).
//
//   TModalDialog::Answerer = [](QDialog* d) {
//       QCoreApplication::processEvents();   // let pending socket events run
//       return qobject_cast<TDialog*>(d) ? int(mrNo) : int(mrOk);
//   };
//   ...
//   TModalDialog::Answerer = nullptr;        // back to the real modal loop

#include "modalresult.h"
#include "palette.h"

#include <QDialog>
#include <QFont>
#include <functional>
#include <string>

class QLabel;
class QPushButton;
class QFrame;
class TCuteButton;

class TModalDialog : public QDialog {
    Q_OBJECT
public:
    explicit TModalDialog(QWidget* parent = nullptr);

    int ShowModal();
    int ModalResult() const { return FModalResult; }
    void SetModalResult(int value);

    // See the header comment; empty in production.
    static std::function<int(QDialog*)> Answerer;

    void done(int r) override;
    void reject() override;

protected:
    // Fixed dialog border or, for the question dialog, a plain window frame
    // that cannot be resized; client size in pixels.
    void setupWindow(const std::string& caption, int clientWidth, int clientHeight, bool dialogBorder = true);
    // Where the window opens: a designed screen position, or centred.
    void setDesignedPosition(int left, int top);
    void setCentred() { FCentred = true; }
    void setDefaultButton(QPushButton* b) { FDefaultButton = b; }
    void setCancelButton(QPushButton* b) { FCancelButton = b; }
    // Escape ends the dialog with result (a dialog without a cancel button).
    void setEscapeResult(int result) { FEscapeResult = result; }
    // The hidden push buttons that carry Enter ("Button1", the default
    // button) and Escape ("Button2", the cancel button) to onClick. The
    // caller places them outside the visible area, so they are never seen.
    QPushButton* addDefaultButton(QWidget* parent, const QRect& at, std::function<void()> onClick);
    QPushButton* addCancelButton(QWidget* parent, const QRect& at, std::function<void()> onClick);

    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    void place();
    void placeAndFocus();

    int FModalResult = mrNone;
    bool FCentred = false;
    int FEscapeResult = mrNone;
    QPushButton* FDefaultButton = nullptr;
    QPushButton* FCancelButton = nullptr;
};

// The dialogs' font: "ＭＳ Ｐゴシック" when present, else a proportional
// Japanese Gothic, at the given pixel height.
QFont pelmoraFont(int pixelSize, bool bold = false);

// Builders of the dialogs' controls.
// The light-cyan panel without bevel that holds a dialog's controls.
QFrame* makePanel(QWidget* parent, int x, int y, int w, int h);
// An auto-sized label at (x, y) showing the CP932 text.
QLabel* makeLabel(QWidget* parent, int x, int y, const std::string& cp932, int pixelSize = 12);
// A flat button with the CP932 caption; onClick runs when it is clicked.
TCuteButton* makeFlatButton(QWidget* parent, const char* name, const QRect& at, const std::string& cp932,
                            std::function<void()> onClick, const QColor& face = look::kButtonFace);
// A label at (x, y, w, h) that shows a picture.
QLabel* makePicture(QWidget* parent, const char* name, const QRect& at, const QPixmap& picture);
// The colour a label's text is drawn in.
void setTextColour(QWidget* widget, const QColor& colour);

// CP932 texts in and out of labels.
void SetCaption(QLabel* label, const std::string& cp932);
std::string Caption(const QLabel* label);

// The pictures drawn for this program (resources): the 37 x 37 face of the
// error and question dialogs, the about box's program picture, and the
// window icon.
QPixmap dialogPicture();
QPixmap programPicture();
QIcon ProgramIcon();
