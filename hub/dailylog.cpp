#include "dailylog.h"

#include "sjis.h"
#include "texts.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

TDailyLog::TDailyLog(std::string folder, std::function<void(const std::string&)> onError)
    : FFolder(std::move(folder)), FOnError(std::move(onError))
{
    ::mkdir(FFolder.c_str(), 0750);
}

TDailyLog::~TDailyLog()
{
    Flush();
    if (FFd >= 0)
        ::close(FFd);
}

std::string TDailyLog::CurrentPath()
{
    if (std::time(nullptr) >= FDayEnds)
        turnDay();
    return FPath;
}

void TDailyLog::turnDay()
{
    // What was gathered before midnight belongs to the old day's file.
    Flush();
    if (FFd >= 0)
        ::close(FFd);
    FFd = -1;
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    ::localtime_r(&now, &t);
    char name[32];
    std::strftime(name, sizeof name, "/%Y-%m-%d.log", &t);
    FPath = FFolder + name;
    t.tm_hour = 24;
    t.tm_min = t.tm_sec = 0;
    t.tm_isdst = -1;
    FDayEnds = std::mktime(&t);
}

void TDailyLog::Add(std::string_view line)
{
    if (std::time(nullptr) >= FDayEnds)
        turnDay();
    if (FPending.size() > kMaxPending)
        return; // the disk has refused for a while: the journal still has it
    FPending.append(line);
    FPending.append("\r\n");
}

void TDailyLog::Flush()
{
    if (FPending.empty())
        return;
    if (FFd < 0)
        FFd = ::open(FPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0640);
    size_t done = 0;
    int error = 0;
    if (FFd < 0)
        error = errno;
    while (FFd >= 0 && done < FPending.size()) {
        const ssize_t n = ::write(FFd, FPending.data() + done, FPending.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? errno : ENOSPC;
            break;
        }
        done += size_t(n);
    }
    FPending.erase(0, done);
    if (error == 0) {
        FFailing = false;
        return;
    }
    // Reopen next time: the folder may have been fixed or the file removed.
    if (FFd >= 0)
        ::close(FFd);
    FFd = -1;
    if (!FFailing && FOnError)
        FOnError(sjis::decode(txt::kLogWriteFailed).toStdString() + FPath + " (" + std::strerror(error) + ")");
    FFailing = true;
}
