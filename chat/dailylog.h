#pragma once
// The conversation kept as it comes, one file a day in a folder
// ("YYYY-MM-DD.log", local time): each display line as its CP932 bytes
// ended by CR LF, the line format of a saved log. The window's automatic log
// and the headless hub's --log-dir both write through it. Lines are gathered
// and appended once per event-loop turn (Flush), so a flood costs one write
// per turn, not one per line, and a crash loses at most the last turn.
//
//   TDailyLog log(folder, 0600, 0, [](int err) { ... });
//   log.Add(line, arrivedAt);   // for every display line
//   log.Flush();                // at the end of the turn

#include <cstddef>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>

class TDailyLog {
public:
    // mode: of a new file. keep: how many bytes of a turn that could not be
    // written wait for the next Flush (0: they are dropped; the spool still
    // has them). onChange(err) is told when writing starts to fail (errno)
    // and when it works again (0), once per change.
    TDailyLog(std::string folder, int mode, size_t keep, std::function<void(int err)> onChange);
    ~TDailyLog();
    TDailyLog(const TDailyLog&) = delete;
    TDailyLog& operator=(const TDailyLog&) = delete;

    // One line (without its CR LF) that arrived at when.
    void Add(std::string_view line, std::time_t when);
    void Flush();

    const std::string& Folder() const { return FFolder; }
    // The file of the day now written.
    const std::string& Path() const { return FPath; }

private:
    void startDay(std::time_t when);

    std::string FFolder;
    int FMode;
    size_t FKeep;
    std::function<void(int)> FOnChange;
    std::string FPending;
    std::string FPath;          // the day's file
    int FFd = -1;               // open on FPath
    std::time_t FDayStarts = 0; // FPath is the file of [FDayStarts, FDayEnds)
    std::time_t FDayEnds = 0;
    int FError = 0; // of the last Flush
};
