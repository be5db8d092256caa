#include "dailylog.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

TDailyLog::TDailyLog(std::string folder, int mode, size_t keep, std::function<void(int)> onChange)
    : FFolder(std::move(folder)), FMode(mode), FKeep(keep), FOnChange(std::move(onChange))
{
}

TDailyLog::~TDailyLog()
{
    Flush();
    if (FFd >= 0)
        ::close(FFd);
}

void TDailyLog::startDay(std::time_t when)
{
    // What was gathered before midnight belongs to the old day's file.
    Flush();
    if (FFd >= 0)
        ::close(FFd);
    FFd = -1;
    std::tm t{};
    ::localtime_r(&when, &t);
    char name[32];
    std::strftime(name, sizeof name, "/%Y-%m-%d.log", &t);
    FPath = FFolder + name;
    t.tm_hour = t.tm_min = t.tm_sec = 0;
    t.tm_isdst = -1;
    FDayStarts = std::mktime(&t);
    t.tm_mday += 1;
    t.tm_isdst = -1;
    FDayEnds = std::mktime(&t);
}

void TDailyLog::Add(std::string_view line, std::time_t when)
{
    if (when < FDayStarts || when >= FDayEnds)
        startDay(when);
    FPending.append(line);
    FPending.append("\r\n");
}

void TDailyLog::Flush()
{
    if (FPending.empty())
        return;
    if (FFd < 0) {
        std::error_code ignored; // a folder that cannot be made fails the open
        std::filesystem::create_directories(FFolder, ignored);
        do {
            FFd = ::open(FPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, FMode);
        } while (FFd < 0 && errno == EINTR);
    }
    int error = FFd < 0 ? (errno ? errno : EACCES) : 0;
    size_t done = 0;
    while (!error && done < FPending.size()) {
        const ssize_t n = ::write(FFd, FPending.data() + done, FPending.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            error = n < 0 ? errno : ENOSPC;
        else
            done += static_cast<size_t>(n);
    }
    FPending.erase(0, done);
    if (error) {
        // Opened again next time: the folder may have been mended or the
        // file removed meanwhile.
        if (FFd >= 0)
            ::close(FFd);
        FFd = -1;
        if (FPending.size() > FKeep)
            FPending.clear();
    }
    if (error != FError) {
        FError = error;
        if (FOnChange)
            FOnChange(error);
    }
}
