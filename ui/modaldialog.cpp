#include "modaldialog.h"

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

// Resources of a static library must be registered by hand.
static void InitUiResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(ui);
        return true;
    }();
    (void)done;
}

std::function<int(QDialog*)> TModalDialog::Answerer;

TModalDialog::TModalDialog(QWidget* parent) : QDialog(parent)
{
    InitUiResources();
    setFont(PelmoraFont(12));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);
    setWindowIcon(ProgramIcon());
}

void TModalDialog::SetupWindow(const std::string& caption, int clientWidth, int clientHeight, bool dialogBorder)
{
    setWindowTitle(sjis::decode(caption));
    if (dialogBorder)
        setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                       | Qt::MSWindowsFixedSizeDialogHint);
    else
        setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint
                       | Qt::WindowCloseButtonHint);
    setFixedSize(clientWidth, clientHeight);
}

void TModalDialog::SetDesignedPosition(int left, int top)
{
    FCentred = false;
    move(left, top);
}

void TModalDialog::PlaceAndFocus()
{
    if (FCentred) {
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect r(QPoint(), frameGeometry().size());
            r.moveCenter(screen->availableGeometry().center());
            move(r.topLeft());
        }
    }
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
        show();
        PlaceAndFocus();
        activateWindow();
        const int answer = answerer(this);
        if (FModalResult == mrNone)
            FModalResult = answer > 0 ? answer : int(mrCancel);
        hide();
        return FModalResult;
    }
    setWindowModality(Qt::ApplicationModal);
    // Placed before the loop starts; exec() shows the window.
    QMetaObject::invokeMethod(this, [this] { PlaceAndFocus(); }, Qt::QueuedConnection);
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
            return true;  // without a cancel button Escape does nothing
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

QFont PelmoraFont(int pixelSize, bool bold)
{
    static const QStringList families = [] {
        QStringList wanted{sjis::decode(txt::kFontPGothic), QStringLiteral("MS PGothic"),
                           QStringLiteral("IPAPGothic"), QStringLiteral("VL PGothic"),
                           QStringLiteral("Noto Sans CJK JP")};
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

QFrame* MakePanel(QWidget* parent, int x, int y, int w, int h)
{
    auto* panel = new QFrame(parent);
    panel->setFrameShape(QFrame::NoFrame);
    panel->setGeometry(x, y, w, h);
    QPalette pal = panel->palette();
    pal.setColor(QPalette::Window, QColor(181, 255, 255));
    panel->setPalette(pal);
    panel->setAutoFillBackground(true);
    return panel;
}

QLabel* MakeLabel(QWidget* parent, int x, int y, const std::string& cp932, int pixelSize)
{
    auto* label = new QLabel(parent);
    label->setFont(PelmoraFont(pixelSize));
    label->setTextFormat(Qt::PlainText);
    label->move(x, y);
    label->setProperty("pelmoraAutoSize", true);
    SetCaption(label, cp932);
    return label;
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

QPixmap DialogPicture()
{
    InitUiResources();
    return QPixmap(QStringLiteral(":/pelmora/images/face37.png"));
}

QPixmap ProgramPicture()
{
    InitUiResources();
    return QPixmap(QStringLiteral(":/pelmora/images/pelmora63.png"));
}

QIcon ProgramIcon()
{
    InitUiResources();
    QIcon icon;
    icon.addFile(QStringLiteral(":/pelmora/images/pelmora32.png"));
    icon.addFile(QStringLiteral(":/pelmora/images/pelmora63.png"));
    return icon;
}
