// The application-wide error report: an exception escaping any handler is
// shown and the program goes on with its next event.
#include "testkit.h"
#include "application.h"
#include "exception.h"
#include "texts.h"
#include "wsocket.h"

#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include "qtprint.h"

#include <stdexcept>

namespace {

TEST(Application, ExceptionsFromHandlersAreReportedAndTheLoopGoesOn)
{
    std::vector<std::string> reported;
    TApplication::ExceptionReporter = [&](const std::string& m) { reported.push_back(m); };

    int laterTicks = 0;
    QTimer::singleShot(0, [] { throw Exception(txt::kNotConnected); });
    QTimer::singleShot(0, [] { throw std::runtime_error("plain"); });
    QTimer::singleShot(5, [&] { ++laterTicks; });
    QTimer::singleShot(10, [] { QCoreApplication::quit(); });
    QTimer guard;
    guard.setSingleShot(true);
    guard.callOnTimeout([] { QCoreApplication::exit(1); });
    guard.start(10000);
    EXPECT_EQ(QCoreApplication::exec(), 0);

    TApplication::ExceptionReporter = nullptr;
    ASSERT_EQ(reported.size(), 2u);
    EXPECT_EQ(reported[0], txt::kNotConnected);
    EXPECT_EQ(reported[1], "plain");
    EXPECT_EQ(laterTicks, 1);
}

TEST(Application, ExceptionsFromSocketHandlersAreReportedToo)
{
    std::vector<std::string> reported;
    TApplication::ExceptionReporter = [&](const std::string& m) { reported.push_back(m); };
    TWSocket server;
    server.SetProto("tcp");
    server.SetAddr(testkit::address(1));
    server.SetPort("0");
    server.OnSessionAvailable = [](TCustomWSocket*, uint16_t) { throw Exception(txt::kNotConnected); };
    server.Listen();

    TWSocket caller;
    caller.SetProto("tcp");
    caller.SetAddr(testkit::address(1));
    caller.SetPort(server.GetXPort());
    caller.Connect();
    EXPECT_TRUE(testkit::waitFor([&] { return !reported.empty(); }, 5000));
    TApplication::ExceptionReporter = nullptr;
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0], txt::kNotConnected);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
