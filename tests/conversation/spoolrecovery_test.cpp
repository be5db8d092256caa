// What the start does with the spools earlier runs left behind: a stale one
// becomes a log, byte for byte, and the window says where it went; a live
// one, another program's, an empty one, someone else's and one whose log
// cannot be written are each handled so that nothing that could be kept is
// lost.
#include "application.h"
#include "flatbutton.h"
#include "logspool.h"
#include "mainwindow.h"
#include "savednote.h"
#include "sjis.h"
#include "spoolrecovery.h"
#include "texts.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include "qtprint.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

QByteArray Read(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

TEST(SpoolRecovery, EachLeftoverIsKeptRemovedOrLeftAsItDeserves)
{
    QTemporaryDir dir;
    const QString logs = dir.filePath(QStringLiteral("logs"));
    const qint64 start = QDateTime(QDate(2026, 12, 8), QTime(18, 10, 55)).toMSecsSinceEpoch();
    auto put = [&](const char* exe, int serial, const QByteArray& bytes, int mode = 0600) {
        const QString path = dir.filePath(TLogSpool::FileName(QLatin1String(exe), start, 42, serial));
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        ::fchmod(f.handle(), mode);
        return path;
    };
    const QByteArray said("a> \x82\xA0\r\nb> cut sho");
    const QString stale = put("pelmora", 1, said), empty = put("pelmora", 2, ""),
                  open = put("pelmora", 3, "x\r\n", 0640), live = put("pelmora", 4, "live\r\n"),
                  other = put("pelmora-2", 1, "other\r\n");
    const int held = ::open(QFile::encodeName(live).constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);

    // The log folder cannot be made (a file is in the way): everything stays.
    const TRecovery blocked = RecoverSpools({dir.path()}, QStringLiteral("pelmora"), stale + QStringLiteral("/logs"));
    ASSERT_TRUE(blocked.Saved.isEmpty() && blocked.Notes.size() == 2u); // stale not saved, open not read
    EXPECT_EQ(blocked.Notes[0].rfind(txt::kRecoverFailed, 0), 0u) << blocked.Notes[0];
    EXPECT_EQ(Read(stale), said);

    const TRecovery r = RecoverSpools({dir.path()}, QStringLiteral("pelmora"), logs);
    ASSERT_EQ(r.Saved, QStringList{logs + QStringLiteral("/2026-12-08_181055.log")});
    EXPECT_EQ(Read(r.Saved[0]), said + "\r\n"); // the cut line gets its end
    EXPECT_EQ(r.Notes, std::vector<std::string>{txt::kSpoolNotRead + sjis::encode(open)});
    EXPECT_FALSE(QFile::exists(stale) || QFile::exists(empty));
    EXPECT_EQ(Read(open) + Read(live) + Read(other), QByteArray("x\r\nlive\r\nother\r\n"));
    ::close(held);

    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    qputenv("XDG_CACHE_HOME", QFile::encodeName(dir.filePath(QStringLiteral("cache"))));
    TApplication::ExceptionReporter = [](const std::string& m) { ADD_FAILURE() << m; };
    TChatPlace place;
    place.listenAddr = place.ownAddr = "127.62.2.3";
    TTWSChatForm w(QString(), nullptr, place);
    w.show();
    w.ShowRecovery(r);
    EXPECT_TRUE(w.SavedNote->isVisible() && w.SavedNote->OpenFolderButton->isVisible() &&
                w.SavedNote->Text->text().contains(QDir::toNativeSeparators(r.Saved[0])));
}

} // namespace
