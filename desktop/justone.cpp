#include "justone.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

QString TJustOne::LockPath(const QString& exeFileName)
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    return dir + QLatin1Char('/') + exeFileName + QStringLiteral(".lock");
}

TJustOne::TJustOne(QObject* Owner) : QObject(Owner)
{
    setObjectName(QStringLiteral("JustOne1"));
    const QString exeName = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    const QByteArray path = QFile::encodeName(LockPath(exeName));

    // Never truncate or remove the file: the first instance's lock must not
    // be disturbed by a second one looking at it.
    int fd;
    do {
        fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0) {
        int rc;
        do {
            rc = ::flock(fd, LOCK_EX | LOCK_NB);
        } while (rc < 0 && errno == EINTR);
        if (rc == 0) {
            MyMutex = fd;
            MutexCreated = true;
            return;
        }
        ::close(fd);
    }
    // Another instance of this file name runs (or no lock could be had):
    // end quietly as soon as the event loop starts.
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
}

TJustOne::~TJustOne()
{
    if (MutexCreated && MyMutex >= 0)
        ::close(MyMutex);
}
