// A hub whose every spool folder fills up during a flood: the relay goes
// on, the window says why once, memory stays within the bound, and when
// space returns the spool writes again, the note goes and the log carries
// one marker line where lines were dropped, saying how many.
#include "testkit.h"
#include "application.h"
#include "logspool.h"
#include "mainwindow.h"
#include "savednote.h"
#include "sjis.h"
#include "texts.h"

#include <QBuffer>
#include <QDir>
#include <QLabel>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include "qtprint.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/mount.h>
#include <sys/resource.h>

namespace {

constexpr const char* kAddr = "127.62.0.2";

// Whatever a test's end, the small file system goes with it.
struct Unmount {
    QByteArray at;
    bool mounted;
    ~Unmount()
    {
        if (mounted)
            ::umount2(at.constData(), MNT_DETACH);
    }
};

TEST(SpoolFull, MemoryStaysBoundedTheRelayGoesOnAndTheLogMarksTheGap)
{
    QTemporaryDir dir;
    const QString disk = dir.filePath(QStringLiteral("disk"));
    QDir().mkpath(disk);
    // A small file system of its own where the tests run as root, else a
    // limit on the size of any file this process writes.
    const QByteArray at = QFile::encodeName(disk);
    const bool tmpfs = ::mount("tmpfs", at.constData(), "tmpfs", 0, "size=1m,mode=0700") == 0;
    const Unmount unmount{at, tmpfs};
    rlimit was{};
    ::getrlimit(RLIMIT_FSIZE, &was);
    if (!tmpfs) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit small{1 << 20, was.rlim_max};
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    }
    for (const char* v : {"XDG_CACHE_HOME", "XDG_RUNTIME_DIR", "TMPDIR"}) {
        const QString folder = disk + QLatin1Char('/') + QLatin1String(v);
        QDir().mkpath(folder);
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv(v, QFile::encodeName(folder));
    }
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    TApplication::ExceptionReporter = [](const std::string& m) { ADD_FAILURE() << m; };
    TLogSpool::MemoryLimit = 512 * 1024;

    const int port = testkit::freePort();
    TChatPlace place;
    place.listenAddr = place.ownAddr = kAddr;
    place.port = std::to_string(port);
    auto w = std::make_unique<TTWSChatForm>(QString(), nullptr, place);
    w->show();
    testkit::RawClient flood, reader;
    ASSERT_TRUE(flood.Connect(kAddr, port));
    ASSERT_TRUE(reader.Connect(kAddr, port));
    flood.Send("uflood\n");
    reader.Send("ureader\n");
    const std::string line = "1flood> " + std::string(991, 'x') + "\n";
    std::string block;
    for (int i = 0; i < 4096; ++i)
        block += line;
    flood.Send(block + "1flood> END\n");
    EXPECT_TRUE(reader.SkipThrough("1flood> END\n", 60000));
    w->FlushPane();

    const std::string reason = tmpfs ? txt::kErrNoSpace : txt::kErrTooLarge;
    EXPECT_EQ(w->Conversation->Spool().Trouble(), reason);
    EXPECT_TRUE(w->SavedNote->isVisible());
    EXPECT_TRUE(w->SavedNote->Text->text().contains(sjis::decode(reason)));
    EXPECT_LE(w->Conversation->Spool().MemoryBytes(), TLogSpool::MemoryLimit);

    // Space returns: the next line goes to the disk, and the note goes.
    if (tmpfs)
        ASSERT_EQ(::mount("tmpfs", at.constData(), "tmpfs", MS_REMOUNT, "size=64m"), 0);
    else
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &was), 0);
    TLogSpool::RetryMs = 0;
    flood.Send("1flood> after\n");
    EXPECT_TRUE(testkit::waitFor([&] { return !w->SavedNote->isVisible(); }));
    EXPECT_EQ(w->Conversation->Spool().Trouble(), std::string());
    EXPECT_EQ(w->Conversation->Spool().MemoryBytes(), 0);

    QBuffer log;
    log.open(QIODevice::WriteOnly);
    ASSERT_TRUE(w->Conversation->WriteLog(log));
    const QList<QByteArray> lines = log.data().split('\n');
    const QByteArray mark = QByteArray::fromStdString(txt::kLinesMissingMark).split('%').first();
    qint64 marks = 0, missing = 0;
    for (const QByteArray& l : lines)
        if (l.startsWith(mark)) {
            ++marks;
            missing = l.mid(mark.size()).split(' ').first().toLongLong();
        }
    EXPECT_EQ(marks, 1);
    EXPECT_GT(missing, 0);
    EXPECT_EQ(lines.size() - 1 - marks + missing, w->Conversation->Lines());
    EXPECT_TRUE(log.data().endsWith("flood> after\r\n"));

}

} // namespace

namespace {

// The cache folder cannot be made, then its replacement fills up: the spool
// goes on in the next folder with everything it held.
TEST(SpoolFull, TheSpoolMovesToTheNextFolderWithWhatItHolds)
{
    QTemporaryDir dir;
    const QString disk = dir.filePath(QStringLiteral("disk"));
    QDir().mkpath(disk);
    if (::mount("tmpfs", QFile::encodeName(disk).constData(), "tmpfs", 0, "size=256k,mode=0700") != 0)
        GTEST_SKIP() << "a small file system needs root here: " << std::strerror(errno);
    const Unmount unmount{QFile::encodeName(disk), true};
    QFile(dir.filePath(QStringLiteral("file"))).open(QIODevice::WriteOnly);
    const QStringList folders{dir.filePath(QStringLiteral("file/cache")), disk + QStringLiteral("/run"),
                              dir.filePath(QStringLiteral("tmp"))};
    std::string all;
    {
        TLogSpool spool(folders);
        EXPECT_TRUE(spool.Path().startsWith(folders[1]));
        const std::string line(999, 'y');
        for (int i = 0; i < 1000; ++i) {
            spool.Append(line + std::to_string(i));
            all += line + std::to_string(i) + "\r\n";
        }
        spool.Flush();
        EXPECT_TRUE(spool.Path().startsWith(folders[2]));
        EXPECT_EQ(spool.Trouble(), std::string());
        QBuffer copy;
        copy.open(QIODevice::WriteOnly);
        ASSERT_TRUE(spool.CopyTo(copy));
        EXPECT_TRUE(copy.data() == QByteArray::fromStdString(all));
        EXPECT_EQ(QDir(disk + QStringLiteral("/run")).entryList(QDir::Files), QStringList());
    }
}

} // namespace
