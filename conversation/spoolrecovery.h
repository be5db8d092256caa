#pragma once
// At start: the conversation of a run that did not end cleanly. Its spool
// (logspool.h) is still there with a free lock; it becomes a saved log in the
// log folder, the same CP932 CR LF bytes as a saved log, named for the
// moment the lost run began ("2026-12-08_181055.log"), and the spool goes.
//
// - A spool whose lock is held belongs to a running instance: untouched.
// - Only the spools of this executable's name are looked at.
// - An empty spool holds nothing to keep: removed.
// - A spool that is not a plain file of this user with mode 0600 is never
//   read (someone else put it there): left alone, and said so.
// - Where the log cannot be written, the spool stays for the next start,
//   and the reason is said.
// - A spool cut short in a line gets the missing line end.

#include <QString>
#include <QStringList>

#include <string>
#include <vector>

struct TRecovery {
    QStringList Saved;              // full paths of the logs written
    std::vector<std::string> Notes; // for the user (CP932): what could not be done
};

TRecovery RecoverSpools(const QStringList& spoolFolders, const QString& exeName, const QString& logFolder);

// "yyyy-MM-dd_HHmmss.log" in local time.
QString RecoveredLogName(qint64 startMs);
