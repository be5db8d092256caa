// The countdown control and its modal wait.

#include "waitcontrol.h"

#include <algorithm>
#include <climits>

#include <QApplication>
#include <QEvent>
#include <QInputMethodEvent>
#include <QPainter>
#include <QPointer>
#include <QTimer>

#include "sjis.h"

namespace {

// Raise an event through a copy of its handler: a handler that deletes the
// control would otherwise destroy itself while it runs.
template <typename F, typename... A>
void raiseEvent(const F& event, A... args)
{
    if (event) {
        F handler = event;
        handler(args...);
    }
}

// Outline and fill the rectangle whose right and bottom edges are
// exclusive, as a classic GDI Rectangle(left, top, right, bottom) does.
void drawRectangle(QPainter& p, int left, int top, int right, int bottom)
{
    if (right - left < 2 || bottom - top < 2) {
        if (right > left && bottom > top)
            p.fillRect(left, top, right - left, bottom - top, p.pen().color());
        return;
    }
    p.drawRect(left, top, right - left - 1, bottom - top - 1);
}

} // namespace

TCustomWait::TCustomWait(QWidget* parent)
    : QWidget(parent)
    , FPen(Qt::black, 1, Qt::SolidLine)
    , FFont(QStringLiteral("Courrier"), 8)
    , FBrush(Qt::white)
    , FTimer(new QTimer(this))
{
    // The face may be missing; the hint picks another fixed-pitch one.
    FFont.setFixedPitch(true);
    FFont.setStyleHint(QFont::TypeWriter);
    FTimer->setTimerType(Qt::PreciseTimer);
    FTimer->setInterval(FInterval);
    connect(FTimer, &QTimer::timeout, this, [this] { TimerEvent(); });
    resize(192, 32);
}

TCustomWait::~TCustomWait()
{
    // Destroyed inside its own modal wait: the filter must not outlive it.
    if (FModalDepth > 0 && qApp)
        qApp->removeEventFilter(this);
}

int TCustomWait::ParseCount(const std::string& text)
{
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        // A caption longer than any real count must not overflow.
        if (value > INT_MAX)
            return INT_MAX;
    }
    return static_cast<int>(value);
}

void TCustomWait::SetTimerEnabled(bool enabled)
{
    // As with a classic window timer: enabling a running timer keeps its
    // phase, and an interval of 0 never ticks.
    if (enabled == FEnabled)
        return;
    FEnabled = enabled;
    if (FEnabled && FInterval != 0)
        FTimer->start(FInterval);
    else
        FTimer->stop();
}

void TCustomWait::SetInterval(std::uint16_t value)
{
    if (value == FInterval)
        return;
    FInterval = value;
    FTimer->stop();
    FTimer->setInterval(FInterval);
    if (FEnabled && FInterval != 0)
        FTimer->start();
}

void TCustomWait::Start()
{
    FStartCount = ParseCount(FCaption);
    if (FStartCount == 0) {
        FStartCount = 15;
        FCaption = "15";
    }
    SetTimerEnabled(true);
    update();
    raiseEvent(OnWaitStart, this);
}

void TCustomWait::TimerEvent()
{
    QPointer<TCustomWait> self(this);
    const int count = ParseCount(FCaption) - 1;
    raiseEvent(OnWait, this, count);
    if (!self)
        return;
    if (count >= 1) {
        FCaption = std::to_string(count);
    } else {
        SetTimerEnabled(false);
        FModalResult = 2;
        FCaption = std::to_string(FStartCount);
        raiseEvent(OnTimeout, this);
        if (!self)
            return;
    }
    update();
}

void TCustomWait::Stop()
{
    FModalResult = 1;
    SetTimerEnabled(false);
    FCaption = std::to_string(FStartCount);
    update(); // show the start count again, not the last count
    raiseEvent(OnWaitStop, this);
}

void TCustomWait::Restart()
{
    FCaption = std::to_string(FStartCount);
    update();
}

void TCustomWait::installInputFilter()
{
    if (FModalDepth++ == 0)
        qApp->installEventFilter(this);
}

void TCustomWait::removeInputFilter()
{
    if (--FModalDepth == 0)
        qApp->removeEventFilter(this);
}

int TCustomWait::StartModal()
{
    // Raises OnWaiting on every turn like a polling loop would, but each
    // turn blocks until the next event arrives (a tick, a socket
    // notification, input to discard), so an idle wait costs no CPU.
    QPointer<TCustomWait> self(this);
    installInputFilter();
    struct FilterGuard {
        QPointer<TCustomWait>& w;
        ~FilterGuard()
        {
            if (w)
                w->removeInputFilter();
        }
    } guard{self};

    FModalResult = 0;
    Start();
    while (self && FEnabled) {
        raiseEvent(OnWaiting, this);
        if (!self || !FEnabled)
            break;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    // Destroyed while waiting: the wait was ended from outside.
    return self ? FModalResult : 1;
}

bool TCustomWait::eventFilter(QObject* watched, QEvent* event)
{
    if (FModalDepth > 0 && AppMessage(event))
        return true;
    return QWidget::eventFilter(watched, event);
}

bool TCustomWait::AppMessage(QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: Beep(); return true;
    case QEvent::ShortcutOverride:
        // Claim the key so that no shortcut or menu accelerator fires; the
        // key press that follows is discarded (and beeps) above.
        event->accept();
        return true;
    case QEvent::ContextMenu:
        // Follows a discarded right press or the menu key: already beeped.
        return true;
    case QEvent::InputMethod:
        // An input method takes the keys before they become key presses
        // and delivers the typed text this way: discard it the same.
        if (!static_cast<QInputMethodEvent*>(event)->commitString().isEmpty())
            Beep();
        return true;
    default: return false;
    }
}

void TCustomWait::Beep()
{
    QApplication::beep();
}

void TCustomWait::paintEvent(QPaintEvent*)
{
    Paint();
}

void TCustomWait::Paint()
{
    const int w = width();
    const int h = height();
    const long long start = FStartCount > 0 ? FStartCount : 1;
    long long bar = static_cast<long long>(ParseCount(FCaption)) * (w - 7) / start;
    bar = std::clamp<long long>(bar, -1, w);

    QPainter p(this);
    p.setPen(FPen);
    p.setFont(FFont);
    FBrush.setColor(Qt::white);
    p.setBrush(FBrush);
    drawRectangle(p, 0, 0, w - 1, h - 1);

    const QColor highlight = palette().color(QPalette::Highlight);
    FBrush.setColor(highlight);
    p.setBrush(FBrush);
    drawRectangle(p, 3, 3, static_cast<int>(bar) + 3, h - 4);

    p.setBackgroundMode(Qt::OpaqueMode);
    p.setBackground(highlight);
    const QString text = sjis::decode(FCaption);
    const QFontMetrics fm(FFont);
    const QPoint topLeft(4, h / 2 - 8);
    p.drawText(topLeft + QPoint(0, fm.ascent()), text);
}
