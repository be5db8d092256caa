#include "desktopsetup.h"

#include "desktopid.h"
#include "pelmora_version.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QStandardPaths>
#include <QTranslator>

void SetUpDesktop(QCoreApplication& app)
{
    QCoreApplication::setApplicationVersion(QStringLiteral(PELMORA_VERSION));
    QGuiApplication::setDesktopFileName(QString::fromLatin1(kDesktopId));
    // The program speaks Japanese whatever the locale, so Qt's texts do too.
    auto* qt = new QTranslator(&app);
    if (qt->load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qt);
    else
        delete qt;
}

QString DataFolder()
{
    const QString beside =
        QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/pelmora"));
    if (QFileInfo(beside).isDir())
        return beside;
    return QStandardPaths::locate(QStandardPaths::GenericDataLocation, QStringLiteral("pelmora"),
                                  QStandardPaths::LocateDirectory);
}
