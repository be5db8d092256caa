#pragma once
// The whole conversation in bounded memory: every line ever added to the
// pane, as the CP932 bytes of the saved log (each line ended by CR LF), kept
// in a spool file rather than in memory. Lines gather in a small buffer that
// spills to the file when it fills and whenever the pane updates, so a flood
// costs disk, never resident memory.
//
// The file lives in the user's cache folder (the runtime folder is usually a
// small memory-backed file system, which a flood would fill), is readable by
// its owner only (0600), is held under an advisory lock while this instance
// lives and is removed when it ends. A spool left behind by a crashed run has
// a free lock; the next start removes it.
//
// Usage:
//   TLogSpool spool;                 // sweeps stale spools, opens a fresh one
//   spool.Append(lineBytes);         // cheap: no system call until 64 KiB
//   spool.Flush();                   // at the end of a pane update
//   spool.CopyTo(file);              // saving the log

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <functional>
#include <string_view>

class TLogSpool {
public:
    // folder empty: the cache folder, else the runtime folder, else /tmp.
    explicit TLogSpool(const QString& folder = QString());
    ~TLogSpool();
    TLogSpool(const TLogSpool&) = delete;
    TLogSpool& operator=(const TLogSpool&) = delete;

    // One line (without its CR LF).
    void Append(std::string_view line);
    // Writes what is buffered to the file. A failing write keeps the bytes
    // buffered to try again later: nothing of the conversation is dropped.
    void Flush();
    // After each piece of a copy: the bytes copied so far and the size of
    // the copy. It may let the event loop run (a progress dialog); false
    // stops the copy.
    using TProgress = std::function<bool(qint64 done, qint64 total)>;
    // Writes the whole conversation, as it stands when called, to out (lines
    // added while a progress callback runs the event loop are not part of
    // it); false when a read or a write failed or progress said stop.
    bool CopyTo(QIODevice& out, const TProgress& progress = {});

    // The spool file's path; empty when no file could be made (the lines are
    // then kept in memory).
    QString Path() const { return FPath; }
    qint64 Size() const { return FWritten + FBuffer.size(); }

    // Removes the spools of this executable in folder whose lock is free:
    // their instance has ended without removing them.
    static void RemoveStale(const QString& folder, const QString& exeName);
    static QString DefaultFolder();

private:
    void open(const QString& folder);

    int FFd = -1;
    QString FPath;
    QByteArray FBuffer;
    qint64 FWritten = 0;
    qsizetype FSpillAt; // a failing disk is retried less often
};
