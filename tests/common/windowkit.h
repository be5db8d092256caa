#pragma once
// The kit of the tests that drive the real main window: every test gets an
// empty folder of its own for the settings, the spool and the logs, and every
// window a loopback address of the test file's own block.
#include "mainwindow.h"
#include "testkit.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace testkit {

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FDir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, FDir.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, FDir.path());
        qputenv("XDG_CACHE_HOME", QFile::encodeName(FDir.path() + QStringLiteral("/cache")));
        qputenv("XDG_DATA_HOME", QFile::encodeName(FDir.path() + QStringLiteral("/data")));
    }
    void Store(const QString& group, const QString& key, const QString& value)
    {
        QSettings s(QStringLiteral("tovanit"), QStringLiteral("pelmora"));
        s.setValue(group + QLatin1Char('/') + key, value);
    }
    QString Stored(const QString& key)
    {
        QSettings s(QStringLiteral("tovanit"), QStringLiteral("pelmora"));
        return s.value(key).toString();
    }
    // A new loopback address of this file's block for every window.
    static TChatPlace Place()
    {
        static int n = 0;
        TChatPlace p;
        p.listenAddr = p.ownAddr = address(++n);
        return p;
    }

    QTemporaryDir FDir;
};

} // namespace testkit
