#pragma once
// The console member's view of the chat: the headless hub's journal (every
// event as one time-stamped UTF-8 line on standard output, errors on
// standard error), with what a member adds to it. The roster told at one's
// own join becomes one line ("おともだち: A、B"), written at the end of the
// turn in which it arrived. Every question is answered yes, as an instance
// with nobody at the screen answers it; there is no connect dialog.
//
// It also keeps what the member needs to know of the chat's state: whether
// one can talk (a hub or a link with names in the roster), whether a join
// is under way, whether this instance waits as the new hub, and the texts
// shown since the last join began (the reason when a join fails).

#include "hubview.h"

#include <array>
#include <functional>
#include <string>

class TConsoleView : public THubView {
public:
    explicit TConsoleView(int out = 1, int err = 2) : THubView(false, std::string(), out, err) {}

    void ShowEvent(const TChatEvent& event) override;
    void ShowRoster(const std::array<std::string, 9>& names, const std::string& caption) override;
    void SetConnectEnabled(bool enabled) override;
    void SetMessageEditEnabled(bool enabled) override;
    int AskQuestion(const std::string&) override { return 1; }
    std::string MessageText() override { return Typed; }
    void ClearMessageText() override { Typed.clear(); }

    // End of the turn: the roster line, if one is due.
    void TurnEnded();

    bool Talking() const { return FTalking; }
    // Neither a join nor a group: the connect command would be offered.
    bool Idle() const { return FIdle; }
    bool WaitingAsHub() const { return FWaiting; }
    // What was shown since the last join began or the member could last
    // talk (its last 2 KiB), UTF-8, as one line.
    const std::string& Reason() const { return FReason; }

    // The line being said (CP932), for the chat core to take.
    std::string Typed;
    // Told when the state above may have changed, from inside the core.
    std::function<void()> OnState;

private:
    static constexpr size_t kReasonBytes = 2048;

    std::array<std::string, 9> FRoster;
    bool FRosterDue = false;
    bool FTalking = false;
    bool FIdle = true;
    bool FWaiting = false;
    std::string FReason;
};
