#pragma once
// Tver: the about box. No inputs; shown modally, result ignored:
//   ver->ShowModal();
// OK, Enter, Space or Escape (nothing here to cancel) give mrOk, the close
// box mrCancel.

#include "modaldialog.h"

class TCuteButton;

class Tver : public TModalDialog {
    Q_OBJECT
public:
    explicit Tver(QWidget* parent = nullptr);

    QFrame* Panel1;
    QLabel* ProgramIcon;
    QLabel* Label2;           // "なまえ"
    QLabel* label1;           // the program's name
    QLabel* Version;          // "Ver.2.0"
    QLabel* Label7;           // "さくしゃ"
    QLabel* Label3;           // the author
    QLabel* Label4;           // "ひとこと"
    QLabel* Label5;           // the remark
    QLabel* Label6;           // where to read more
    TCuteButton* CuteButton1; // "OK"

private:
    void CuteButton1Click();
};
