// Help: the file is where the program looks for it, and a missing file is
// reported in the viewer.
#include "helpviewer.h"
#include "sjis.h"
#include "texts.h"

#include <QFileInfo>
#include <QTextBrowser>
#include <gtest/gtest.h>
#include "qtprint.h"

namespace {

TEST(HelpViewer, TheBuiltHelpFileIsAtItsFixedPathAndShows)
{
    // The build tree's share/ is one of the desktop's data folders here.
    qputenv("XDG_DATA_DIRS", qgetenv("PELMORA_TEST_BINARY_DIR") + "/share");
    const QString file = THelpViewer::HelpFile();
    EXPECT_TRUE(file.endsWith(sjis::decode(txt::kHelpFolder) + QStringLiteral("/Pelmora.hlp")));
    ASSERT_TRUE(QFileInfo::exists(file)) << file.toStdString();
    THelpViewer v;
    v.ShowContents(file);
    EXPECT_TRUE(v.isVisible());
    EXPECT_TRUE(v.Browser()->toPlainText().contains(QStringLiteral("サーバの人が抜けたとき")));
}

TEST(HelpViewer, AMissingFileIsReportedInTheViewer)
{
    THelpViewer v;
    v.ShowContents(QStringLiteral("/nonexistent/Pelmora.hlp"));
    EXPECT_TRUE(v.Browser()->toPlainText().startsWith(sjis::decode(txt::kHelpMissing)));
}

} // namespace
