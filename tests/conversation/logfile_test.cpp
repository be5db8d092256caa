// Saving the conversation log: its name, its bytes, and that it never
// destroys an older log.
#include "exception.h"
#include "logfile.h"
#include "texts.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include "qtprint.h"

namespace {

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QDateTime At(int month, int day, int hour, int minute, int second = 0)
{
    return QDateTime(QDate(2026, month, day), QTime(hour, minute, second));
}

TEST(LogFile, NameIsMonthDayHourMinuteWithoutLeadingZeros)
{
    EXPECT_EQ(TLogSaver::FileName(At(12, 6, 23, 9)), QStringLiteral("126239.log"));
    EXPECT_EQ(TLogSaver::FileName(At(1, 2, 0, 0)), QStringLiteral("1200.log"));
    EXPECT_EQ(TLogSaver::FileName(At(1, 12, 3, 5)), TLogSaver::FileName(At(11, 2, 3, 5)));
}

TEST(LogFile, LinesAreWrittenAsTheirBytesWithCrLf)
{
    QTemporaryDir dir;
    TLogSaver saver;
    const std::string odd("\x82\xA0\x82", 3); // a lone lead byte is kept as it came
    const QString path = saver.Save({txt::kDefaultNick + "> a", "", odd}, At(12, 6, 23, 9), dir.path());
    EXPECT_EQ(QFileInfo(path).fileName(), QStringLiteral("126239.log"));
    EXPECT_EQ(ReadAll(path), QByteArray::fromStdString(txt::kDefaultNick + "> a\r\n\r\n" + odd + "\r\n"));
}

TEST(LogFile, SameMinuteReplacesOwnFileButAnOlderLogIsKept)
{
    QTemporaryDir dir;
    // A log from 12 January 3:05 gives the same digits as 2 November 3:05.
    const QString older = dir.filePath(QStringLiteral("11235.log"));
    {
        QFile f(older);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old\r\n");
    }
    TLogSaver saver;
    const QString first = saver.Save({"one"}, At(11, 2, 3, 5, 10), dir.path());
    EXPECT_NE(first, older);
    EXPECT_EQ(ReadAll(older), QByteArray("old\r\n"));
    EXPECT_EQ(ReadAll(first), QByteArray("one\r\n"));

    // Later in the same minute: the superset replaces this saver's own file.
    const QString second = saver.Save({"one", "two"}, At(11, 2, 3, 5, 50), dir.path());
    EXPECT_EQ(second, first);
    EXPECT_EQ(ReadAll(second), QByteArray("one\r\ntwo\r\n"));
    EXPECT_EQ(ReadAll(older), QByteArray("old\r\n"));

    // Another saver (another instance) in the same minute keeps both.
    TLogSaver other;
    const QString third = other.Save({"x"}, At(11, 2, 3, 5, 55), dir.path());
    EXPECT_NE(third, first);
    EXPECT_NE(third, older);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 3);
}

TEST(LogFile, AFailedWriteThrowsAndLeavesTheOldFileWhole)
{
    QTemporaryDir dir;
    TLogSaver saver;
    EXPECT_THROW(saver.Save({"a"}, At(5, 5, 5, 5), dir.filePath(QStringLiteral("no/such/folder"))), Exception);
    // The box names the full path and why.
    const QString current = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    try {
        ADD_FAILURE() << saver.Save({"a"}, At(5, 5, 5, 5), QStringLiteral("missing")).toStdString();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(),
                  txt::kLogNotSaved + "\r\n" + dir.filePath(QStringLiteral("missing/5555.log")).toStdString() + "\r\n" +
                      txt::kErrNoFolder);
    }
    QDir::setCurrent(current);
}

} // namespace
