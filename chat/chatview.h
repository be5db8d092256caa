#pragma once
// What the chat core asks of the screen.
//
// The chat core (chatcore.h) keeps all state and runs every handler; the main
// window implements this interface with real widgets and does no chat logic
// of its own. Every text crossing this interface is CP932 bytes: the window
// decodes for display (sjis::decode) and encodes what the user typed
// (sjis::encode). Tests implement it with a fake that records the calls and
// answers questions from a script.

#include "chatevent.h"

#include <array>
#include <string>

class TChatView {
public:
    virtual ~TChatView() = default;

    // Something happened in the conversation (chatevent.h): the window adds
    // its display lines to the pane (DisplayMemo). Called for every relayed
    // line: it must be cheap and must not run an event loop (batch the
    // widget update to the end of the event-loop turn). The event's texts
    // point into the chat's buffers: copy what is kept.
    virtual void ShowEvent(const TChatEvent& event) = 0;

    // Show the roster strip. names[0..8] are the captions of lbName1..lbName9
    // (empty = free place); caption is Label1's text ("おともだち" or
    // "おともだち　なし"). The window lays the labels out: the first non-empty
    // one at 84 px, each next one at the previous left + its width + 12,
    // empty ones at left -10.
    virtual void ShowRoster(const std::array<std::string, 9>& names, const std::string& caption) = 0;

    // Menu items K8 ("接続...") and K9 ("切断"), and the input box MessageEdit.
    virtual void SetConnectEnabled(bool enabled) = 0;
    virtual void SetDisconnectEnabled(bool enabled) = 0;
    virtual void SetMessageEditEnabled(bool enabled) = 0;

    // Give the keyboard focus to MessageEdit.
    virtual void FocusMessageEdit() = 0;

    // Ask a yes/no question in the question dialog (clear its text, add text,
    // show it modally). Returns the modal result: 1 is yes, anything else no.
    // Socket events keep being handled while the question is open.
    virtual int AskQuestion(const std::string& text) = 0;

    // Show the error box with text (modal).
    virtual void ShowError(const std::string& text) = 0;

    // Run the connect dialog modally. Returns its modal result (1 = OK) and,
    // on OK, the typed (already validated) target in target.
    virtual int RunConnectDialog(std::string& target) = 0;

    // The text typed into MessageEdit, CP932; and clearing it.
    virtual std::string MessageText() = 0;
    virtual void ClearMessageText() = 0;
};
