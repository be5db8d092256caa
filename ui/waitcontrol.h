#pragma once
// TCustomWait / TWait: a small countdown box. It shows the seconds left as
// text and as a shrinking bar, counts down once per tick and reports every
// tick, the start, the stop and the timeout. Its modal wait keeps the event
// loop turning (socket notifications included) while the user's key presses
// and mouse clicks are thrown away with a beep. The socket component drives
// it through TWaitControl while it waits without MultiThreaded.
//
//   TWait w(form);                 // 192 x 32, caption "60", 1 s ticks
//   w.SetCaption("30");
//   w.OnTimeout = [](QObject*) { ... };
//   w.Start();                     // or: int r = w.StartModal(); 1 stopped, 2 timed out
//   socket.SetWaitCtrl(&w);        // ReadLine / Wait / Flush then use it

#include <cstdint>
#include <functional>
#include <string>

#include <QBrush>
#include <QFont>
#include <QPen>
#include <QWidget>

#include "waitctrl.h"

class QTimer;

class TCustomWait : public QWidget, public TWaitControl {
    Q_OBJECT

public:
    using TNotifyEvent = std::function<void(QObject* Sender)>;
    using TWaitEvent = std::function<void(QObject* Sender, int Count)>;

    explicit TCustomWait(QWidget* parent = nullptr);
    ~TCustomWait() override;

    // Leading spaces, then decimal digits up to the first other character;
    // 0 when there are none. Saturates instead of overflowing.
    static int ParseCount(const std::string& text);

    virtual void Start() override;
    virtual void Stop() override;
    virtual int StartModal() override;
    virtual void Restart();

    // The tick handler: one step of the countdown.
    void TimerEvent();

    // Caption: the seconds left as decimal text (CP932 bytes). Writing it
    // only stores it; the next tick or paint shows it.
    const std::string& Caption() const { return FCaption; }
    void SetCaption(const std::string& caption) override { FCaption = caption; }

    int ModalResult() const { return FModalResult; }
    void SetModalResult(int value) { FModalResult = value; }

    // Milliseconds per tick; 1000 unless changed. 0 keeps the countdown
    // running without ever ticking (only Stop ends it).
    std::uint16_t Interval() const { return FInterval; }
    void SetInterval(std::uint16_t value);

    bool Running() const override { return FEnabled; }
    int StartCount() const { return FStartCount; }

    void Show() override { show(); }
    void Hide() override { hide(); }

    TWaitEvent OnWait;
    TNotifyEvent OnWaiting;
    TNotifyEvent OnWaitStart;
    TNotifyEvent OnWaitStop;
    TNotifyEvent OnTimeout;

protected:
    void paintEvent(QPaintEvent* event) override;
    virtual void Paint();
    // The input filter of the modal wait.
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool AppMessage(QEvent* event);
    // The sound made for a discarded input event.
    virtual void Beep();

private:
    void SetTimerEnabled(bool enabled);
    void installInputFilter();
    void removeInputFilter();

    QPen FPen;
    QFont FFont;
    QBrush FBrush;
    std::string FCaption = "60";
    QTimer* FTimer;
    bool FEnabled = false;
    std::uint16_t FInterval = 1000;
    int FModalResult = 0;
    int FStartCount = 60;
    int FModalDepth = 0;
};

// The published form; it adds nothing.
class TWait : public TCustomWait {
    Q_OBJECT

public:
    using TCustomWait::TCustomWait;
};
