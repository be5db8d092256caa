#include "settings.h"

#include "settingskeys.h"
#include "sjis.h"
#include "texts.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>

namespace {

int readNumber(QSettings& s, const char* key, int fallback)
{
    bool ok = false;
    const int v = s.value(QLatin1String(key)).toString().trimmed().toInt(&ok);
    return ok ? v : fallback;
}

} // namespace

TWindowSettings TWindowSettings::Read()
{
    TWindowSettings r;
    QSettings s(QLatin1String(settingskeys::kOrganisation), QLatin1String(settingskeys::kApplication));
    s.beginGroup(QStringLiteral("position"));
    r.bounds = QRect(readNumber(s, "Left", 100), readNumber(s, "Top", 100), readNumber(s, "Width", 490),
                     readNumber(s, "Height", 369));
    s.endGroup();
    const QVariant name = s.value(QLatin1String(settingskeys::kUserName));
    r.name = name.isValid() ? sjis::encode(name.toString()) : txt::kDefaultNick;
    r.notify = s.value(QStringLiteral("user/notify"), QStringLiteral("1")).toString().trimmed() != QLatin1String("0");
    r.autoRejoin = readNumber(s, settingskeys::kAutoRejoin, 0) == 1;
    s.beginGroup(QStringLiteral("pane"));
    const int lines = readNumber(s, "Scrollback", r.scrollback);
    r.scrollback = lines >= 1 ? lines : r.scrollback;
    s.endGroup();
    s.beginGroup(QStringLiteral("view"));
    r.zoom = readNumber(s, "Zoom", 0);
    r.showTimes = readNumber(s, "Times", 0) == 1;
    s.endGroup();
    r.autoLog = readNumber(s, "log/Auto", 0) == 1;
    s.beginGroup(QStringLiteral("connect"));
    for (int i = 1; i <= kRecentAddresses; ++i) {
        const QString a = s.value(QStringLiteral("Address%1").arg(i)).toString();
        if (!a.isEmpty() && !r.recentAddresses.contains(a))
            r.recentAddresses << a;
    }
    s.endGroup();
    return r;
}

bool TWindowSettings::Write() const
{
    QSettings s(QLatin1String(settingskeys::kOrganisation), QLatin1String(settingskeys::kApplication));
    s.beginGroup(QStringLiteral("position"));
    s.setValue(QStringLiteral("Left"), QString::number(bounds.x()));
    s.setValue(QStringLiteral("Top"), QString::number(bounds.y()));
    s.setValue(QStringLiteral("Width"), QString::number(bounds.width()));
    s.setValue(QStringLiteral("Height"), QString::number(bounds.height()));
    s.endGroup();
    s.setValue(QLatin1String(settingskeys::kUserName), sjis::decode(name));
    s.setValue(QStringLiteral("user/notify"), notify ? QStringLiteral("1") : QStringLiteral("0"));
    s.setValue(QLatin1String(settingskeys::kAutoRejoin), QString::number(autoRejoin ? 1 : 0));
    s.beginGroup(QStringLiteral("pane"));
    s.setValue(QStringLiteral("Scrollback"), QString::number(scrollback));
    s.endGroup();
    s.beginGroup(QStringLiteral("view"));
    s.setValue(QStringLiteral("Zoom"), QString::number(zoom));
    s.setValue(QStringLiteral("Times"), QString::number(showTimes ? 1 : 0));
    s.endGroup();
    s.setValue(QStringLiteral("log/Auto"), QString::number(autoLog ? 1 : 0));
    s.beginGroup(QStringLiteral("connect"));
    for (int i = 1; i <= kRecentAddresses; ++i) {
        if (i <= recentAddresses.size())
            s.setValue(QStringLiteral("Address%1").arg(i), recentAddresses[i - 1]);
        else
            s.remove(QStringLiteral("Address%1").arg(i));
    }
    s.endGroup();
    s.sync();
    return s.status() == QSettings::NoError;
}

QRect fitOnScreen(const QRect& stored)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    for (const QScreen* sc : QGuiApplication::screens())
        area = area.united(sc->availableGeometry());

    QRect r = stored;
    r.setWidth(qBound(150, stored.width(), qMax(150, area.width())));
    r.setHeight(qBound(120, stored.height(), qMax(120, area.height())));
    // At least a corner of the title bar must be reachable.
    const QRect grip(r.x(), r.y(), qMin(r.width(), 100), 30);
    bool reachable = false;
    for (const QScreen* sc : QGuiApplication::screens())
        reachable = reachable || sc->availableGeometry().intersects(grip);
    if (!screen || !reachable)
        r.moveTopLeft(QPoint(100, 100));
    return r;
}
