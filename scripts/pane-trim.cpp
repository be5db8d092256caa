// Cost of keeping the conversation pane at its scrollback limit: the
// widget's own maximum block count against trimming the front by hand.
// Not a test; build and run it by hand:
//   g++ -std=c++17 -O2 -fPIC scripts/pane-trim.cpp -o /tmp/pane-trim $(pkg-config --cflags --libs Qt6Widgets)
//   QT_QPA_PLATFORM=offscreen /tmp/pane-trim
// Mode 0: setMaximumBlockCount; 1: trim and insert in one edit; 2: trim,
// then insert, in two edits (what the pane does).
#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <cstdio>
static QString batch(int from, int n)
{
    QString t;
    for (int i = 0; i < n; ++i) {
        if (i)
            t += '\n';
        t += QStringLiteral("name> line %1 ").arg(from + i) + QString(60, QChar(0x3042));
    }
    return t;
}
int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int cap = 10000, per = 300, rounds = 200;
    for (int mode = 0; mode < 3; ++mode) {
        QPlainTextEdit e;
        e.resize(480, 300);
        e.show();
        e.setUndoRedoEnabled(false);
        if (mode == 0)
            e.setMaximumBlockCount(cap);
        int shown = 0;
        QElapsedTimer t;
        qint64 worst = 0, total = 0;
        for (int r = 0; r < rounds; ++r) {
            QString text = batch(r * per, per);
            t.start();
            if (mode == 0) {
                e.appendPlainText(text);
            } else {
                QTextDocument* doc = e.document();
                int trim = shown + per > cap ? shown + per - cap : 0;
                QTextCursor c(doc);
                if (mode == 1)
                    c.beginEditBlock();
                if (trim > 0) {
                    c.setPosition(doc->findBlockByNumber(trim).position(), QTextCursor::KeepAnchor);
                    c.removeSelectedText();
                }
                c.movePosition(QTextCursor::End);
                if (mode == 2)
                    c.beginEditBlock();
                if (shown)
                    c.insertBlock();
                c.insertText(text);
                c.endEditBlock();
                shown += per - trim;
            }
            e.verticalScrollBar()->setValue(e.verticalScrollBar()->maximum());
            qint64 ns = t.nsecsElapsed();
            app.processEvents();
            total += ns;
            if (r > rounds / 2 && ns > worst)
                worst = ns;
        }
        std::printf("%s: blocks %d, mean after the cap %.2f ms per %d-line update, worst after the cap %.2f ms\n",
                    mode == 0       ? "setMaximumBlockCount"
                        : mode == 1 ? "trim in the insertion's edit"
                                    : "trim, then insert, two edits",
                    e.document()->blockCount(), total / 1e6 / (rounds / 2), per, worst / 1e6);
    }
}
