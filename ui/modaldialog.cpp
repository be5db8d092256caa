#include "modaldialog.h"

#include "flatbutton.h"
#include "sjis.h"
#include "texts.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFrame>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

// Resources of a static library must be registered by hand, and
// Q_INIT_RESOURCE may not stand inside a namespace (Qt's own advice).
inline void registerUiResources()
{
    Q_INIT_RESOURCE(ui);
}

namespace {

void initUiResources()
{
    static const bool done = [] {
        registerUiResources();
        return true;
    }();
    (void)done;
}

// A push button that only carries a key to onClick: its caption is its
// name, and it stands where it is never seen.
QPushButton* hiddenButton(QDialog* dialog, QWidget* parent, const char* caption, const QRect& at,
                          std::function<void()> onClick)
{
    auto* button = new QPushButton(QLatin1String(caption), parent);
    button->setGeometry(at);
    // Hidden too: never in the tab order, never offered to assistive
    // technology; its click() still carries the key.
    button->hide();
    QObject::connect(button, &QPushButton::clicked, dialog, std::move(onClick));
    return button;
}

} // namespace

std::function<int(QDialog*)> TModalDialog::Answerer;

TModalDialog::TModalDialog(QWidget* parent) : QDialog(parent)
{
    initUiResources();
    setFont(pelmoraFont(12));
    QPalette pal = look::ProgramPalette();
    pal.setColor(QPalette::Window, look::kDialog);
    setPalette(pal);
    setAutoFillBackground(true);
    setWindowIcon(ProgramIcon());
}

void TModalDialog::setupWindow(const std::string& caption, int clientWidth, int clientHeight, bool dialogBorder)
{
    setWindowTitle(sjis::decode(caption));
    // A dialog of its window (transient for it), with a close box only:
    // nothing in it can be minimised or maximised.
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
    if (dialogBorder)
        flags |= Qt::MSWindowsFixedSizeDialogHint;
    setWindowFlags(flags);
    setFixedSize(clientWidth, clientHeight);
}

void TModalDialog::setDesignedPosition(int left, int top)
{
    FCentred = false;
    move(left, top);
}

QPushButton* TModalDialog::addDefaultButton(QWidget* parent, const QRect& at, std::function<void()> onClick)
{
    FDefaultButton = hiddenButton(this, parent, "Button1", at, std::move(onClick));
    return FDefaultButton;
}

QPushButton* TModalDialog::addCancelButton(QWidget* parent, const QRect& at, std::function<void()> onClick)
{
    FCancelButton = hiddenButton(this, parent, "Button2", at, std::move(onClick));
    return FCancelButton;
}

// Over the window that opens it: the modal dialog in front (the connect
// dialog opens the error box) or the owner's window, centred on it and kept
// on that window's screen. Without a shown owner: the designed place, or
// the primary screen's centre.
void TModalDialog::place()
{
    // Opened while the user works in another program (a question after the
    // hub went away): it waits behind, the window asks for attention, and
    // the keyboard stays where the user is typing.
    setAttribute(Qt::WA_ShowWithoutActivating, QGuiApplication::applicationState() != Qt::ApplicationActive);
    QWidget* over = QApplication::activeModalWidget();
    if (!over || over == this || !over->isVisible())
        over = parentWidget() ? parentWidget()->window() : nullptr;
    const bool owned = over && over->isVisible();
    const QScreen* screen = owned ? over->screen() : QGuiApplication::primaryScreen();
    if (!screen || (!owned && !FCentred))
        return;
    const QRect area = screen->availableGeometry();
    // Before its first showing the dialog's frame is not known yet: take
    // the owner's.
    const QSize frame = owned ? over->frameGeometry().size() - over->size() : QSize();
    QRect r(QPoint(), isVisible() ? frameGeometry().size() : size() + frame);
    r.moveCenter(owned ? over->frameGeometry().center() : area.center());
    r.moveLeft(qBound(area.left(), r.left(), qMax(area.left(), area.right() - r.width())));
    r.moveTop(qBound(area.top(), r.top(), qMax(area.top(), area.bottom() - r.height())));
    move(r.topLeft());
}

void TModalDialog::placeAndFocus()
{
    // Every showing starts on the first control of the tab order.
    for (QWidget* w = nextInFocusChain(); w && w != this; w = w->nextInFocusChain()) {
        if ((w->focusPolicy() & Qt::TabFocus) && w->isEnabled() && isAncestorOf(w)) {
            w->setFocus(Qt::TabFocusReason);
            break;
        }
    }
    // Enter and Escape are taken by the dialog before any control sees them.
    installEventFilter(this);
    for (QWidget* w : findChildren<QWidget*>())
        w->installEventFilter(this);
}

int TModalDialog::ShowModal()
{
    FModalResult = mrNone;
    setResult(0);
    if (Answerer) {
        // A copy: the answerer may replace the hook while it runs.
        const auto answerer = Answerer;
        place();
        show();
        placeAndFocus();
        activateWindow();
        const int answer = answerer(this);
        if (FModalResult == mrNone)
            FModalResult = answer > 0 ? answer : int(mrCancel);
        hide();
        return FModalResult;
    }
    setWindowModality(Qt::ApplicationModal);
    place();
    // Placed before the loop starts; exec() shows the window.
    QMetaObject::invokeMethod(
        this, [this] { placeAndFocus(); }, Qt::QueuedConnection);
    exec();
    return FModalResult == mrNone ? int(mrCancel) : FModalResult;
}

void TModalDialog::SetModalResult(int value)
{
    done(value);
}

void TModalDialog::done(int r)
{
    FModalResult = r;
    QDialog::done(r);
}

// The close box, and QDialog's own Escape handling, give Cancel.
void TModalDialog::reject()
{
    done(mrCancel);
}

bool TModalDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(event);
        const auto mods = k->modifiers() & ~Qt::KeypadModifier;
        if ((k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) && mods == Qt::NoModifier && FDefaultButton) {
            FDefaultButton->click();
            return true;
        }
        if (k->key() == Qt::Key_Escape && mods == Qt::NoModifier) {
            if (FCancelButton)
                FCancelButton->click();
            else if (FEscapeResult != mrNone)
                SetModalResult(FEscapeResult);
            return true; // otherwise Escape does nothing
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TModalDialog::keyPressEvent(QKeyEvent* e)
{
    // QDialog would reject on Escape and press a default push button on
    // Enter; both are decided by the filter above.
    if (e->key() == Qt::Key_Escape || e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}

QFont pelmoraFont(int pixelSize, bool bold)
{
    static const QStringList families = [] {
        QStringList wanted{sjis::decode(txt::kFontPGothic), QStringLiteral("MS PGothic"), QStringLiteral("IPAPGothic"),
                           QStringLiteral("VL PGothic"), QStringLiteral("Noto Sans CJK JP")};
        QStringList present;
        const QStringList installed = QFontDatabase::families();
        for (const QString& f : wanted)
            if (installed.contains(f))
                present << f;
        return present.isEmpty() ? wanted : present;
    }();
    QFont f;
    f.setFamilies(families);
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    return f;
}

QFrame* makePanel(QWidget* parent, int x, int y, int w, int h)
{
    auto* panel = new QFrame(parent);
    panel->setFrameShape(QFrame::NoFrame);
    panel->setGeometry(x, y, w, h);
    QPalette pal = panel->palette();
    pal.setColor(QPalette::Window, look::kPanel);
    panel->setPalette(pal);
    panel->setAutoFillBackground(true);
    return panel;
}

QLabel* makeLabel(QWidget* parent, int x, int y, const std::string& cp932, int pixelSize)
{
    auto* label = new QLabel(parent);
    label->setFont(pelmoraFont(pixelSize));
    label->setTextFormat(Qt::PlainText);
    label->move(x, y);
    label->setProperty("pelmoraAutoSize", true);
    SetCaption(label, cp932);
    return label;
}

TCuteButton* makeFlatButton(QWidget* parent, const char* name, const QRect& at, const std::string& cp932,
                            std::function<void()> onClick, const QColor& face)
{
    auto* button = new TCuteButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(at);
    button->SetCaption(cp932);
    button->SetColor(face);
    button->OnClick = [onClick = std::move(onClick)](TCuteButton*) { onClick(); };
    return button;
}

QLabel* makePicture(QWidget* parent, const char* name, const QRect& at, const QPixmap& picture)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(at);
    label->setPixmap(picture);
    return label;
}

void setTextColour(QWidget* widget, const QColor& colour)
{
    QPalette pal = widget->palette();
    pal.setColor(QPalette::WindowText, colour);
    widget->setPalette(pal);
}

void SetCaption(QLabel* label, const std::string& cp932)
{
    label->setText(sjis::decode(cp932));
    if (label->property("pelmoraAutoSize").toBool())
        label->adjustSize();
}

std::string Caption(const QLabel* label)
{
    return sjis::encode(label->text());
}

QPixmap dialogPicture()
{
    initUiResources();
    return QPixmap(QStringLiteral(":/pelmora/images/face37.png"));
}

QPixmap programPicture()
{
    initUiResources();
    return QPixmap(QStringLiteral(":/pelmora/images/pelmora63.png"));
}

QIcon ProgramIcon()
{
    initUiResources();
    QIcon icon;
    icon.addFile(QStringLiteral(":/pelmora/images/pelmora32.png"));
    icon.addFile(QStringLiteral(":/pelmora/images/pelmora63.png"));
    return icon;
}
