// Shared main of the test executables: a QApplication on the offscreen
// platform, so socket notifiers, timers and widgets all work without a display.
// The process's data folder (keys, pinned keys, logs) is a temporary one,
// never the user's; a test may name its own.
// Built with PELMORA_TEST_ERROR_REPORT (tests that link the program's error
// report), an error that would open the error box fails the running test
// instead: a modal box with nobody to answer would hold the test until its
// time limit.
#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#ifdef PELMORA_TEST_ERROR_REPORT
#include "application.h"
#include "sjis.h"

namespace {

// Installed again before every test, so a test that records the reports
// itself and clears the recorder afterwards leaves the next one guarded.
class FailOnErrorBox : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override
    {
        TApplication::ExceptionReporter = [](const std::string& message) {
            ADD_FAILURE() << "the error box would open: " << sjis::decode(message).toStdString();
        };
    }
};

} // namespace
#endif

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
#ifdef PELMORA_TEST_ERROR_REPORT
    ::testing::UnitTest::GetInstance()->listeners().Append(new FailOnErrorBox);
#endif
    return RUN_ALL_TESTS();
}
