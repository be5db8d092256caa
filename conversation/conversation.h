#pragma once
// The conversation behind the pane (DisplayMemo): every line is spooled as
// the CP932 bytes it came as, for the saved log; the pane shows the last
// lines, up to the scrollback limit, decoded.
//
// Adding a line is cheap and never touches the widget: the line is queued,
// and the pane is updated from the event loop, after everything that the
// current turn relays. An update inserts what fits in its time budget and
// paints the pane at once, so that it holds the loop once, not twice (the
// insertion, then a posted repaint): every time the loop is held, the line
// that arrives meanwhile waits, and the other seats with it.
// - The first line after a quiet spell is shown in the next turn.
// - While lines keep arriving, updates come at most every kUpdateGapMs, and
//   further apart when they cost more: the pane takes at most one
//   kPaneShare-th of the time, so relaying comes first.
// - Once lines stop arriving, the pane catches up in back-to-back updates of
//   kCatchUpBudgetNs, with the loop turning between them.
// The rest follows, in order. Idle, no timer runs. Lines that the scrollback limit would trim
// at once are dropped from the queue before they are ever decoded, and the
// front of the pane is trimmed by hand, in an edit of its own, so removed
// lines are never laid out (QPlainTextEdit's own maximum block count costs
// ten times as much: scripts/pane-trim.cpp measures both).
//
// Each line shown keeps its arrival time (milliseconds since the epoch),
// block i of the pane being line i.

#include "autolog.h"
#include "chatevent.h"
#include "logspool.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class QIODevice;
class QPlainTextEdit;

class TConversation : public QObject {
    Q_OBJECT
public:
    static constexpr int kUpdateGapMs = 33;
    static constexpr int kMaxUpdateGapMs = 250;
    static constexpr int kPaneShare = 20;
    static constexpr qint64 kUpdateBudgetNs = 1'500'000;
    static constexpr qint64 kCatchUpBudgetNs = 2'000'000;
    static constexpr int kDefaultScrollback = 10000;
    // The most a setting can ask for: about 300 MB of pane even for the
    // longest lines, so no setting lets a flood grow memory without bound.
    static constexpr int kMaxScrollback = 100000;

    // spoolFolders empty: TLogSpool's default folders.
    explicit TConversation(QPlainTextEdit* pane, QObject* parent = nullptr,
                           const QStringList& spoolFolders = QStringList());

    // What the chat shows: its display lines (chatevent.h) are spooled and
    // queued for the pane; the log ends every line with its own CR LF.
    void Add(const TChatEvent& event);
    // The log was saved with its first `lines` lines: when no line came
    // since, the conversation counts as saved again.
    void MarkSaved(qint64 lines);

    // One throttled update: what fits in the time budget.
    void Update();
    // Everything queued, now (before a test reads the pane).
    void Flush();
    bool UpdateScheduled() const { return FTimer.isActive(); }

    // The whole conversation as the log's bytes; withTimes puts each line's
    // "[HH:MM] " before it. False when it failed or progress said stop.
    bool WriteLog(QIODevice& out, bool withTimes = false, const TLogSpool::TProgress& progress = {});
    const TLogSpool& Spool() const { return FSpool; }
    // The automatic log into folder (autolog.h); an empty folder turns it off.
    void SetAutoLog(const QString& folder);
    const TAutoLog* AutoLog() const { return FAutoLog.get(); }
    // Lines added so far.
    qint64 Lines() const { return FSpooled; }

    int Scrollback() const { return FScrollback; }
    void SetScrollback(int lines);

    // The "[HH:MM] " time of day before every line of the pane; turning it
    // on or off rewrites the lines shown, in one edit.
    void SetShowTimes(bool on);
    bool ShowTimes() const { return FShowTimes; }

    // Arrival time of the pane's block (milliseconds since the epoch), -1
    // for a block that holds no line.
    qint64 ArrivedAt(int block) const;

signals:
    // A line came after the last save (true), or a save took every line
    // (false); the save command follows it.
    void UnsavedChanged(bool unsaved);
    // The spool or the automatic log cannot be written (the reason, CP932),
    // or can again (empty).
    void SpoolTrouble(const std::string& reason);
    void AutoLogTrouble(const std::string& reason);

private:
    struct TQueued {
        std::string Bytes;
        qint64 Arrived;
    };
    void queue(std::string_view line, qint64 now);
    void insert(size_t count);

    QPlainTextEdit* FPane;
    TLogSpool FSpool;
    std::unique_ptr<TAutoLog> FAutoLog;
    std::deque<TQueued> FQueue; // not yet in the pane, at most FScrollback
    std::deque<qint64> FShown;  // arrival times of the pane's blocks
    int FScrollback = kDefaultScrollback;
    bool FShowTimes = false;
    // The spooled lines' times for the log: (line number, arrival) at each
    // line whose minute differs from the line before; a few entries an hour.
    std::vector<std::pair<qint64, qint64>> FMinutes;
    qint64 FSpooled = 0;
    QTimer FTimer{this}; // a child, so the window's timers can be listed
    QElapsedTimer FSinceUpdate;
    int FGapMs = kUpdateGapMs; // between updates while lines keep arriving
    bool FArrived = false;     // a line came since the last update
    bool FUnsaved = false;     // a line came since the last save
};
