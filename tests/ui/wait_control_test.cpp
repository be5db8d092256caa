// The countdown control: caption parsing, the countdown and its events,
// Stop / Restart, the modal results and the painted bar.

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <climits>
#include <ostream>
#include <string>
#include <vector>

#include "testkit.h"
#include "waitcontrol.h"

// Readable colours in failure messages.
void PrintTo(const QColor& c, std::ostream* os)
{
    *os << c.name().toStdString();
}

namespace {

TEST(WaitParse, LeadingSpacesDigitsAndTheRest)
{
    EXPECT_EQ(TCustomWait::ParseCount("60"), 60);
    EXPECT_EQ(TCustomWait::ParseCount("  42"), 42);
    EXPECT_EQ(TCustomWait::ParseCount(" 7x"), 7);
    EXPECT_EQ(TCustomWait::ParseCount("12 3"), 12);
    EXPECT_EQ(TCustomWait::ParseCount(""), 0);
    EXPECT_EQ(TCustomWait::ParseCount("x7"), 0);
    EXPECT_EQ(TCustomWait::ParseCount("-5"), 0);
    EXPECT_EQ(TCustomWait::ParseCount("+5"), 0);
    EXPECT_EQ(TCustomWait::ParseCount("\t5"), 0);
    EXPECT_EQ(TCustomWait::ParseCount("99999999999999999999"), INT_MAX);
}

TEST(WaitControl, InitialState)
{
    TWait w;
    EXPECT_EQ(w.Caption(), "60");
    EXPECT_EQ(w.StartCount(), 60);
    EXPECT_EQ(w.Interval(), 1000);
    EXPECT_FALSE(w.Running());
    EXPECT_EQ(w.ModalResult(), 0);
    EXPECT_EQ(w.width(), 192);
    EXPECT_EQ(w.height(), 32);
}

TEST(WaitControl, StartWithoutACountUsesFifteen)
{
    for (const char* caption : {"0", "", "abc", "-3", "  "}) {
        TWait w;
        int starts = 0;
        w.OnWaitStart = [&](QObject* sender) {
            EXPECT_EQ(sender, &w);
            ++starts;
        };
        w.SetCaption(caption);
        w.Start();
        EXPECT_EQ(w.Caption(), "15") << "caption '" << caption << "'";
        EXPECT_EQ(w.StartCount(), 15);
        EXPECT_TRUE(w.Running());
        EXPECT_EQ(starts, 1);
        w.Stop();
    }
}

TEST(WaitControl, CountsDownFromALeadingNumberAndTimesOut)
{
    TWait w;
    w.SetInterval(10);
    w.SetCaption(" 7x");
    std::vector<int> counts;
    std::vector<std::string> captions;
    int timeouts = 0;
    w.OnWait = [&](QObject*, int count) {
        counts.push_back(count);
        captions.push_back(w.Caption());
    };
    w.OnTimeout = [&](QObject*) {
        ++timeouts;
        EXPECT_FALSE(w.Running());
        EXPECT_EQ(w.ModalResult(), 2);
        EXPECT_EQ(w.Caption(), "7");
    };
    w.Start();
    EXPECT_EQ(w.StartCount(), 7);
    EXPECT_EQ(w.Caption(), " 7x"); // a usable count is left as written
    ASSERT_TRUE(testkit::waitFor([&] { return !w.Running(); }, 5000));
    EXPECT_EQ(counts, (std::vector<int>{6, 5, 4, 3, 2, 1, 0}));
    // OnWait sees the caption before it is rewritten.
    EXPECT_EQ(captions.front(), " 7x");
    EXPECT_EQ(captions.back(), "1");
    EXPECT_EQ(timeouts, 1);
    EXPECT_EQ(w.Caption(), "7"); // back at the start count, not 0
    EXPECT_EQ(w.ModalResult(), 2);
}

TEST(WaitControl, StopAndRestartGoBackToTheStartCount)
{
    TWait w;
    w.SetInterval(5);
    w.SetCaption("20");
    int stops = 0;
    w.OnWaitStop = [&](QObject*) { ++stops; };
    w.Start();
    ASSERT_TRUE(testkit::waitFor([&] { return w.Caption() == "17"; }, 5000));

    w.Restart();
    EXPECT_EQ(w.Caption(), "20");
    EXPECT_TRUE(w.Running()); // Restart leaves the timer alone

    ASSERT_TRUE(testkit::waitFor([&] { return w.Caption() == "18"; }, 5000));
    w.Stop();
    EXPECT_FALSE(w.Running());
    EXPECT_EQ(w.Caption(), "20");
    EXPECT_EQ(w.ModalResult(), 1);
    EXPECT_EQ(stops, 1);
    // No further tick after Stop.
    QTest::qWait(30);
    EXPECT_EQ(w.Caption(), "20");
}

TEST(WaitControl, IntervalZeroRunsWithoutTicking)
{
    TWait w;
    w.SetInterval(0);
    w.SetCaption("3");
    int ticks = 0;
    w.OnWait = [&](QObject*, int) { ++ticks; };
    w.Start();
    EXPECT_TRUE(w.Running());
    QTest::qWait(30);
    EXPECT_EQ(ticks, 0);
    // A later interval takes effect on the running countdown.
    w.SetInterval(5);
    ASSERT_TRUE(testkit::waitFor([&] { return !w.Running(); }, 5000));
    EXPECT_EQ(ticks, 3);
}

TEST(WaitModal, ResultTwoAfterTheCountRunsOut)
{
    TWait w;
    w.SetInterval(5);
    w.SetCaption("4");
    int turns = 0;
    w.OnWaiting = [&](QObject*) { ++turns; };
    EXPECT_EQ(w.StartModal(), 2);
    EXPECT_EQ(w.ModalResult(), 2);
    EXPECT_FALSE(w.Running());
    EXPECT_EQ(w.Caption(), "4");
    // At least one turn per tick, not thousands of empty polls.
    EXPECT_GE(turns, 4);
    EXPECT_LT(turns, 200);
}

TEST(WaitModal, ResultOneWhenStoppedFromAnEvent)
{
    TWait w;
    w.SetInterval(1000);
    w.SetCaption("30");
    QTimer::singleShot(20, &w, [&] {
        EXPECT_EQ(w.ModalResult(), 0); // 0 while the wait runs
        w.Stop();
    });
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(w.StartModal(), 1);
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_EQ(w.Caption(), "30");
}

TEST(WaitModal, StoppedFromOnWaitingEndsAtOnce)
{
    TWait w;
    w.SetCaption("30");
    w.OnWaiting = [&](QObject*) { w.Stop(); };
    EXPECT_EQ(w.StartModal(), 1);
}

TEST(WaitModal, DestroyedWhileWaiting)
{
    auto* w = new TWait;
    w->SetCaption("30");
    QTimer::singleShot(10, [w] { delete w; });
    EXPECT_EQ(w->StartModal(), 1);
}

TEST(WaitModal, HandlersMayDeleteTheControl)
{
    auto* w = new TWait;
    w->SetInterval(5);
    w->SetCaption("2");
    bool timedOut = false;
    w->OnTimeout = [w, &timedOut](QObject*) {
        delete w;
        timedOut = true; // the handler's own state is still there
    };
    EXPECT_EQ(w->StartModal(), 1);
    EXPECT_TRUE(timedOut);

    auto* v = new TWait;
    v->SetInterval(5);
    QPointer<TWait> gone(v);
    v->OnWait = [v](QObject*, int) { delete v; };
    v->Start();
    EXPECT_TRUE(testkit::waitFor([&] { return gone.isNull(); }, 5000));
}

// Pixel colour at (x, y) of the painted control.
QColor PixelAt(const QImage& img, int x, int y)
{
    return QColor(img.pixel(x, y));
}

TEST(WaitPaint, FrameBarAndCaption)
{
    TWait w;
    w.SetCaption("30"); // half of the start count 60
    QImage img(w.size(), QImage::Format_RGB32);
    img.fill(Qt::green);
    w.render(&img, QPoint(), QRegion(), QWidget::DrawChildren);
    const QColor highlight = w.palette().color(QPalette::Highlight);

    // Frame: pixels 0..190 x 0..30, outlined black, filled white.
    EXPECT_EQ(PixelAt(img, 0, 0), QColor(Qt::black));
    EXPECT_EQ(PixelAt(img, 190, 30), QColor(Qt::black));
    EXPECT_EQ(PixelAt(img, 191, 31), QColor(Qt::green));
    EXPECT_EQ(PixelAt(img, 150, 15), QColor(Qt::white));

    // Bar: 30 * (192 - 7) / 60 = 92, from 3 to 95 (exclusive), rows 3..27.
    const int bar = 30 * (192 - 7) / 60;
    EXPECT_EQ(PixelAt(img, 3, 3), QColor(Qt::black));
    EXPECT_EQ(PixelAt(img, bar + 2, 27), QColor(Qt::black));
    EXPECT_EQ(PixelAt(img, bar + 1, 26), highlight);
    EXPECT_EQ(PixelAt(img, bar + 3, 15), QColor(Qt::white));
    EXPECT_EQ(PixelAt(img, 60, 25), highlight);

    // The caption is drawn from x = 4 on the highlight background: some
    // pixel in its first cell differs from the plain bar.
    bool ink = false;
    for (int y = 8; y < 24 && !ink; ++y)
        for (int x = 4; x < 12 && !ink; ++x)
            ink = PixelAt(img, x, y) != highlight;
    EXPECT_TRUE(ink);
}

TEST(WaitPaint, BarShrinksWithTheCount)
{
    TWait w;
    w.SetCaption("10");
    w.Start(); // start count 10
    w.Stop();
    auto barEnd = [&] {
        QImage img(w.size(), QImage::Format_RGB32);
        w.render(&img);
        int x = 3;
        while (x < w.width() && PixelAt(img, x + 1, 26) != QColor(Qt::white))
            ++x;
        return x;
    };
    const int full = barEnd();
    w.SetCaption("5");
    const int half = barEnd();
    w.SetCaption("0");
    const int none = barEnd();
    EXPECT_GT(full, half);
    EXPECT_GT(half, none);
    EXPECT_EQ(full, 3 + (192 - 7) - 1);
    EXPECT_EQ(half, 3 + 5 * (192 - 7) / 10 - 1);
    EXPECT_EQ(none, 3);
}

} // namespace
