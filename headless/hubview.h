#pragma once
// The headless hub's view of the chat: the chat core runs the hub exactly as
// in the window, and this view writes what happened as the journal, one
// UTF-8 line per event with a time stamp on standard output, and, given a
// folder, into the daily CP932 log. It never asks: every question is
// answered no, the connect dialog is cancelled.
//
// Output is gathered and written once per event-loop turn (Flush, called
// when the loop is about to sleep), so a flood of lines costs a write per
// turn and no line waits longer than the turn it came in.

#include "chatview.h"
#include "dailylog.h"

#include <ctime>
#include <memory>
#include <string>

class THubView : public TChatView {
public:
    // quiet: the journal keeps only arrivals, departures and errors.
    // logFolder: empty for no log. out/err: where the journal and the
    // errors go (descriptors 1 and 2).
    THubView(bool quiet, const std::string& logFolder, int out = 1, int err = 2);
    ~THubView() override;

    // Questions are answered no and the connect dialog is cancelled, as
    // the view's defaults do; nothing else is shown.
    void ShowEvent(const TChatEvent& event) override;
    void ShowError(const std::string& text) override;
    // Written even when quiet: it tells of a caller the hub closed.
    void ShowJournal(const std::string& text) override;

    // A note of the hub's own (start, end) in the journal, UTF-8; not
    // kept back by quiet. And an error, UTF-8, on the error output.
    void Note(const std::string& utf8);
    void Error(const std::string& utf8);

    // Write what was gathered: journal, errors and log.
    void Flush();

private:
    void stamp(std::string& to);

    bool FQuiet;
    int FOut, FErr;
    std::string FJournal, FErrors;
    std::unique_ptr<TDailyLog> FLog;
    std::time_t FStampSecond = -1;
    char FStamp[24] = {};
};

// The event as one journal line (UTF-8, no time stamp, no line end): its
// display lines that are not empty, joined by a space. Control characters a
// peer sent are shown as "?", so a line cannot steer a terminal.
std::string JournalText(const TChatEvent& event);
