#pragma once
// What the chat core shows on the screen.
//
// The chat core (chatcore.h) keeps all state and runs every handler; the main
// window implements this interface with real widgets and does no chat logic
// of its own. It is told what happened and how the chat's state changed,
// and decides itself what its controls do about it (the focus, the input
// box's text). Every text crossing this interface is CP932 bytes: the window
// decodes for display (sjis::decode). Tests implement it with a fake that
// records the calls and answers questions from a script; a view without a
// screen (the headless hub) overrides only what it uses.

#include "chatevent.h"
#include "modalresult.h"

#include <array>
#include <string>

// How what this instance says travels to the group: no group; in the clear
// on at least one link (a peer's own link to its hub, or a hub's link to one
// of its members); encrypted on every link it has.
enum class TOwnLink { None, Plain, Encrypted };

class TChatView {
public:
    virtual ~TChatView() = default;

    // Something happened in the conversation (chatevent.h): the window adds
    // its display lines to the pane (DisplayMemo). Called for every relayed
    // line: it must be cheap and must not run an event loop (batch the
    // widget update to the end of the event-loop turn). The event's texts
    // point into the chat's buffers: copy what is kept.
    virtual void ShowEvent(const TChatEvent& event) = 0;

    // The roster changed. names[0..8] are the captions of lbName1..lbName9
    // (empty = free place); caption is Label1's text ("おともだち" or
    // "おともだち　なし"). The window lays the labels out: the first non-empty
    // one at 84 px, each next one at the previous left + its width + 12,
    // empty ones at left -10.
    virtual void ShowRoster(const std::array<std::string, 9>& /*names*/, const std::string& /*caption*/) { }
    // Told right before every ShowRoster: plain[i] when the member named in
    // names[i] is linked to the hub in the clear (the roster marks it, its
    // name unchanged), and how this instance's own talk travels.
    virtual void ShowLinks(const std::array<bool, 9>& /*plain*/, TOwnLink /*own*/) { }

    // Which command the chat offers: connect (K8 "接続...", while no link
    // or group is up) or disconnect (K9 "切断").
    virtual void ShowConnectOffered(bool /*offered*/) { }
    // Whether there is a group to talk to: the input box MessageEdit takes
    // text only then. Told on every roster change, changed or not.
    virtual void ShowTalking(bool /*talking*/) { }
    // This hub seated a caller in its first seat: the window brings the
    // typing back to the input box.
    virtual void ShowFirstSeatTaken() { }

    // Ask a yes/no question in the question dialog (clear its text, add text,
    // show it modally): mrOk is yes, anything else no. Socket events keep
    // being handled while the question is open. A view that cannot ask
    // answers no.
    virtual TModalResult AskQuestion(const std::string& /*text*/) { return mrNo; }

    // A hub at address showed another key than the one pinned for it:
    // mrOk when the user accepts the shown key (the join goes on), anything
    // else refuses it. Fingerprints as TKnownHubs keeps them. A view that
    // cannot ask refuses.
    virtual TModalResult AskKeyChange(const std::string& /*address*/, const std::string& /*pinned*/,
                                      const std::string& /*shown*/)
    {
        return mrNo;
    }

    // A line (CP932) for the hub's journal only, never shown in the pane nor
    // sent: what the hub did to a caller the group never saw (a broken
    // encrypted link, a wrong word, a plain caller turned away, an address
    // shut out), with its address. A view without a journal ignores it.
    virtual void ShowJournal(const std::string& /*text*/) { }

    // Show the error box with text (modal).
    virtual void ShowError(const std::string& text) = 0;

    // The hub of this member's link asks for the group word, and the chat
    // has none for it: the view gets its key (groupword.h) and hands it to
    // TChatCore::ProveWord, or gives up with K9Click. False: it cannot ask,
    // and the join ends with a note. The link waits meanwhile, up to the
    // hub's deadline for a caller's name (10 s).
    virtual bool AskWord(const std::string& /*hub*/) { return false; }
    // The hub said the word this member proved is wrong (kWrongWord has been
    // shown); the link is closed right after.
    virtual void ShowWordRefused(const std::string& /*hub*/) { }

    // Run the connect dialog modally: mrOk and the typed (already
    // validated) target in target, or the dialog was cancelled.
    virtual TModalResult RunConnectDialog(std::string& /*target*/) { return mrCancel; }
};
