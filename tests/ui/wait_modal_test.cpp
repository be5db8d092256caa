// The modal wait: input is discarded with a beep while everything else keeps
// being dispatched, the previous input filter comes back afterwards, and an
// idle wait does not burn a core.

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>

#include "testkit.h"
#include "uitestkit.h"
#include "waitcontrol.h"

namespace {

using testkit::TCountingWait;

// Counts the events of some types that reach an object.
class TEventCounter : public QObject {
public:
    int KeyPresses = 0;
    int MousePresses = 0;
    int MouseMoves = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override
    {
        switch (e->type()) {
        case QEvent::KeyPress: ++KeyPresses; break;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: ++MousePresses; break;
        case QEvent::MouseMove: ++MouseMoves; break;
        default: break;
        }
        return false;
    }
};

struct TForm {
    QWidget window;
    QLineEdit* edit;
    QPushButton* button;
    TCountingWait* wait;
    int clicks = 0;

    TForm()
    {
        auto* layout = new QVBoxLayout(&window);
        edit = new QLineEdit;
        button = new QPushButton(QStringLiteral("OK"));
        wait = new TCountingWait;
        layout->addWidget(edit);
        layout->addWidget(button);
        layout->addWidget(wait);
        button->setMouseTracking(true);
        QObject::connect(button, &QPushButton::clicked, [this] { ++clicks; });
        window.show();
        window.activateWindow();
        edit->setFocus();
        (void)QTest::qWaitForWindowExposed(&window);
    }
};

TEST(WaitModalInput, KeysAndClicksDiscardedMovesPassOtherEventsRun)
{
    TForm f;
    TEventCounter previous; // an input filter that was there before the wait
    qApp->installEventFilter(&previous);
    TEventCounter onButton;
    f.button->installEventFilter(&onButton);

    // A socket notification must still be dispatched during the wait.
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    QSocketNotifier notifier(fds[0], QSocketNotifier::Read);
    bool socketSeen = false;
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        char c;
        (void)!::read(fds[0], &c, 1);
        socketSeen = true;
    });

    f.wait->SetCaption("30");
    int turns = 0;
    f.wait->OnWaiting = [&](QObject*) { ++turns; };
    QTimer::singleShot(10, &f.window, [&] {
        QTest::keyClicks(f.edit, QStringLiteral("abc"));
        QTest::keyClick(f.edit, Qt::Key_F, Qt::AltModifier);
        QTest::mouseClick(f.button, Qt::LeftButton);
        QTest::mouseDClick(f.button, Qt::LeftButton);
        QTest::mouseClick(f.button, Qt::RightButton);
        QTest::mouseMove(f.button, QPoint(5, 5));
        QTest::mouseMove(f.button, QPoint(9, 7));
        QInputMethodEvent ime(QString(), {});
        ime.setCommitString(QStringLiteral("日本"));
        QApplication::sendEvent(f.edit, &ime);
        (void)!::write(fds[1], "x", 1);
    });
    QTimer::singleShot(40, &f.window, [&] {
        if (socketSeen)
            f.wait->Stop();
    });
    QTimer::singleShot(3000, &f.window, [&] { f.wait->Stop(); }); // guard

    EXPECT_EQ(f.wait->StartModal(), 1);
    EXPECT_TRUE(socketSeen);
    EXPECT_GE(turns, 2);
    EXPECT_EQ(f.edit->text(), QString());
    EXPECT_EQ(f.clicks, 0);
    EXPECT_EQ(onButton.MousePresses, 0);
    EXPECT_EQ(previous.KeyPresses, 0);
    EXPECT_EQ(previous.MousePresses, 0);
    EXPECT_GE(onButton.MouseMoves, 1);
    // Four keys, three presses of click / double click, one right press,
    // one text from an input method.
    EXPECT_GE(f.wait->Beeps, 4 + 3 + 1 + 1);

    // Afterwards input flows again, through the earlier filter too.
    const int beeps = f.wait->Beeps;
    QTest::keyClicks(f.edit, QStringLiteral("ok"));
    QTest::mouseClick(f.button, Qt::LeftButton);
    QInputMethodEvent ime(QString(), {});
    ime.setCommitString(QStringLiteral("日本"));
    QApplication::sendEvent(f.edit, &ime);
    EXPECT_EQ(f.edit->text(), QStringLiteral("ok日本"));
    EXPECT_EQ(f.clicks, 1);
    EXPECT_EQ(previous.KeyPresses, 2);
    EXPECT_GE(previous.MousePresses, 1);
    EXPECT_EQ(f.wait->Beeps, beeps);

    qApp->removeEventFilter(&previous);
    ::close(fds[0]);
    ::close(fds[1]);
}

TEST(WaitModalInput, ShortcutsDoNotFire)
{
    TForm f;
    auto* action = new QAction(&f.window);
    action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    action->setShortcutContext(Qt::ApplicationShortcut);
    f.window.addAction(action);
    int fired = 0;
    QObject::connect(action, &QAction::triggered, [&] { ++fired; });

    // Without a wait the shortcut works, so the check below means something.
    QTest::keyClick(f.edit, Qt::Key_Q, Qt::ControlModifier);
    ASSERT_EQ(fired, 1);

    f.wait->SetCaption("30");
    QTimer::singleShot(10, &f.window, [&] {
        QTest::keyClick(f.edit, Qt::Key_Q, Qt::ControlModifier);
        f.wait->Stop();
    });
    EXPECT_EQ(f.wait->StartModal(), 1);
    EXPECT_EQ(fired, 1);
    EXPECT_GE(f.wait->Beeps, 1);
}

// A five-second wait at the normal one-second tick, measured.
TEST(WaitModalCpu, FiveSecondWaitIsNearlyIdle)
{
    TWait w;
    w.SetCaption("5");
    int turns = 0;
    w.OnWaiting = [&](QObject*) { ++turns; };
    QElapsedTimer clock;
    const double cpu0 = testkit::cpuSeconds();
    clock.start();
    EXPECT_EQ(w.StartModal(), 2);
    const double wall = clock.elapsed() / 1000.0;
    const double cpu = testkit::cpuSeconds() - cpu0;
    std::printf("five-second modal wait: wall %.3f s, cpu %.4f s (%.2f%% of one core), %d turns\n", wall, cpu,
                100.0 * cpu / wall, turns);
    RecordProperty("cpu_ms", static_cast<int>(cpu * 1000));
    EXPECT_GE(wall, 4.5);
    EXPECT_LT(wall, 7.0);
    EXPECT_LT(cpu, 0.05 * wall);
    EXPECT_LT(turns, 100);
}

} // namespace
