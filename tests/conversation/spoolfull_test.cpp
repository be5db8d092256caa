// Spool folders that fill up. The spool moves to the next folder with what
// it holds; where none takes it, a flooded hub goes on relaying, says why
// once, stays within its memory bound, and once space returns writes again,
// withdraws the note and logs one marker line saying how many lines went.
#include "testkit.h"
#include "application.h"
#include "logspool.h"
#include "mainwindow.h"
#include "savednote.h"
#include "settingskeys.h"
#include "sjis.h"
#include "texts.h"

#include <QBuffer>
#include <QDir>
#include <QLabel>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include "qtprint.h"

#include <csignal>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

// A small file system at `at` (we run as root), unmounted at the end.
struct SmallDisk {
    QByteArray at;
    bool mounted;
    SmallDisk(const QString& folder, const char* size)
        : at((QDir().mkpath(folder), QFile::encodeName(folder)))
        , mounted(::mount("tmpfs", at.constData(), "tmpfs", 0, size) == 0)
    {
    }
    ~SmallDisk() { mounted&& ::umount2(at.constData(), MNT_DETACH); }
};

TEST(SpoolFull, TheSpoolMovesToTheNextFolderWithWhatItHolds)
{
    QTemporaryDir dir;
    const SmallDisk disk(dir.filePath(QStringLiteral("disk")), "size=256k");
    if (!disk.mounted)
        GTEST_SKIP() << "no small file system without root: " << std::strerror(errno);
    QFile(dir.filePath(QStringLiteral("file"))).open(QIODevice::WriteOnly);
    const QStringList folders{dir.filePath(QStringLiteral("file/cache")), dir.filePath(QStringLiteral("disk/run")),
                              dir.filePath(QStringLiteral("tmp"))};
    TLogSpool spool(folders);
    EXPECT_TRUE(spool.Path().startsWith(folders[1]));
    std::string all;
    for (int i = 0; i < 1000; ++i)
        spool.Append(std::string(999, 'y') + std::to_string(i)),
            all += std::string(999, 'y') + std::to_string(i) + "\r\n";
    spool.Flush();
    EXPECT_TRUE(spool.Path().startsWith(folders[2]));
    QBuffer copy;
    copy.open(QIODevice::WriteOnly);
    ASSERT_TRUE(spool.CopyTo(copy));
    EXPECT_TRUE(copy.data() == QByteArray::fromStdString(all));
    EXPECT_EQ(QDir(folders[1]).entryList(QDir::Files), QStringList());
}

TEST(SpoolFull, AFloodedHubKeepsRelayingWithinItsBoundAndMarksTheGap)
{
    QTemporaryDir dir;
    // Where no small file system can be had, a limit on every file's size.
    const SmallDisk disk(dir.filePath(QStringLiteral("disk")), "size=1m,mode=0700");
    rlimit was{};
    ::getrlimit(RLIMIT_FSIZE, &was);
    rlimit small{1 << 20, was.rlim_max};
    std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_TRUE(disk.mounted || ::setrlimit(RLIMIT_FSIZE, &small) == 0);
    for (const char* v : {"XDG_CACHE_HOME", "XDG_RUNTIME_DIR", "TMPDIR"}) {
        ::mkdir((disk.at + '/' + v).constData(), 0700);
        qputenv(v, disk.at + '/' + v);
    }
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    QSettings(QLatin1String(settingskeys::kOrganisation), QLatin1String(settingskeys::kApplication))
        .setValue(QLatin1String(settingskeys::kHubLineRate), 0); // the flood at full speed
    TApplication::ExceptionReporter = [](const std::string& m) { ADD_FAILURE() << m; };
    TLogSpool::MemoryLimit = 512 * 1024;
    TChatPlace place;
    place.listenAddr = place.ownAddr = "127.62.1.2";
    place.port = std::to_string(testkit::freePort());
    auto w = std::make_unique<TTWSChatForm>(QString(), nullptr, place);
    w->show();
    testkit::RawClient flood, reader;
    ASSERT_TRUE(flood.Connect("127.62.1.2", std::stoi(place.port)) &&
                reader.Connect("127.62.1.2", std::stoi(place.port)));
    reader.Send("ureader\n");
    std::string block = "uflood\n";
    for (int i = 0; i < 4096; ++i)
        block += "1flood> " + std::string(991, 'x') + "\n";
    flood.Send(block + "1flood> END\n");
    EXPECT_TRUE(reader.SkipThrough("1flood> END\n", 60000));
    w->FlushPane();
    const std::string reason = disk.mounted ? txt::kErrNoSpace : txt::kErrTooLarge;
    EXPECT_EQ(w->Conversation->Spool().Trouble(), reason);
    EXPECT_TRUE(w->SavedNote->isVisible() && w->SavedNote->Text->text().contains(sjis::decode(reason)));
    EXPECT_LE(w->Conversation->Spool().MemoryBytes(), TLogSpool::MemoryLimit);
    if (disk.mounted) // space returns
        ASSERT_EQ(::mount("tmpfs", disk.at.constData(), "tmpfs", MS_REMOUNT, "size=64m"), 0);
    else
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &was), 0);
    TLogSpool::RetryMs = 0;
    flood.Send("1flood> after\n");
    EXPECT_TRUE(
        testkit::waitFor([&] { return !w->SavedNote->isVisible() && w->Conversation->Spool().MemoryBytes() == 0; }));
    QBuffer log;
    log.open(QIODevice::WriteOnly);
    ASSERT_TRUE(w->Conversation->WriteLog(log));
    const QByteArray mark = "\r\n" + QByteArray::fromStdString(txt::kLinesMissingMark).split('%').first();
    EXPECT_EQ(log.data().count(mark), 1);
    const qint64 missing = log.data().mid(log.data().indexOf(mark) + mark.size(), 12).split(' ').first().toLongLong();
    EXPECT_EQ(log.data().count("\r\n") - 1 + missing, w->Conversation->Lines());
    EXPECT_TRUE(log.data().endsWith("flood> after\r\n"));
}

} // namespace
