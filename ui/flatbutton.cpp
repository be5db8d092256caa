#include "flatbutton.h"

#include "palette.h"
#include "sjis.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QEnterEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcutEvent>

namespace {

// What assistive technology sees of the button: a push button named by its
// caption (without the mnemonic mark) whose press action clicks it, as Space
// or Enter would.
class TCuteButtonAccessible : public QAccessibleWidget {
public:
    explicit TCuteButtonAccessible(TCuteButton* button) : QAccessibleWidget(button, QAccessible::Button) { }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return QString(button()->CaptionText()).remove(QLatin1Char('&'));
        return QAccessibleWidget::text(t);
    }

    QStringList actionNames() const override
    {
        QStringList names = QAccessibleWidget::actionNames();
        if (button()->isEnabled())
            names.prepend(pressAction());
        return names;
    }

    void doAction(const QString& action) override
    {
        if (action == pressAction() && button()->isEnabled())
            button()->Click();
        else
            QAccessibleWidget::doAction(action);
    }

private:
    TCuteButton* button() const { return static_cast<TCuteButton*>(widget()); }
};

QAccessibleInterface* cuteButtonAccessible(const QString& className, QObject* object)
{
    if (className == QLatin1String("TCuteButton") && object && object->isWidgetType())
        return new TCuteButtonAccessible(static_cast<TCuteButton*>(object));
    return nullptr;
}

} // namespace

TCuteButton::TCuteButton(QWidget* parent) : QWidget(parent)
{
    static const bool accessible = [] {
        QAccessible::installFactory(cuteButtonAccessible);
        return true;
    }();
    (void)accessible;
    // A button holds no child controls; its rest look is a raised inner ring.
    FBevelOuter = bvNone;
    FBevelInner = bvRaised;
    resize(75, 25);
    setFocusPolicy(Qt::StrongFocus);
    FColor = palette().color(QPalette::Button);
    setAttribute(Qt::WA_Hover, false);
}

void TCuteButton::Click()
{
    if (OnClick)
        OnClick(this);
    emit clicked();
}

void TCuteButton::invalidate()
{
    ++FRepaintRequests;
    update();
}

void TCuteButton::SetBevelOuter(TBevelCut value)
{
    FBevelOuter = value;
    invalidate();
}

void TCuteButton::SetBevelInner(TBevelCut value)
{
    FBevelInner = value;
    invalidate();
}

void TCuteButton::SetBevelWidth(int value)
{
    FBevelWidth = value;
    invalidate();
}

void TCuteButton::SetFlat(bool value)
{
    if (value == FFlat)
        return;
    FFlat = value;
    SetBevelInner(value ? bvNone : bvRaised);
}

std::string TCuteButton::Caption() const
{
    return sjis::encode(FCaption);
}

void TCuteButton::SetCaption(const std::string& cp932)
{
    const QString text = sjis::decode(cp932);
    if (text == FCaption)
        return;
    if (FShortcutId)
        releaseShortcut(FShortcutId);
    FShortcutId = 0;
    FCaption = text;
    if (!Mnemonic().isNull())
        FShortcutId = grabShortcut(QKeySequence::mnemonic(FCaption), Qt::WindowShortcut);
    invalidate();
    if (QAccessible::isActive()) {
        QAccessibleEvent named(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&named);
    }
}

void TCuteButton::SetColor(const QColor& value)
{
    FColor = value;
    invalidate();
}

void TCuteButton::SetAlignment(Qt::Alignment value)
{
    FAlignment = value;
    invalidate();
}

// The character after the caption's first "&", unless that "&" ends it.
QChar TCuteButton::Mnemonic() const
{
    const int amp = FCaption.indexOf(QLatin1Char('&'));
    if (amp < 0 || amp + 1 >= FCaption.size())
        return QChar();
    return FCaption.at(amp + 1);
}

void TCuteButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QColor light = palette().color(QPalette::Light);
    const QColor shadow = palette().color(QPalette::Dark);
    QRect r = rect();

    // One ring of FBevelWidth pixels: highlight on top/left when raised,
    // shadow there when lowered; then shrink the rectangle past it.
    auto ring = [&](TBevelCut cut) {
        if (cut == bvNone)
            return;
        const QColor tl = cut == bvRaised ? light : shadow;
        const QColor br = cut == bvRaised ? shadow : light;
        for (int i = 0; i < FBevelWidth; ++i) {
            p.setPen(tl);
            p.drawLine(r.left(), r.top(), r.right(), r.top());
            p.drawLine(r.left(), r.top(), r.left(), r.bottom());
            p.setPen(br);
            p.drawLine(r.right(), r.top(), r.right(), r.bottom());
            p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
            r.adjust(1, 1, -1, -1);
        }
    };
    ring(FBevelOuter);
    ring(FBevelInner);
    p.fillRect(r, FColor);

    if (!FCaption.isEmpty()) {
        p.setFont(font());
        p.setPen(isEnabled() ? palette().color(QPalette::ButtonText)
                             : palette().color(QPalette::Disabled, QPalette::ButtonText));
        p.drawText(r,
                   int(FAlignment | Qt::AlignVCenter) | Qt::TextShowMnemonic | Qt::TextExpandTabs | Qt::TextSingleLine,
                   FCaption);
    }
    // The bevels alone hardly tell a focused button from a hovered one (and
    // not at all once the pointer has left it): the keyboard's place gets
    // its own ring inside the face.
    if (hasFocus())
        look::DrawFocusRing(p, r.adjusted(1, 1, -1, -1));
}

void TCuteButton::doMouseEnter(bool leftDown)
{
    FMouseInside = true;
    if (OnMouseEnter)
        OnMouseEnter(this);
    // Dragging onto the button with the left button held shows it pressed.
    SetBevelOuter(leftDown ? bvLowered : bvRaised);
}

void TCuteButton::doMouseLeave()
{
    FMouseInside = false;
    if (OnMouseLeave)
        OnMouseLeave(this);
    SetBevelOuter(bvNone);
}

void TCuteButton::enterEvent(QEnterEvent* e)
{
    QWidget::enterEvent(e);
    if (!FMouseInside)
        doMouseEnter(QGuiApplication::mouseButtons() & Qt::LeftButton);
}

void TCuteButton::leaveEvent(QEvent* e)
{
    QWidget::leaveEvent(e);
    if (FMouseInside)
        doMouseLeave();
}

void TCuteButton::mouseMoveEvent(QMouseEvent* e)
{
    if (e->buttons() & Qt::LeftButton) {
        const bool inside = rect().contains(e->position().toPoint());
        if (inside && !FMouseInside)
            doMouseEnter(true);
        else if (!inside && FMouseInside)
            doMouseLeave();
    }
    QWidget::mouseMoveEvent(e);
}

void TCuteButton::mousePressEvent(QMouseEvent* e)
{
    FMouseInside = true; // a press is always on the button
    if (e->button() == Qt::LeftButton) {
        FClickArmed = true;
        SetBevelOuter(bvLowered);
    }
    if (OnMouseDown)
        OnMouseDown(this, e->button(), e->position().toPoint());
}

// The second press of a double click arrives as a double-click event (on
// some platforms after a plain press): it lowers the ring like a press but
// leaves the click disarmed, so a quick double click clicks once.
void TCuteButton::mouseDoubleClickEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton) {
        FClickArmed = false;
        SetBevelOuter(bvLowered);
    }
}

void TCuteButton::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton) {
        const bool click = FClickArmed && rect().contains(e->position().toPoint());
        FClickArmed = false;
        // The click comes first, so a modal dialog opened by it sees the
        // button still lowered.
        if (click)
            Click();
        SetBevelOuter(bvNone);
    }
    if (OnMouseUp)
        OnMouseUp(this, e->button(), e->position().toPoint());
}

void TCuteButton::focusInEvent(QFocusEvent* e)
{
    SetBevelOuter(bvRaised);
    QWidget::focusInEvent(e);
    if (OnEnter)
        OnEnter(this);
}

void TCuteButton::focusOutEvent(QFocusEvent* e)
{
    QWidget::focusOutEvent(e);
    if (OnExit)
        OnExit(this);
    SetBevelOuter(bvNone);
}

void TCuteButton::keyPressEvent(QKeyEvent* e)
{
    int key = e->key();
    if (OnKeyDown)
        OnKeyDown(this, key, e->modifiers());
    if ((key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) && isEnabled()) {
        SetBevelOuter(bvLowered);
        Click();
        SetBevelOuter(bvRaised);
        return;
    }
    // Anything else (Escape, Tab, ...) goes on to the window.
    e->ignore();
}

void TCuteButton::keyReleaseEvent(QKeyEvent* e)
{
    int key = e->key();
    if (OnKeyUp)
        OnKeyUp(this, key, e->modifiers());
    e->ignore();
}

bool TCuteButton::event(QEvent* e)
{
    if (e->type() == QEvent::Shortcut) {
        // The caption's mnemonic (Alt+letter); only while the parent shows.
        if (isEnabled() && (!parentWidget() || parentWidget()->isVisible()))
            Click();
        return true;
    }
    return QWidget::event(e);
}
