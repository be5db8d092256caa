// Says where the program looks for its help file and whether it is there;
// copied into an installed tree, it shows what the installed program finds.
#include "helpviewer.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString file = THelpViewer::HelpFile();
    std::printf("%s %s\n", QFileInfo::exists(file) ? "found" : "missing", file.toUtf8().constData());
    return 0;
}
