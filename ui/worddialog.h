#pragma once
// The group word dialog: a message, a box for the word (hidden as it is
// typed, unless 合言葉を表示する is ticked), OK and キャンセル. Enter is OK,
// Escape cancels. A member's window asks with it when a hub wants a word;
// the hub's window sets its own word with it (an empty box: no word).
//
//   TWordDialog d(this);
//   d.SetMessage(txt::kWordAsk);
//   if (d.ShowModal() == mrOk) { std::string word = d.Word(); ... d.Clear(); }

#include "modaldialog.h"

#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;

class TWordDialog : public TModalDialog {
    Q_OBJECT
public:
    explicit TWordDialog(QWidget* parent = nullptr);

    // The text above the box, CP932 (it may hold CR LF).
    void SetMessage(const std::string& cp932);
    // The typed word as UTF-8 bytes: a word file holds the same bytes.
    std::string Word() const;
    // Empties the box, so the word does not stay in the widget.
    void Clear();

    QLabel* Message;
    QLineEdit* WordEdit;
    QCheckBox* ShowWord;
    QPushButton* OkButton;
    QPushButton* CancelButton;
};
