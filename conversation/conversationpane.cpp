#include "conversationpane.h"

#include "sjis.h"
#include "texts.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QMenu>
#include <QScrollBar>
#include <QSyntaxHighlighter>
#include <QTextBlock>
#include <QToolTip>

#include <cctype>

namespace {

constexpr QLatin1StringView kForms[] = {QLatin1StringView("http://"), QLatin1StringView("https://"),
                                        QLatin1StringView("ftp://"), QLatin1StringView("www.")};

bool asciiWordChar(QChar c)
{
    const char16_t u = c.unicode();
    return u < 0x80 && (std::isalnum(static_cast<unsigned char>(u)) || u == '.' || u == '/' || u == '_');
}

// Printable ASCII that an address may hold; a space, any control or
// non-ASCII character (a Japanese word right after the address, U+FFFD for
// undecodable bytes) ends it.
bool urlChar(QChar c)
{
    const char16_t u = c.unicode();
    return u > 0x20 && u < 0x7F && u != '<' && u != '>' && u != '"' && u != '`' && u != '{' && u != '}' && u != '|' &&
        u != '\\' && u != '^';
}

bool formAt(const QString& s, qsizetype i, QLatin1StringView form)
{
    if (s.size() - i < form.size())
        return false;
    for (qsizetype k = 0; k < form.size(); ++k)
        if (s[i + k].toLower() != QLatin1Char(form[k]))
            return false;
    return true;
}

// Punctuation that closes a sentence rather than the address: "see
// http://x/." links "http://x/"; a ")" stays when the address opened one.
qsizetype trimEnd(const QString& s, qsizetype start, qsizetype end)
{
    int open = 0, close = 0;
    for (qsizetype k = start; k < end; ++k) {
        open += s[k] == QLatin1Char('(');
        close += s[k] == QLatin1Char(')');
    }
    while (end > start) {
        const QChar c = s[end - 1];
        if (c == QLatin1Char(')') && close > open) {
            --close;
        } else if (!QStringLiteral(".,;:!?'").contains(c)) {
            break;
        }
        --end;
    }
    return end;
}

class LinkHighlighter : public QSyntaxHighlighter {
public:
    explicit LinkHighlighter(QTextDocument* doc) : QSyntaxHighlighter(doc)
    {
        FFormat.setForeground(QColor(0, 0, 238));
        FFormat.setFontUnderline(true);
    }

protected:
    // Formats are drawn over the text; the text itself is untouched.
    void highlightBlock(const QString& text) override
    {
        for (const TLink& l : FindLinks(text))
            setFormat(l.start, l.length, FFormat);
    }

private:
    QTextCharFormat FFormat;
};

} // namespace

std::vector<TLink> FindLinks(const QString& line)
{
    std::vector<TLink> links;
    const qsizetype n = line.size();
    qsizetype i = 0;
    while (i < n) {
        qsizetype found = 0;
        if (i == 0 || !asciiWordChar(line[i - 1])) {
            for (QLatin1StringView form : kForms) {
                if (!formAt(line, i, form))
                    continue;
                qsizetype end = i + form.size();
                while (end < n && urlChar(line[end]))
                    ++end;
                end = trimEnd(line, i + form.size(), end);
                if (end > i + form.size())
                    found = end - i;
                break;
            }
        }
        if (found > 0) {
            links.push_back({static_cast<int>(i), static_cast<int>(found)});
            i += found;
        } else {
            ++i;
        }
    }
    return links;
}

QUrl LinkUrl(const QString& linkText)
{
    const QString text =
        formAt(linkText, 0, QLatin1StringView("www.")) ? QStringLiteral("http://") + linkText : linkText;
    const QUrl url(text, QUrl::TolerantMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https") && scheme != QLatin1String("ftp")))
        return QUrl();
    return url;
}

std::function<void(const QUrl&)> TConversationPane::Opener = [](const QUrl& url) { QDesktopServices::openUrl(url); };

void TConversationPane::Open(const QUrl& url)
{
    if (url.isValid() && Opener)
        Opener(url);
}

TConversationPane::TConversationPane(QWidget* parent) : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setFocusPolicy(Qt::ClickFocus);
    viewport()->setMouseTracking(true);
    FLinks = new LinkHighlighter(document());
}

bool TConversationPane::ScrollKey(const QKeyEvent* key)
{
    const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
    QAbstractSlider::SliderAction action;
    if (key->key() == Qt::Key_PageUp && mods == Qt::NoModifier)
        action = QAbstractSlider::SliderPageStepSub;
    else if (key->key() == Qt::Key_PageDown && mods == Qt::NoModifier)
        action = QAbstractSlider::SliderPageStepAdd;
    else if (key->key() == Qt::Key_Home && mods == Qt::ControlModifier)
        action = QAbstractSlider::SliderToMinimum;
    else if (key->key() == Qt::Key_End && mods == Qt::ControlModifier)
        action = QAbstractSlider::SliderToMaximum;
    else
        return false;
    verticalScrollBar()->triggerAction(action);
    return true;
}

QString TConversationPane::LinkAt(const QPoint& viewportPos) const
{
    const QTextCursor c = cursorForPosition(viewportPos);
    const QTextBlock block = c.block();
    if (!block.isValid() || !blockBoundingGeometry(block).translated(contentOffset()).contains(QPointF(viewportPos)))
        return QString();
    const int col = c.positionInBlock();
    const QString text = block.text();
    for (const TLink& l : FindLinks(text))
        if (col >= l.start && col < l.start + l.length)
            return text.mid(l.start, l.length);
    return QString();
}

QMenu* TConversationPane::CreateContextMenu(const QPoint& viewportPos)
{
    auto* menu = new QMenu(this);
    auto add = [this, menu](const std::string& caption, std::function<void()> run) {
        QAction* a = menu->addAction(sjis::decode(caption));
        connect(a, &QAction::triggered, this, std::move(run));
        return a;
    };
    add(txt::kPaneCopy, [this] { copy(); })->setEnabled(textCursor().hasSelection());
    add(txt::kPaneSelectAll, [this] { selectAll(); });
    const QUrl url = LinkUrl(LinkAt(viewportPos));
    if (url.isValid()) {
        menu->addSeparator();
        add(txt::kPaneOpenLink, [url] { Open(url); });
        add(txt::kPaneCopyLink, [url] { QGuiApplication::clipboard()->setText(url.toString()); });
    }
    return menu;
}

bool TConversationPane::event(QEvent* e)
{
    // Ctrl+C is the menu's connect command unless there is something here
    // to copy.
    if (e->type() == QEvent::ShortcutOverride && static_cast<QKeyEvent*>(e)->matches(QKeySequence::Copy)) {
        e->setAccepted(textCursor().hasSelection());
        return true;
    }
    return QPlainTextEdit::event(e);
}

bool TConversationPane::viewportEvent(QEvent* e)
{
    if (e->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(e);
        const QTextBlock block = cursorForPosition(help->pos()).block();
        QString tip;
        if (LineTime && block.isValid() &&
            blockBoundingGeometry(block).translated(contentOffset()).contains(QPointF(help->pos())))
            tip = LineTime(block.blockNumber());
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, viewport());
        return true;
    }
    return QPlainTextEdit::viewportEvent(e);
}

void TConversationPane::keyPressEvent(QKeyEvent* e)
{
    if (ScrollKey(e))
        return;
    if (e->matches(QKeySequence::Copy)) {
        copy();
        return;
    }
    QPlainTextEdit::keyPressEvent(e);
}

void TConversationPane::mousePressEvent(QMouseEvent* e)
{
    FPressedLink.clear();
    if (e->button() == Qt::LeftButton && (e->modifiers() & Qt::ControlModifier)) {
        FPressedLink = LinkAt(e->position().toPoint());
        if (!FPressedLink.isEmpty())
            return;
    }
    QPlainTextEdit::mousePressEvent(e);
}

void TConversationPane::mouseMoveEvent(QMouseEvent* e)
{
    if (!FPressedLink.isEmpty())
        return;
    if (e->buttons() == Qt::NoButton)
        viewport()->setCursor(LinkAt(e->position().toPoint()).isEmpty() ? Qt::ArrowCursor : Qt::PointingHandCursor);
    QPlainTextEdit::mouseMoveEvent(e);
}

void TConversationPane::mouseReleaseEvent(QMouseEvent* e)
{
    if (!FPressedLink.isEmpty()) {
        const QString pressed = FPressedLink;
        FPressedLink.clear();
        if (LinkAt(e->position().toPoint()) == pressed)
            Open(LinkUrl(pressed));
        return;
    }
    QPlainTextEdit::mouseReleaseEvent(e);
}

void TConversationPane::wheelEvent(QWheelEvent* e)
{
    if (e->modifiers() & Qt::ControlModifier) {
        FWheel += e->angleDelta().y();
        const int steps = FWheel / 120;
        FWheel -= steps * 120;
        if (steps != 0)
            emit zoomRequested(steps);
        e->accept();
        return;
    }
    QPlainTextEdit::wheelEvent(e);
}

void TConversationPane::contextMenuEvent(QContextMenuEvent* e)
{
    QMenu* menu = CreateContextMenu(e->pos());
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(e->globalPos());
}
