#include "commandline.h"

#include "addressrules.h"

#include "pelmora_version.h"
#include "sjis.h"
#include "texts.h"

#include <QCommandLineParser>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>

namespace {

QString q(const std::string& cp932)
{
    return sjis::decode(cp932);
}

QString programName(const QStringList& arguments)
{
    return arguments.isEmpty() ? QStringLiteral("pelmora") : QFileInfo(arguments.first()).fileName();
}

// The window system's options that take a value, and those that do not.
const char* const kQtValueOptions[] = {
    "platform",    "platformpluginpath", "platformtheme", "plugin", "display", "geometry",
    "style",       "stylesheet",         "session",       "name",   "title",   "qwindowgeometry",
    "qwindowicon", "qwindowtitle",       "qwindowstyle"};
const char* const kQtFlags[] = {"reverse", "sync", "nograb", "dograb", "widgetcount"};

// The option as the user wrote it ("--bogus", "-x"), found by its name.
QString asTyped(const QStringList& arguments, const QString& option)
{
    for (const QString& a : arguments.mid(1)) {
        const QString bare = a.mid(a.startsWith(QLatin1String("--")) ? 2 : 1).section(QLatin1Char('='), 0, 0);
        if (a.startsWith(QLatin1Char('-')) && bare == option)
            return a.section(QLatin1Char('='), 0, 0);
    }
    return option;
}

} // namespace

TCommandLine TCommandLine::Parse(const QStringList& arguments)
{
    TCommandLine r;
    const QString name = programName(arguments);

    QCommandLineParser parser;
    // "-platform xcb" as the window system writes it, and "--help" as usual.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    parser.addOption(help);
    parser.addOption(version);
    const QCommandLineOption hub(QStringLiteral("hub"));
    const QCommandLineOption join(QStringLiteral("join"), QString(), QStringLiteral("address"));
    const QCommandLineOption forgetHub(QStringLiteral("forget-hub"), QString(), QStringLiteral("address"));
    const QCommandLineOption listenAddress(QStringLiteral("address"), QString(), QStringLiteral("address"));
    const QCommandLineOption port(QStringLiteral("port"), QString(), QStringLiteral("port"));
    const QCommandLineOption logDir(QStringLiteral("log-dir"), QString(), QStringLiteral("folder"));
    const QCommandLineOption quiet(QStringLiteral("quiet"));
    const QCommandLineOption seatsPerAddress(QStringLiteral("seats-per-address"), QString(), QStringLiteral("n"));
    const QCommandLineOption lineRate(QStringLiteral("line-rate"), QString(), QStringLiteral("n"));
    const QCommandLineOption deny(QStringLiteral("deny"), QString(), QStringLiteral("address"));
    const QCommandLineOption allow(QStringLiteral("allow"), QString(), QStringLiteral("address"));
    const std::initializer_list<QCommandLineOption> hubOptions = {listenAddress,   port,     logDir, quiet,
                                                                  seatsPerAddress, lineRate, deny,   allow};
    const QCommandLineOption wordFile(QStringLiteral("word-file"), QString(), QStringLiteral("file"));
    parser.addOption(hub);
    parser.addOption(join);
    parser.addOption(wordFile);
    parser.addOption(forgetHub);
    for (const QCommandLineOption& o : hubOptions)
        parser.addOption(o);
    for (const char* o : kQtValueOptions)
        parser.addOption(QCommandLineOption(QLatin1String(o), QString(), QStringLiteral("value")));
    for (const char* o : kQtFlags)
        parser.addOption(QCommandLineOption(QLatin1String(o)));

    const bool understood = parser.parse(arguments);
    if (!understood) {
        r.run = false;
        r.exitCode = kExitUsage;
        const QStringList unknown = parser.unknownOptionNames();
        r.err = name + QStringLiteral(": ") +
            (unknown.isEmpty() ? parser.errorText() : q(txt::kUnknownOption) + asTyped(arguments, unknown.first())) +
            QLatin1Char('\n') + q(txt::kSeeHelp) + QLatin1Char('\n');
        return r;
    }
    if (parser.isSet(help)) {
        r.run = false;
        QString usage = q(txt::kUsage).arg(name) + q(txt::kHubUsage).arg(name) + q(txt::kJoinUsage).arg(name) +
            q(txt::kForgetUsage).arg(name);
        r.out = usage.replace(QStringLiteral("\r\n"), QStringLiteral("\n")) + QLatin1Char('\n');
        return r;
    }
    if (parser.isSet(version)) {
        r.run = false;
        r.out = name + QStringLiteral(" " PELMORA_VERSION "\n");
        return r;
    }
    const QStringList rest = parser.positionalArguments();
    // The first address counts; any further ones are ignored.
    r.address = rest.value(0);

    auto refuse = [&](const std::string& why, const QString& what) {
        r.run = false;
        r.exitCode = kExitUsage;
        r.err = name + QStringLiteral(": ") + q(why) + what + QLatin1Char('\n') + q(txt::kSeeHelp) + QLatin1Char('\n');
        return r;
    };
    r.forgetHub = parser.value(forgetHub);
    if (!r.forgetHub.isEmpty())
        return r; // nothing else runs
    r.hub = parser.isSet(hub);
    r.join = parser.isSet(join);
    r.nameGiven = parser.isSet(QStringLiteral("name"));
    r.name = parser.value(QStringLiteral("name"));
    r.wordFile = parser.value(wordFile);
    if (!r.hub && !r.join && parser.isSet(wordFile))
        return refuse(txt::kHubOnlyOption, asTyped(arguments, QStringLiteral("word-file")));
    if (!r.hub) {
        for (const QCommandLineOption& o : hubOptions)
            if (parser.isSet(o))
                return refuse(txt::kHubOnlyOption, asTyped(arguments, o.names().first()));
        if (!r.join)
            return r;
        // The one address is the option's; the member's name is its own.
        r.joinAddress = parser.value(join);
        if (!r.address.isEmpty())
            return refuse(txt::kJoinNoAddress, r.address);
        if (r.joinAddress.isEmpty())
            return refuse(txt::kJoinNeedsAddress, asTyped(arguments, QStringLiteral("join")));
        return r;
    }
    if (r.join)
        return refuse(txt::kJoinNotWithHub, asTyped(arguments, QStringLiteral("join")));
    if (!r.address.isEmpty())
        return refuse(txt::kHubNoAddress, r.address);
    r.listenAddress = parser.value(listenAddress);
    r.port = parser.value(port);
    bool portOk = r.port.isEmpty();
    if (!portOk) {
        const int p = r.port.toInt(&portOk);
        portOk = portOk && p > 0 && p < 65536;
    }
    if (!portOk)
        return refuse(txt::kBadPort, r.port);
    r.logDir = parser.value(logDir);
    r.quiet = parser.isSet(quiet);
    for (auto [option, value] : {std::pair{&seatsPerAddress, &r.seatsPerAddress}, {&lineRate, &r.lineRate}}) {
        if (!parser.isSet(*option))
            continue;
        bool ok = false;
        *value = parser.value(*option).toInt(&ok);
        if (!ok || *value < 0)
            return refuse(txt::kBadCount, parser.value(*option));
    }
    for (auto [option, list] : {std::pair{&deny, &r.deny}, {&allow, &r.allow}}) {
        for (const QString& entry : parser.values(*option)) {
            TAddressRange range;
            if (!TAddressRange::Parse(entry.toStdString(), range))
                return refuse(txt::kBadAddressRule, entry);
            list->append(entry.trimmed());
        }
    }
    return r;
}

namespace {

QtMessageHandler previousHandler = nullptr;
QString displayStartProgram;

void displayStartHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtFatalMsg) {
        const QByteArray line =
            (displayStartProgram + QStringLiteral(": ") + q(txt::kNoDisplay) + QLatin1Char('\n')).toLocal8Bit();
        std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
        std::fflush(stderr);
        std::_Exit(kExitNoDisplay);
    }
    // The platform plugin's complaints before it gives up are not for the user.
    if (context.category && QByteArray(context.category).startsWith("qt.qpa"))
        return;
    if (previousHandler)
        previousHandler(type, context, message);
}

} // namespace

void GuardDisplayStart(const QString& program)
{
    displayStartProgram = QFileInfo(program).fileName();
    previousHandler = qInstallMessageHandler(displayStartHandler);
}

void EndDisplayStartGuard()
{
    qInstallMessageHandler(previousHandler);
    previousHandler = nullptr;
}
