#pragma once
// TSavedNote: the transient note that tells where the log went. It lies
// over the foot of the conversation pane, says "ログを保存しました: " and
// the file's full path, offers フォルダを開く (the desktop opens the folder
// through TConversationPane::Opener) and goes away by itself after a few
// seconds, on a double click on its text, or when the next note replaces it. It
// never enters the conversation or the log.

#include <QFrame>

class QLabel;
class QTimer;
class TCuteButton;

class TSavedNote : public QFrame {
    Q_OBJECT
public:
    explicit TSavedNote(QWidget* pane);

    void Show(const QString& fullPath);
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
