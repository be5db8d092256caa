#pragma once
// TConversationPane: the conversation, read-only; lines are appended at the
// end and never edited. On top of a plain text pane it
// - takes the focus by click (not by Tab); ScrollKey() lets the input box
//   hand PageUp, PageDown, Ctrl+Home and Ctrl+End over to it;
// - copies its selection on Ctrl+C only while it has the focus and a
//   selection: everywhere else Ctrl+C stays the menu's connect command;
// - draws addresses (http://, https://, ftp://, www.) as links over the
//   unchanged text; a link opens on Ctrl+click or from the context menu,
//   never on a plain click, through Opener;
// - turns Ctrl+wheel into zoomRequested(); the window sets the font;
// - shows LineTime(line) as the tooltip of a line.
//
//   TConversationPane::Opener = [&](const QUrl& u) { opened << u; };  // tests

#include <QPlainTextEdit>
#include <QUrl>

#include <functional>
#include <vector>

class QMenu;
class QSyntaxHighlighter;

// One address found in a line: where it starts and how many characters.
struct TLink {
    int start;
    int length;
};

// The addresses in one decoded line, left to right. Only the four forms
// above count; "file:", "javascript:" and the like are never links. Linear
// in the line's length.
std::vector<TLink> FindLinks(const QString& line);

// The URL a link's text stands for ("www.x" is "http://www.x"); empty when
// the text is not one of the four forms.
QUrl LinkUrl(const QString& linkText);

class TConversationPane : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TConversationPane(QWidget* parent = nullptr);

    // Hands an address or a folder to the desktop's handler
    // (QDesktopServices in production; tests replace it).
    static std::function<void(const QUrl&)> Opener;
    static void Open(const QUrl& url);

    // The tooltip text of the line with the given block number; empty, none.
    std::function<QString(int line)> LineTime;

    // PageUp/PageDown/Ctrl+Home/Ctrl+End scroll the pane; false for other keys.
    bool ScrollKey(const QKeyEvent* key);

    // The link text under a point of the viewport, or empty.
    QString LinkAt(const QPoint& viewportPos) const;

    // The context menu for a point of the viewport: コピー, すべて選択, and
    // on a link リンクを開く and リンクをコピー. The caller owns it.
    QMenu* CreateContextMenu(const QPoint& viewportPos);

signals:
    void zoomRequested(int steps);

protected:
    bool event(QEvent* e) override;
    bool viewportEvent(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;

private:
    QSyntaxHighlighter* FLinks;
    QString FPressedLink;
    int FWheel = 0;
};
