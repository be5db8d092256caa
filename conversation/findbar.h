#pragma once
// TFindBar: the small find bar under the conversation pane. Ctrl+F (or the
// menu) opens it with the focus in its box; typing marks every match in the
// pane and selects the next one; Enter or 次へ moves to the next match,
// Shift+Enter or 前へ to the previous one, wrapping at the ends; Escape (the
// window binds it) or 閉じる closes it and removes the marks. It searches
// the decoded text as the pane shows it, case-insensitively.

#include <QWidget>

class QLineEdit;
class QPlainTextEdit;
class TCuteButton;

class TFindBar : public QWidget {
    Q_OBJECT
public:
    TFindBar(QPlainTextEdit* pane, QWidget* parent);

    void Open();
    void Close();
    // False when the text is nowhere in the pane.
    bool FindNext();
    bool FindPrevious();
    // How many matches are marked (at most kMaxMarks).
    int MarkCount() const { return FMarks; }

    static constexpr int kMaxMarks = 1000;

    QLineEdit* FindEdit;
    TCuteButton* PreviousButton;
    TCuteButton* NextButton;
    TCuteButton* CloseButton;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool find(bool backward);
    void mark();
    void showFound(bool found);

    QPlainTextEdit* FPane;
    int FMarks = 0;
};
