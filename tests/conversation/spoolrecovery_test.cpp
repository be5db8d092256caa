// What the start does with the spools earlier runs left behind: a stale one
// becomes a log, byte for byte; a live one, another program's, an empty one,
// someone else's and one whose log cannot be written are each handled so
// that nothing that could be kept is lost.
#include "application.h"
#include "flatbutton.h"
#include "logspool.h"
#include "mainwindow.h"
#include "savednote.h"
#include "sjis.h"
#include "spoolrecovery.h"
#include "texts.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include "qtprint.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

QString Put(const QString& path, const QByteArray& bytes, QFile::Permissions mode = QFile::ReadOwner | QFile::WriteOwner)
{
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    f.close();
    f.setPermissions(mode);
    return path;
}

QByteArray Read(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

TEST(SpoolRecovery, EachLeftoverIsKeptRemovedOrLeftAsItDeserves)
{
    QTemporaryDir dir;
    const QString spools = dir.filePath(QStringLiteral("spools"));
    const QString logs = dir.filePath(QStringLiteral("logs"));
    QDir().mkpath(spools);
    const qint64 start = QDateTime(QDate(2026, 12, 8), QTime(18, 10, 55)).toMSecsSinceEpoch();
    auto spool = [&](const char* exe, int serial) {
        return spools + QLatin1Char('/') + TLogSpool::FileName(QLatin1String(exe), start, 42, serial);
    };
    const QByteArray said("a> \x82\xA0\r\nb> cut sho");
    const QString stale = Put(spool("pelmora", 1), said);
    const QString empty = Put(spool("pelmora", 2), QByteArray());
    const QString open = Put(spool("pelmora", 3), "x\r\n", QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    const QString live = Put(spool("pelmora", 4), "live\r\n");
    const QString other = Put(spool("pelmora-2", 1), "other\r\n");
    const int held = ::open(QFile::encodeName(live).constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);

    // The log folder cannot be made (a file is in the way): everything stays.
    Put(dir.filePath(QStringLiteral("file")), "in the way");
    const TRecovery blocked = RecoverSpools({spools}, QStringLiteral("pelmora"), dir.filePath(QStringLiteral("file/logs")));
    EXPECT_TRUE(blocked.Saved.isEmpty());
    ASSERT_EQ(blocked.Notes.size(), 2u); // the open spool, and the stale one not saved
    EXPECT_EQ(blocked.Notes[0].rfind(txt::kRecoverFailed, 0), 0u) << blocked.Notes[0];
    EXPECT_EQ(Read(stale), said);

    const TRecovery r = RecoverSpools({spools}, QStringLiteral("pelmora"), logs);
    ASSERT_EQ(r.Saved, QStringList{logs + QStringLiteral("/2026-12-08_181055.log")});
    EXPECT_EQ(Read(r.Saved[0]), said + "\r\n"); // the cut line gets its end
    ASSERT_EQ(r.Notes.size(), 1u);
    EXPECT_EQ(r.Notes[0], txt::kSpoolNotRead + sjis::encode(open));
    EXPECT_FALSE(QFile::exists(stale));
    EXPECT_FALSE(QFile::exists(empty));
    EXPECT_EQ(Read(open), QByteArray("x\r\n"));
    EXPECT_EQ(Read(live), QByteArray("live\r\n"));
    EXPECT_EQ(Read(other), QByteArray("other\r\n"));
    ::close(held);

    // The window says where the log went and offers its folder.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    qputenv("XDG_CACHE_HOME", QFile::encodeName(dir.filePath(QStringLiteral("cache"))));
    TApplication::ExceptionReporter = [](const std::string& m) { ADD_FAILURE() << m; };
    TChatPlace place;
    place.listenAddr = place.ownAddr = "127.62.0.3";
    TTWSChatForm w(QString(), nullptr, place);
    w.show();
    w.ShowRecovery(r);
    EXPECT_TRUE(w.SavedNote->isVisible());
    EXPECT_TRUE(w.SavedNote->OpenFolderButton->isVisible());
    EXPECT_TRUE(w.SavedNote->Text->text().contains(QDir::toNativeSeparators(r.Saved[0])));
}

} // namespace
