#pragma once
// The whole conversation in bounded memory: every line ever added to the
// pane, as the CP932 bytes of the saved log (each line ended by CR LF), kept
// in a spool file rather than in memory. Lines gather in a small buffer that
// spills to the file when it fills and whenever the pane updates, so a flood
// costs disk, never resident memory.
//
// The file lives in the first of its folders that takes it: the user's cache
// folder (the runtime folder is usually a small memory-backed file system,
// which a flood would fill), else the runtime folder, else a private folder
// in the temporary folder. It is readable by its owner only (0600), is held
// under an advisory lock while this instance lives and is removed when it
// ends. Its name carries the executable's name and the moment the spool was
// opened ("pelmora-1767225600000-4242-1.spool"), so a spool left behind by a
// crash (its lock is free) can become a log named for the lost session's
// start (spoolrecovery.h).
//
// When the file cannot be written (disk full, folder gone or read-only), the
// spool moves, with what it holds, to the next folder that takes it. Where
// none does, the new lines wait in memory, at most MemoryLimit bytes: beyond
// that the oldest of them are dropped, and the log carries one marker line
// where they are missing. The spool tries the folders again at most once per
// RetryMs and goes back to the disk as soon as one takes it. OnTrouble hears
// of the first failure (with its reason) and of the return (empty reason).
//
// Usage:
//   TLogSpool spool;                 // opens a fresh spool
//   spool.Append(lineBytes);         // cheap: no system call until 64 KiB
//   spool.Flush();                   // at the end of a pane update
//   spool.CopyTo(file);              // saving the log

#include <QByteArray>
#include <QIODevice>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <cerrno>
#include <functional>
#include <string>
#include <string_view>

class TLogSpool {
public:
    static inline qint64 MemoryLimit = 64 * 1024 * 1024;
    static inline int RetryMs = 1000;

    // folders empty: DefaultFolders().
    explicit TLogSpool(const QStringList& folders = QStringList());
    ~TLogSpool();
    TLogSpool(const TLogSpool&) = delete;
    TLogSpool& operator=(const TLogSpool&) = delete;

    // One line (without its CR LF).
    void Append(std::string_view line);
    // Writes what is buffered to the file, or to another folder when the
    // file cannot take it; where no folder does, the bytes stay in memory
    // within MemoryLimit.
    void Flush();
    // After each piece of a copy: the bytes copied so far and the size of
    // the copy. It may let the event loop run (a progress dialog); false
    // stops the copy.
    using TProgress = std::function<bool(qint64 done, qint64 total)>;
    // Writes the whole conversation, as it stands when called, to out (lines
    // added while a progress callback runs the event loop are not part of
    // it); false when a read or a write failed or progress said stop.
    bool CopyTo(QIODevice& out, const TProgress& progress = {});

    // The spool file's path; empty while no folder takes it.
    QString Path() const { return FPath; }
    qint64 Size() const { return FWritten + FBuffer.size(); }
    // Bytes of conversation held in memory, not yet in the file.
    qint64 MemoryBytes() const { return FBuffer.size(); }
    // Why the spool cannot be written (CP932), empty while it can.
    const std::string& Trouble() const { return FTrouble; }
    std::function<void(const std::string& reason)> OnTrouble;

    // The cache folder, the runtime folder, a private folder in the
    // temporary folder; each with "pelmora" (or "pelmora-<uid>") appended.
    static QStringList DefaultFolders();
    // The spool's file name for exe opened at startMs; and back: whether
    // name is a spool of exe (and of no other executable), with its start.
    static QString FileName(const QString& exe, qint64 startMs, qint64 pid, int serial);
    static bool IsSpoolOf(const QString& name, const QString& exe, qint64* startMs = nullptr);
    // The one line that stands for lines dropped from memory.
    static std::string MissingMark(qint64 lines);

private:
    bool open(const QString& folder);
    bool writeOut(int fd, qint64 at);
    bool relocate();
    void failed(int err);
    void dropOldest();

    QStringList FFolders;
    qint64 FStartMs;
    int FFd = -1;
    QString FPath;
    QByteArray FBuffer;
    qint64 FWritten = 0;
    qint64 FDropped = 0; // lines dropped from memory since the file took the last ones
    std::string FTrouble;
    int FOpenError = ENOENT; // why the last folder tried did not take a spool
    QElapsedTimer FSinceTry;
};
