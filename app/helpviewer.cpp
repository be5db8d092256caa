#include "helpviewer.h"

#include "desktopsetup.h"
#include "modaldialog.h"
#include "palette.h"
#include "sjis.h"
#include "texts.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QKeyEvent>
#include <QTextBrowser>
#include <QVBoxLayout>

THelpViewer::THelpViewer(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("HelpViewer"));
    setWindowTitle(sjis::decode(txt::kHelpTitle));
    setWindowIcon(ProgramIcon());
    setPalette(look::ProgramPalette());
    resize(520, 480);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    FBrowser = new QTextBrowser(this);
    FBrowser->setFont(pelmoraFont(14));
    FBrowser->setOpenExternalLinks(false);
    layout->addWidget(FBrowser);
}

QString THelpViewer::HelpFile()
{
    const QString help = QLatin1Char('/') + sjis::decode(txt::kHelpFolder) + QStringLiteral("/Pelmora.hlp");
    QString folder = DataFolder();
    // The user's own data folder (where the logs go) comes first among the
    // desktop's data folders: take the one that holds the help.
    if (!QFileInfo::exists(folder + help))
        for (const QString& f : QStandardPaths::locateAll(QStandardPaths::GenericDataLocation,
                                                          QStringLiteral("pelmora"), QStandardPaths::LocateDirectory))
            if (QFileInfo::exists(f + help)) {
                folder = f;
                break;
            }
    if (folder.isEmpty()) // not found: the viewer names where it looked
        folder = QCoreApplication::applicationDirPath() + QStringLiteral("/../share/pelmora");
    return folder + help;
}

void THelpViewer::keyPressEvent(QKeyEvent* e)
{
    // Escape closes the viewer, as it closes a dialog.
    if (e->key() == Qt::Key_Escape && !(e->modifiers() & ~Qt::KeypadModifier)) {
        close();
        return;
    }
    QWidget::keyPressEvent(e);
}

void THelpViewer::ShowContents(const QString& file)
{
    QFile f(file);
    if (f.open(QIODevice::ReadOnly))
        FBrowser->setHtml(QString::fromUtf8(f.readAll()));
    else
        FBrowser->setPlainText(sjis::decode(txt::kHelpMissing) + QStringLiteral("\n") + file);
    show();
    raise();
    activateWindow();
}
