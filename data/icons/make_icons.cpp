// Writes the program's icons for the desktop's icon theme from the same
// artwork as the window icon: the scalable picture and PNGs of the given
// sizes, under FOLDER/hicolor/<size>/apps/NAME.{svg,png}.
//   make_icons FOLDER NAME SIZE...
#include "artwork.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: make_icons FOLDER NAME SIZE...\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]) + QStringLiteral("/hicolor/");
    const QString name = QString::fromLocal8Bit(argv[2]);
    bool ok = QDir().mkpath(root + QStringLiteral("scalable/apps"));
    QFile svg(root + QStringLiteral("scalable/apps/") + name + QStringLiteral(".svg"));
    ok = ok && svg.open(QIODevice::WriteOnly) && svg.write(art::bubblesSvg().toUtf8()) > 0;
    svg.close();
    for (int i = 3; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        const QString dir = root + QStringLiteral("%1x%1/apps").arg(size);
        ok = ok && size > 0 && QDir().mkpath(dir) &&
            art::bubblesImage(size).save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
    }
    if (!ok)
        std::fprintf(stderr, "make_icons: could not write under %s\n", argv[1]);
    return ok ? 0 : 1;
}
