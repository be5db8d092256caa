#pragma once
// The help viewer: a window of the program that shows the help file.

#include <QString>
#include <QWidget>

class QTextBrowser;

class THelpViewer : public QWidget {
    Q_OBJECT
public:
    explicit THelpViewer(QWidget* parent = nullptr);

    // The help file's path: under the program's data folder (DataFolder()),
    // in the folder "ｺﾋﾟｰ ～ pelmora2", file "Pelmora.hlp".
    static QString HelpFile();

    // Opens the file's contents page; a missing or unreadable file is
    // reported in the viewer itself.
    void ShowContents(const QString& file);

    QTextBrowser* Browser() const { return FBrowser; }

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    QTextBrowser* FBrowser;
};
