// The flat button's rings and clicks, driven through the window like a user:
// pointer moves, presses, double clicks and keys.
#include "testkit.h"
#include "flatbutton.h"

#include <QLineEdit>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>

namespace {

class CuteButtonTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        form.resize(240, 120);
        button = new TCuteButton(&form);
        button->setGeometry(50, 30, 75, 25);
        button->SetCaption("Go");
        other = new QLineEdit(&form);
        other->setGeometry(10, 80, 100, 20);
        button->OnClick = [this](TCuteButton* sender) {
            EXPECT_EQ(sender, button);
            ++clicks;
            outerDuringClick = button->BevelOuter();
        };
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        form.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
        other->setFocus();
        ASSERT_TRUE(testkit::waitFor([this] { return other->hasFocus(); }, 2000));
        win = form.windowHandle();
        QTest::mouseMove(win, outside);
    }
    void TearDown() override
    {
        // Leave no button held for the next test.
        if (QGuiApplication::mouseButtons() != Qt::NoButton)
            QTest::mouseRelease(win, Qt::LeftButton, {}, outside);
    }

    QPoint inside() const { return button->geometry().center(); }

    QWidget form;
    TCuteButton* button = nullptr;
    QLineEdit* other = nullptr;
    QWindow* win = nullptr;
    const QPoint outside{200, 10};
    int clicks = 0;
    TBevelCut outerDuringClick = bvNone;
};

TEST_F(CuteButtonTest, RestLookAndFlat)
{
    EXPECT_EQ(button->BevelOuter(), bvNone);
    EXPECT_EQ(button->BevelInner(), bvRaised);
    EXPECT_FALSE(button->Flat());
    EXPECT_TRUE(button->focusPolicy() & Qt::TabFocus);

    button->SetFlat(true);
    EXPECT_EQ(button->BevelInner(), bvNone);
    const int repaints = button->RepaintRequests();
    button->SetFlat(true); // unchanged: no repaint
    EXPECT_EQ(button->RepaintRequests(), repaints);
    button->SetFlat(false);
    EXPECT_EQ(button->BevelInner(), bvRaised);
    EXPECT_GT(button->RepaintRequests(), repaints);

    // A bevel write repaints also when the value stays.
    const int before = button->RepaintRequests();
    button->SetBevelOuter(bvNone);
    EXPECT_EQ(button->RepaintRequests(), before + 1);
}

TEST_F(CuteButtonTest, HoverRaisesAndLeaveClears)
{
    int entered = 0, left = 0;
    button->OnMouseEnter = [&](TCuteButton*) { ++entered; };
    button->OnMouseLeave = [&](TCuteButton*) { ++left; };
    QTest::mouseMove(win, outside);
    QTest::mouseMove(win, inside());
    EXPECT_EQ(entered, 1);
    EXPECT_EQ(button->BevelOuter(), bvRaised);
    EXPECT_EQ(button->BevelInner(), bvRaised);
    QTest::mouseMove(win, outside);
    EXPECT_EQ(left, 1);
    EXPECT_EQ(button->BevelOuter(), bvNone);
    EXPECT_EQ(clicks, 0);
}

TEST_F(CuteButtonTest, ReleaseInsideClicksOnceWithRingLowered)
{
    QTest::mouseMove(win, inside());
    QTest::mousePress(win, Qt::LeftButton, {}, inside());
    EXPECT_EQ(button->BevelOuter(), bvLowered);
    EXPECT_EQ(clicks, 0); // click on release, not on press
    QTest::mouseRelease(win, Qt::LeftButton, {}, inside());
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(outerDuringClick, bvLowered);
    // No outer ring until the pointer leaves and comes back.
    EXPECT_EQ(button->BevelOuter(), bvNone);
    QTest::mouseMove(win, outside);
    QTest::mouseMove(win, inside());
    EXPECT_EQ(button->BevelOuter(), bvRaised);
}

TEST_F(CuteButtonTest, DragOffAndBackShowsLoweredAndReleaseOutsideDoesNotClick)
{
    QTest::mouseMove(win, inside());
    QTest::mousePress(win, Qt::LeftButton, {}, inside());
    QTest::mouseMove(win, outside);
    EXPECT_EQ(button->BevelOuter(), bvNone);
    // Entering with the left button held shows the pressed ring at once.
    QTest::mouseMove(win, inside());
    EXPECT_EQ(button->BevelOuter(), bvLowered);
    QTest::mouseMove(win, outside);
    QTest::mouseRelease(win, Qt::LeftButton, {}, outside);
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(button->BevelOuter(), bvNone);
}

TEST_F(CuteButtonTest, QuickDoubleClickClicksOnce)
{
    QTest::mouseMove(win, inside());
    QTest::mouseDClick(win, Qt::LeftButton, {}, inside());
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(button->BevelOuter(), bvNone);
    // A later, separate click still works.
    QTest::mouseClick(win, Qt::LeftButton, {}, inside(), 1000);
    EXPECT_EQ(clicks, 2);
}

TEST_F(CuteButtonTest, RightButtonNeitherLowersNorClicks)
{
    QTest::mouseMove(win, inside());
    QTest::mousePress(win, Qt::RightButton, {}, inside());
    EXPECT_EQ(button->BevelOuter(), bvRaised);
    QTest::mouseRelease(win, Qt::RightButton, {}, inside());
    EXPECT_EQ(clicks, 0);
}

TEST_F(CuteButtonTest, FocusRaisesAndLosingItClears)
{
    int enters = 0, exits = 0;
    button->OnEnter = [&](TCuteButton*) { ++enters; };
    button->OnExit = [&](TCuteButton*) { ++exits; };
    button->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(testkit::waitFor([this] { return button->hasFocus(); }, 2000));
    EXPECT_EQ(button->BevelOuter(), bvRaised);
    EXPECT_EQ(enters, 1);
    other->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(testkit::waitFor([this] { return other->hasFocus(); }, 2000));
    EXPECT_EQ(button->BevelOuter(), bvNone);
    EXPECT_EQ(exits, 1);
}

TEST_F(CuteButtonTest, SpaceAndEnterClickFocusedEnabledButton)
{
    button->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(testkit::waitFor([this] { return button->hasFocus(); }, 2000));
    for (Qt::Key key : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter}) {
        const int before = clicks;
        outerDuringClick = bvNone;
        QTest::keyClick(button, key);
        EXPECT_EQ(clicks, before + 1) << key;
        EXPECT_EQ(outerDuringClick, bvLowered) << key;
        EXPECT_EQ(button->BevelOuter(), bvRaised) << key;
    }
    QTest::keyClick(button, Qt::Key_A);
    QTest::keyClick(button, Qt::Key_Escape);
    EXPECT_EQ(clicks, 3);

    button->setEnabled(false);
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
    QCoreApplication::sendEvent(button, &space);
    QTest::keyClick(button, Qt::Key_Return);
    EXPECT_EQ(clicks, 3);
}

TEST_F(CuteButtonTest, KeyReplacedInOnKeyDownDecides)
{
    button->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(testkit::waitFor([this] { return button->hasFocus(); }, 2000));
    int replacement = 0;
    button->OnKeyDown = [&](TCuteButton*, int& key, Qt::KeyboardModifiers) { key = replacement; };
    QTest::keyClick(button, Qt::Key_Space);
    replacement = Qt::Key_A;
    QTest::keyClick(button, Qt::Key_Return);
    EXPECT_EQ(clicks, 0);
    // ... and a key turned into Space clicks.
    replacement = Qt::Key_Space;
    QTest::keyClick(button, Qt::Key_B);
    EXPECT_EQ(clicks, 1);
}

TEST_F(CuteButtonTest, EscapeIsLeftToTheWindow)
{
    button->setFocus(Qt::TabFocusReason);
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    esc.setAccepted(true);
    QCoreApplication::sendEvent(button, &esc);
    EXPECT_FALSE(esc.isAccepted());
    EXPECT_EQ(clicks, 0);
}

TEST_F(CuteButtonTest, CaptionRoundTripsAsCp932AndSignalFires)
{
    const std::string send = "\x94\xAD\x8C\xBE"; // 発言
    button->SetCaption(send);
    EXPECT_EQ(button->Caption(), send);
    EXPECT_EQ(button->CaptionText(), QString::fromUtf8(u8"発言"));
    int signals_ = 0;
    QObject::connect(button, &TCuteButton::clicked, [&] { ++signals_; });
    button->Click();
    EXPECT_EQ(signals_, 1);
    EXPECT_EQ(clicks, 1);
}

TEST_F(CuteButtonTest, MnemonicClicksOnlyWhileEnabled)
{
    button->SetCaption("&Go");
    QTest::keyClick(&form, Qt::Key_G, Qt::AltModifier);
    EXPECT_EQ(clicks, 1);
    button->setEnabled(false);
    QTest::keyClick(&form, Qt::Key_G, Qt::AltModifier);
    EXPECT_EQ(clicks, 1);
    // A caption whose "&" is last has no mnemonic.
    button->setEnabled(true);
    button->SetCaption("Go&");
    QTest::keyClick(&form, Qt::Key_G, Qt::AltModifier);
    EXPECT_EQ(clicks, 1);
}

} // namespace
