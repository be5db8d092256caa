#pragma once
// The window hub's guards on the screen (the chat reads them from the
// settings when the window is made): on the roster, each seat's address as
// its tooltip and the context menu 「締め出す」 (close the seat and shut
// its address out for this run); and
// 設定 → 締め出したアドレス..., the seats (to shut one out from the
// keyboard) and the addresses shut out, to see and take entries off. It only
// shows and asks; the chat does the rest.
//
//   new THubGuardUi(form, form.K7);   // once, after the chat exists

#include <QObject>

class QDialog;
class QListWidget;
class QMenu;
class TTWSChatForm;

class THubGuardUi : public QObject {
    Q_OBJECT
public:
    THubGuardUi(TTWSChatForm& form, QMenu* settingsMenu);

    // 設定 → 締め出したアドレス...: the lists, modal; entries taken off
    // are admitted again, also in the settings when they came from there.
    void ShowDeniedList();
    // 「締め出す」 on the roster place of seat k (1..9).
    void ShutOut(int k);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int seatOf(QObject* label) const;
    void fillList(QListWidget* list) const;
    // The named seats, "name  address", each with its seat number.
    void fillMembers(QListWidget* list) const;
    void takeOff(const QString& entry);

    TTWSChatForm& FForm;
};
