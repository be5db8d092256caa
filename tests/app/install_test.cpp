// cmake --install into a temporary prefix lays out the program, its desktop
// entry, AppStream data, icons, help and the hub service, all under that
// prefix; a program in the installed tree finds the installed help.
#include "sjis.h"
#include "texts.h"

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include "qtprint.h"

namespace {

TEST(Install, IntoATemporaryPrefixOnlyAndTheHelpIsFoundThere)
{
    QTemporaryDir prefix;
    ASSERT_TRUE(prefix.isValid());
    QProcess cmake;
    cmake.start(QStringLiteral(CMAKE_COMMAND),
                {QStringLiteral("--install"), QStringLiteral(BUILD_DIR), QStringLiteral("--prefix"), prefix.path()});
    ASSERT_TRUE(cmake.waitForFinished(60000));
    ASSERT_EQ(cmake.exitCode(), 0) << cmake.readAllStandardError().toStdString();

    const QString root = prefix.path() + QLatin1Char('/');
    // Every file it wrote lies under the prefix, the service's files too.
    QFile manifest(QStringLiteral(BUILD_DIR "/install_manifest.txt"));
    ASSERT_TRUE(manifest.open(QIODevice::ReadOnly));
    const QStringList written = QString::fromUtf8(manifest.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString& file : written)
        EXPECT_TRUE(file.startsWith(root)) << file.toStdString();
    for (const char* file : {"lib/systemd/system/pelmora-hub.service", "etc/default/pelmora-hub"})
        EXPECT_TRUE(written.contains(root + QLatin1String(file))) << file;
    const QString help =
        QStringLiteral("share/pelmora/") + sjis::decode(txt::kHelpFolder) + QStringLiteral("/Pelmora.hlp");
    for (const QString& file :
         {QStringLiteral("bin/pelmora"), QStringLiteral("share/applications/jp.tovanit.pelmora.desktop"),
          QStringLiteral("share/metainfo/jp.tovanit.pelmora.metainfo.xml"),
          QStringLiteral("share/icons/hicolor/scalable/apps/jp.tovanit.pelmora.svg"), help,
          QStringLiteral("share/doc/pelmora/copyright"), QStringLiteral("share/doc/pelmora/changelog.Debian.gz"),
          QStringLiteral("share/man/man1/pelmora.1.gz")})
        EXPECT_TRUE(QFile::exists(root + file)) << file.toStdString();
    for (int size : {32, 48, 64, 128, 256}) {
        const QImage icon(root + QStringLiteral("share/icons/hicolor/%1x%1/apps/jp.tovanit.pelmora.png").arg(size));
        EXPECT_EQ(icon.size(), QSize(size, size));
    }

    // A program in the installed bin/ looks beside itself, not in the build tree.
    const QString probe = root + QStringLiteral("bin/help_probe");
    ASSERT_TRUE(QFile::copy(QStringLiteral(HELP_PROBE_PATH), probe));
    QFile::setPermissions(probe, QFile::ReadOwner | QFile::ExeOwner);
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_DIRS"), root + QStringLiteral("nothing"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), root + QStringLiteral("nothing"));
    p.setProcessEnvironment(env);
    p.start(probe, {});
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(QString::fromUtf8(p.readAllStandardOutput()).trimmed(), QStringLiteral("found ") + root + help);
}

} // namespace
