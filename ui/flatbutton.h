#pragma once
// TCuteButton: the flat push button of every dialog and the main window's
// send button.
//
// Not a native push button: a focusable panel whose whole look is two bevel
// rings around a flat face. The outer ring tells the interaction state (none
// at rest, raised on hover or focus, lowered while pressed), the inner ring
// the resting look (raised unless Flat). A left press followed by a release
// inside clicks; Space or Enter on the focused button clicks; the second
// press of a double click does not click.
//
// Use:
//   auto* b = new TCuteButton(parent);
//   b->SetCaption(txt::kSendCaption);          // CP932 bytes
//   b->SetColor(look::kButtonFace);           // palette.h
//   b->setGeometry(x, y, 41, 21);
//   b->OnClick = [this](TCuteButton*) { SendButtonClick(); };
//   // or: connect(b, &TCuteButton::clicked, ...)

#include <QColor>
#include <QWidget>
#include <functional>
#include <string>

enum TBevelCut { bvNone, bvLowered, bvRaised };

class TCuteButton : public QWidget {
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(TCuteButton* Sender)>;
    // Key is the Qt key code; a handler may replace it (0 = swallowed), so
    // that Space or Enter no longer click.
    using TKeyEvent = std::function<void(TCuteButton* Sender, int& Key, Qt::KeyboardModifiers Shift)>;
    using TMouseEvent = std::function<void(TCuteButton* Sender, Qt::MouseButton Button, QPoint Pos)>;

    explicit TCuteButton(QWidget* parent = nullptr);

    // Raises OnClick, then emits clicked(). Public so that a dialog's hidden
    // default button can click this one, as Enter does.
    virtual void Click();

    bool Flat() const { return FFlat; }
    void SetFlat(bool value);

    TBevelCut BevelOuter() const { return FBevelOuter; }
    TBevelCut BevelInner() const { return FBevelInner; }
    // Every write repaints, also of the value the ring already has.
    void SetBevelOuter(TBevelCut value);
    void SetBevelInner(TBevelCut value);
    int BevelWidth() const { return FBevelWidth; }
    void SetBevelWidth(int value);

    // Caption as CP932 bytes. A "&" marks the next character as mnemonic.
    std::string Caption() const;
    void SetCaption(const std::string& cp932);
    QString CaptionText() const { return FCaption; }

    QColor Color() const { return FColor; }
    void SetColor(const QColor& value);
    Qt::Alignment Alignment() const { return FAlignment; }
    void SetAlignment(Qt::Alignment value);

    // Repaints requested so far (bevel writes, captions, colours); lets
    // tests see that SetFlat with the current value asks for no repaint.
    int RepaintRequests() const { return FRepaintRequests; }

    TNotifyEvent OnClick;
    TNotifyEvent OnMouseEnter;
    TNotifyEvent OnMouseLeave;
    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;
    TKeyEvent OnKeyDown;
    TKeyEvent OnKeyUp;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;

    QSize sizeHint() const override { return QSize(75, 25); }

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent*) override;
    bool event(QEvent*) override; // the mnemonic's shortcut clicks

    // The pointer: hover and press move the outer ring, a release clicks.
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseDoubleClickEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;

    // The keyboard: focus raises the outer ring, Space and Enter click.
    void focusInEvent(QFocusEvent*) override;
    void focusOutEvent(QFocusEvent*) override;
    void keyPressEvent(QKeyEvent*) override;
    void keyReleaseEvent(QKeyEvent*) override;

private:
    void invalidate();
    void doMouseEnter(bool leftDown);
    void doMouseLeave();
    QChar Mnemonic() const;

    bool FFlat = false;
    TBevelCut FBevelOuter = bvNone;
    TBevelCut FBevelInner = bvRaised;
    int FBevelWidth = 1;
    QString FCaption;
    QColor FColor;
    Qt::Alignment FAlignment = Qt::AlignHCenter;
    // A left press armed a click; the double-click message disarms it.
    bool FClickArmed = false;
    // Whether the pointer is over the button as far as the rings know. Qt
    // holds back enter and leave while the mouse is grabbed by a press; the
    // moves of the grab stand in for them.
    bool FMouseInside = false;
    int FRepaintRequests = 0;
    int FShortcutId = 0;
};
