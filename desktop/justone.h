#pragma once
// Single-instance guard: one running instance per executable file name.
//
// The guard takes an advisory lock on a file named after the executable's
// file name (not its folder) in the user's runtime folder. Copies of the
// program under other names run side by side; the same name started from
// another folder is refused. The system drops the lock when the process
// ends, however it ends, so a crashed instance never blocks the next start.

#include <QObject>
#include <QString>

class TJustOne : public QObject {
    Q_OBJECT
public:
    // Performs the check. When another instance holds the name, a quit
    // request is posted to this process's event loop and nothing is shown.
    explicit TJustOne(QObject* Owner);
    ~TJustOne() override;

    // The lock file's descriptor; -1 when none was obtained.
    int MyMutex = -1;
    // True when this instance holds the lock and must release it.
    bool MutexCreated = false;

    // The lock file used for an executable file name.
    static QString LockPath(const QString& exeFileName);
};
