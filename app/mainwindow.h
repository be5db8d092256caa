#pragma once
// The main window: roster strip, conversation pane, input row and menu.
// It owns the chat and shows what the chat tells it; it holds no chat logic.
// What happens in it reaches the desktop's parts (notices, tray) through its
// signals; main.cpp connects them.

#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPushButton>

#include "chatcore.h"
#include "chatplace.h"
#include "chatview.h"
#include "conversation.h"
#include "conversationpane.h"
#include "logfile.h"

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QLayout;
class QMenu;
class TCuteButton;
class TSirSock;
class THelpViewer;
class TFindBar;
class TInputCheck;
class TSavedNote;
class TGroupWordUi;
class QShortcut;
struct TRecovery;

class TTWSChatForm : public QMainWindow, public TChatView {
    Q_OBJECT
public:
    // Builds the window; a non-empty first argument (the address to join)
    // starts a join before the listener opens.
    explicit TTWSChatForm(const QString& firstArgument = QString(), QWidget* parent = nullptr,
                          const TChatPlace& place = TChatPlace::FromEnvironment());
    ~TTWSChatForm() override;

    // Conversation pane: every display line of the event is spooled as its
    // CP932 bytes (the log is written from them); the pane shows the last
    // lines, decoded, updated from the event loop (conversation.h). Then
    // EventShown tells the desktop.
    void ShowEvent(const TChatEvent& event) override;
    // Everything added so far into the pane now.
    void FlushPane();
    TConversation* Conversation = nullptr;

    // Font size of the pane and the input box, in steps of one pixel from
    // the 13-pixel default (0); kept in the settings.
    void SetZoom(int steps);
    int Zoom() const { return FZoom; }
    static constexpr int kMinZoom = -6, kMaxZoom = 27;
    // How long saving the log runs before its progress dialog shows.
    static inline int SaveProgressDelayMs = 500;

    // The "[HH:MM] " prefix in the pane and in the saved log (設定 menu,
    // off by default); turning it on or off rewrites the pane.
    void SetShowTimes(bool on);
    bool ShowTimes() const { return FShowTimes; }

    // The automatic log (設定 menu, off by default): every line into a file
    // per day in the log folder.
    void SetAutoLog(bool on);
    bool AutoLogOn() const { return FAutoLog; }

    // 自動でつなぎ直す (設定 menu, off by default): the questions of a
    // regroup (the hub is gone; the joined instance is not the hub) are
    // answered yes without a dialog, and the pane says so.
    void SetAutoRejoin(bool on);
    bool AutoRejoin() const { return FAutoRejoin; }

    // 新しい発言を通知する (設定 menu); NotifyChanged tells each change.
    bool NotifyOn() const { return FNotify; }
    // The component that knows the own address, for the connect dialog.
    const TSirSock* OwnAddressSource() const { return SirSock1; }

    // The session ends (a signal at logout or shutdown): the window closes
    // as the user would close it, but asks nothing, as nobody can answer.
    void EndSession();
    // Writes every setting now; false (and said once) when it failed.
    bool WriteSettings();
    // Says where the conversations of runs that did not end cleanly went,
    // and what could not be done with them.
    void ShowRecovery(const TRecovery& recovery);

    // The addresses joined last, newest first, offered by the connect dialog.
    const QStringList& RecentAddresses() const { return FRecent; }

    // What the chat shows on the screen.
    void ShowRoster(const std::array<std::string, 9>& names, const std::string& caption) override;
    // Marks the members linked in the clear (at the next ShowRoster) and
    // puts the padlock of one's own link on the status picture.
    void ShowLinks(const std::array<bool, 9>& plain, TOwnLink own) override;
    void ShowConnectOffered(bool offered) override;
    void ShowTalking(bool talking) override;
    void ShowFirstSeatTaken() override;
    TModalResult AskQuestion(const std::string& text) override;
    TModalResult AskKeyChange(const std::string& address, const std::string& pinned, const std::string& shown) override;
    void ShowError(const std::string& text) override;
    TModalResult RunConnectDialog(std::string& target) override;
    bool AskWord(const std::string& hub) override;
    void ShowWordRefused(const std::string& hub) override;

    // The input box: on or off (moving the focus in when it comes on), the
    // focus into it, and its text, CP932.
    void SetMessageEditEnabled(bool enabled);
    void FocusMessageEdit();
    std::string MessageText();

    // The chat: state, sockets and handlers. Its Name is the own nick name.
    std::unique_ptr<TChatCore> Chat;
    // The group word's menu item, dialog and keyring (groupwordui.h).
    TGroupWordUi* WordUi = nullptr;

    // Controls under their names: those the window's tests drive and read.
    // The rest are private below; the program's other parts go through the
    // accessors and signals above.
    QWidget* Panel1 = nullptr; // the roster strip
    QLabel* Label1 = nullptr;
    std::array<QLabel*, 9> lbName{};
    std::array<QWidget*, 9> lbPlain{}; // the mark after a name linked in the clear
    QLabel* IPName = nullptr;
    QWidget* Panel2 = nullptr; // input row
    TConversationPane* DisplayMemo = nullptr;
    TFindBar* FindBar = nullptr;     // under the pane, hidden until Ctrl+F
    TSavedNote* SavedNote = nullptr; // over the pane's foot after Ctrl+S
    QLineEdit* MessageEdit = nullptr;
    TCuteButton* SendButton = nullptr;
    QLabel* Image1 = nullptr;
    QPushButton* Button1 = nullptr;

    // The menu items the tests trigger.
    QMenu* K1 = nullptr; // "メニュ-"
    QAction *K8 = nullptr, *K9 = nullptr, *KIP1 = nullptr, *K5 = nullptr;
    QMenu* K7 = nullptr; // "設定"
    QAction* K4 = nullptr;
    QAction* TimesAction = nullptr;   // "時刻を表示", checkable, under K7
    QAction* NotifyAction = nullptr;  // "新しい発言を通知する", checkable, under K7
    QAction* AutoLogAction = nullptr; // "会話を自動で保存", checkable, under K7

    // Event handlers under their names.
    void FormCreate();
    void FormShow();
    void FormResize();
    void DisplayMemoChange();
    void Button1Click();
    bool FormCloseQuery();
    void FormClose();

    void SendButtonClick();
    void K4Click();
    void K5Click();
    void K6Click();
    void K8Click();
    void K9Click();
    void K10Click();
    void KIP1Click();
    void Label2Click();

signals:
    // Something was added to the conversation; a question is about to wait
    // for the user (CP932). The event's texts are valid during the call.
    void EventShown(const TChatEvent& event);
    void QuestionAsked(const std::string& text);
    void NotifyChanged(bool on);

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The other controls and menu items under their names.
    QLabel* NameLabel = nullptr; // the invisible "Name" label
    QLabel* NextIP = nullptr;
    QWidget* Panel3 = nullptr;                    // the input row's right-hand part
    QWidget *Panel4 = nullptr, *Panel5 = nullptr; // beside the conversation pane
    QAction *N1 = nullptr, *K6 = nullptr;         // under K1: the separator, "終了"
    QAction* FindAction = nullptr;                // "検索..." (Ctrl+F), under K1
    QAction* AutoRejoinAction = nullptr;          // "自動でつなぎ直す", checkable, under K7
    QMenu* K2 = nullptr;                          // "ヘルプ "
    QAction *K10 = nullptr, *K3 = nullptr;
    TSirSock* SirSock1 = nullptr;

    void buildControls();
    QWidget* buildRosterStrip(QWidget* central, const QFont& gothic);
    QLayout* buildConversation(QWidget* central, const QFont& gothic);
    QWidget* buildInputRow(QWidget* central, const QFont& gothic);
    void buildDefaultButton(QWidget* central);
    void buildMenu();
    void buildViewKeys();
    void openFind();
    void rememberAddress(const QString& address);
    void guarded(const std::function<void()>& handler);
    void settingsChanged();
    void showFileTrouble(QString& shown, const QString& text);
    // The note over the pane about characters the wire cannot carry; an
    // empty text withdraws it.
    void showUnsendable(const QString& text);
    // A regroup's question answered by the setting: true (and the pane
    // told) when text is one of them and the setting is on.
    bool answeredBySetting(const std::string& text);
    // The focus is in an edit box other than the input box.
    bool typingElsewhere() const;

    TLogSaver FLog;
    THelpViewer* FHelp = nullptr;
    int FZoom = 0;
    bool FShowTimes = false;
    bool FNotify = true;
    bool FAutoLog = false;
    bool FAutoRejoin = false;
    TInputCheck* FInputCheck = nullptr;
    QShortcut* FReplaceKey = nullptr;
    QString FUnsendableNote;
    QString FListenPort;
    bool FReading = false; // FormCreate applies the stored settings
    bool FEnding = false;  // EndSession: close without asking
    bool FSettingsFailSaid = false;
    QString FSpoolNote, FAutoLogNote; // the notes shown for them, while shown
    QStringList FRecent;
    std::array<bool, 9> FPlain{}; // places whose member is linked in the clear
    QShortcut* FEscape = nullptr;
};
