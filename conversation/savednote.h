#pragma once
// TSavedNote: the transient note that tells where the log went. It lies
// over the foot of the conversation pane, says "ログを保存しました: " and
// the file's full path, offers フォルダを開く (the desktop opens the folder
// through TConversationPane::Opener) and goes away by itself after a few
// seconds, on a double click on its text, or when the next note replaces it. It
// never enters the conversation or the log. The program's other notes about
// the conversation's files (a log made of a lost run, a spool or automatic
// log that cannot be written) use it too; a note that must stay while its
// cause lasts is withdrawn by its owner.

#include <QFrame>

class QLabel;
class QTimer;
class TCuteButton;

class TSavedNote : public QFrame {
    Q_OBJECT
public:
    explicit TSavedNote(QWidget* pane);

    void Show(const QString& fullPath);
    // text as it is; the button opens the folder of fullPath, and is hidden
    // when fullPath is empty. A note that stays does not go by itself.
    void ShowText(const QString& text, const QString& fullPath, bool stays = false);
    // Hides the note if it still shows text.
    void Withdraw(const QString& text);
    QString Path() const { return FPath; }

    static constexpr int kShownMs = 8000;

    QLabel* Text;
    TCuteButton* OpenFolderButton;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void place();

    QString FPath;
    QTimer* FHide;
};
