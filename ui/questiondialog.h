#pragma once
// TDialog: the yes/no question. The caller clears the text, adds the
// question (its "\r\n" split it into lines) and tests for mrOk:
//   Dialog->Clear();
//   Dialog->Add(txt::kCloseHubQuestion);
//   if (Dialog->ShowModal() == mrOk) ...   // yes
// Yes gives mrOk (1), no gives mrNo (7), the close box mrCancel (2):
// anything but 1 is no. The yes button has the focus when it opens; Enter
// or Space answer with the focused button; Escape does nothing.
// The text box grows from its designed size to hold the whole question in
// the font at hand; the window grows with it, the layout stays.

#include "modaldialog.h"

class QPlainTextEdit;
class TCuteButton;

class TDialog : public TModalDialog {
    Q_OBJECT
public:
    explicit TDialog(QWidget* parent = nullptr);

    // Memo1's lines: Clear() empties it, Add() appends one text whose "\r\n"
    // (or "\n") start further lines; Text() gives the lines joined by "\r\n".
    void Clear();
    void Add(const std::string& cp932);
    std::string Text() const;

    QFrame* Panel1;
    QLabel* Image1;
    QPlainTextEdit* Memo1;
    TCuteButton* CuteButton1; // "はい"
    TCuteButton* CuteButton2; // "いいえ"

private:
    void CuteButton1Click();
    void CuteButton2Click();
    void fitText();
};
