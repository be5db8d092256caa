#pragma once
// The headless hub's conversation log: one file a day in a folder
// ("YYYY-MM-DD.log", local time), each display line as its CP932 bytes
// ended by CR LF, the line format of the window's saved log. Lines are
// gathered and appended once per event-loop turn (Flush), so a flood costs
// one write per turn, not one per line.
//
//   TDailyLog log(folder, onError);
//   log.Add(line);   // for every display line
//   log.Flush();     // before the loop sleeps, and at the end

#include <ctime>
#include <functional>
#include <string>
#include <string_view>

class TDailyLog {
public:
    // onError is told, once per spell of failures, what could not be
    // written (UTF-8 text); lines wait for the next Flush, up to kMaxPending.
    TDailyLog(std::string folder, std::function<void(const std::string&)> onError);
    ~TDailyLog();
    TDailyLog(const TDailyLog&) = delete;
    TDailyLog& operator=(const TDailyLog&) = delete;

    void Add(std::string_view line);
    void Flush();
    // The file that lines added now go to.
    std::string CurrentPath();

    static constexpr size_t kMaxPending = 4 << 20;

private:
    void turnDay();

    std::string FFolder;
    std::function<void(const std::string&)> FOnError;
    std::string FPending;
    std::string FPath;        // today's file
    int FFd = -1;             // open on FPath
    std::time_t FDayEnds = 0; // when FPath stops being today's
    bool FFailing = false;
};
