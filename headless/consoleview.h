#pragma once
// The console member's view of the chat: the headless hub's journal (every
// event as one time-stamped UTF-8 line on standard output, errors on
// standard error), with what a member adds to it. The roster told at one's
// own join becomes one line ("おともだち: A、B"), written at the end of the
// turn in which it arrived. Every question is answered yes, as an instance
// with nobody at the screen answers it; there is no connect dialog.
//
// It also keeps what the member needs to know of what it was shown: whether
// the connect command would be offered (neither a join nor a group), whether
// this instance waits as the new hub, and the texts shown since the last
// join began (the reason when a join fails).

#include "hubview.h"

#include <array>
#include <functional>
#include <string>

class TConsoleView : public THubView {
public:
    explicit TConsoleView(int out = 1, int err = 2) : THubView(false, std::string(), out, err) { }

    void ShowEvent(const TChatEvent& event) override;
    void ShowRoster(const std::array<std::string, 9>& names, const std::string& caption) override;
    void ShowConnectOffered(bool offered) override;
    void ShowTalking(bool talking) override;
    TModalResult AskQuestion(const std::string&) override { return mrOk; }
    // A hub asks for a word the member was not given, or refuses the one it
    // proved: OnWordRefused with the reason (CP932); the join is over.
    bool AskWord(const std::string& hub) override;
    void ShowWordRefused(const std::string& hub) override;
    std::function<void(const std::string&)> OnWordRefused;
    // A changed key is never taken: OnKeyChanged tells the member.
    TModalResult AskKeyChange(const std::string& address, const std::string& pinned, const std::string& shown) override
    {
        if (OnKeyChanged)
            OnKeyChanged(address, pinned, shown);
        return mrNo;
    }

    // End of the turn: the roster line, if one is due.
    void TurnEnded();

    // Neither a join nor a group: the connect command would be offered.
    bool Idle() const { return FIdle; }
    bool WaitingAsHub() const { return FWaiting; }
    // What was shown since the last join began or the member could last
    // talk (its last 2 KiB), UTF-8, as one line.
    const std::string& Reason() const { return FReason; }

    // Told when the state above may have changed, from inside the core.
    std::function<void()> OnState;
    std::function<void(const std::string&, const std::string&, const std::string&)> OnKeyChanged;

private:
    static constexpr size_t kReasonBytes = 2048;

    std::array<std::string, 9> FRoster;
    bool FRosterDue = false;
    bool FIdle = true;
    bool FWaiting = false;
    std::string FReason;
};
