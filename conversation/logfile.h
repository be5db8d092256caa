#pragma once
// Saving the conversation: a file in the current folder named by the month,
// day, hour and minute of the save ("mdhn", no leading zeros) plus ".log";
// every line of the pane as CP932 bytes ended by CR LF. The logs the program
// keeps by itself (the automatic log, the conversation of a run that did not
// end cleanly) go to the user's data folder, LogFolder().

#include <QDateTime>
#include <QString>

#include <functional>
#include <string>
#include <vector>

class QIODevice;

// $XDG_DATA_HOME/pelmora/logs (~/.local/share/pelmora/logs by default).
QString LogFolder();
// Why a file could not be written, for the user (CP932): the system's
// error number in a few Japanese words.
std::string FileErrorText(int errnum);

class TLogSaver {
public:
    // "mdhn.log" for the moment given, e.g. 6 December 23:09 -> "126239.log".
    static QString FileName(const QDateTime& when);

    // Writes the lines into folder and returns the file's path; throws
    // Exception, naming the file's full path and the reason, when the file
    // cannot be written.
    //
    // A second save by this saver in the same minute replaces its own file
    // (its content is a superset). Any other existing file of the same
    // name, a log of another day that happens to give the same digits, is
    // kept: the new log goes to a free name beside it. The file is written
    // under a temporary name and renamed, so a failed write leaves any old
    // file whole.
    QString Save(const std::vector<std::string>& lines, const QDateTime& when,
                 const QString& folder = QStringLiteral("."));
    // The same, with the content written by write (false: it failed), so a
    // long conversation is copied from its spool without being held whole.
    QString Save(const std::function<bool(QIODevice&)>& write, const QDateTime& when,
                 const QString& folder = QStringLiteral("."));

private:
    QString FLastPath;
    QString FLastFolder;
    QDateTime FLastMinute;
};
