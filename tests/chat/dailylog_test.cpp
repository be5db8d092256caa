// The daily log: one file a day, cut at local midnight, in a time zone
// whose midnight is not the UTC one.
#include "dailylog.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace {

std::time_t tokyo(int day, int hour, int minute, int second)
{
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 11;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

} // namespace

TEST(DailyLog, SplitsAtLocalMidnight)
{
    ::setenv("TZ", "Asia/Tokyo", 1);
    ::tzset();
    QTemporaryDir folder;
    TDailyLog log(folder.path().toStdString(), 0600, 0, nullptr);
    log.Add("late", tokyo(8, 23, 59, 59));
    log.Add("midnight", tokyo(9, 0, 0, 0));
    log.Add("morning", tokyo(9, 9, 0, 0));
    log.Flush();
    for (const auto& [day, lines] : {std::pair{"2026-12-08", "late\r\n"}, {"2026-12-09", "midnight\r\nmorning\r\n"}}) {
        QFile f(folder.path() + QLatin1Char('/') + QLatin1String(day) + QStringLiteral(".log"));
        EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << day;
        EXPECT_EQ(f.readAll().toStdString(), lines) << day;
    }
}
