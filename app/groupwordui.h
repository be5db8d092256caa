#pragma once
// The group word in the window, both ways. As a hub: 設定 → 合言葉... sets
// or clears the word its callers must prove. As a member: when a hub asks
// for a word, it is taken from what this run already knows for that hub,
// else from the desktop's keyring, else the user is asked (TWordDialog),
// and then proved; a wrong word is said once in the pane and asked again.
// Words live in the keyring (per hub address, and the own hub's), never in
// the settings file; without a keyring they are kept for this run only and
// the user is told so once. The word is stretched into its key off the GUI
// thread; only the key stays in memory.
//
//   FWordUi = new TGroupWordUi(form, form.K7);  // once, after the chat exists

#include "groupword.h"

#include <QObject>

#include <functional>
#include <map>
#include <string>

class QMenu;
class TTWSChatForm;

class TGroupWordUi : public QObject {
    Q_OBJECT
public:
    TGroupWordUi(TTWSChatForm& form, QMenu* settingsMenu);

    // TChatView::AskWord and ShowWordRefused, for the window.
    bool AskWord(const std::string& hub);
    void WordRefused(const std::string& hub);
    // 設定 → 合言葉...
    void SetHubWord();

    // The key of word, made on another thread; done runs on this one
    // (not at all when this object is gone by then).
    void Derive(std::string word, std::function<void(groupword::TKeyRef)> done);

private:
    void fromKeyring(const std::string& hub);
    void askUser(const std::string& hub, bool again);
    void prove(const std::string& hub, const groupword::TKeyRef& key);
    void setHubKey(const groupword::TKeyRef& key);
    void loadHubWord();
    void keep(const QString& entry, const std::string& word);
    void forget(const QString& entry);
    void noKeyring();

    TTWSChatForm& FForm;
    std::map<std::string, groupword::TKeyRef> FKeys; // per hub address, this run
    bool FToldNoKeyring = false;
};
