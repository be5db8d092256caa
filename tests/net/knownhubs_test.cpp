// Pinned hub keys: first contact pins, the same key is known, another key is
// reported and changes nothing until it is pinned on purpose.
#include "knownhubs.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>

using TTrust = TKnownHubs::TTrust;

TEST(KnownHubs, PinKnownChanged)
{
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/pelmora/known_hubs";
    std::string a(95, 'A'), b(95, 'B');
    for (size_t i = 2; i < a.size(); i += 3)
        a[i] = b[i] = ':';
    TKnownHubs hubs(path);
    EXPECT_EQ(hubs.Meet("192.0.2.7", a), TTrust::New);
    EXPECT_EQ(hubs.Meet("192.0.2.8", b), TTrust::New);
    EXPECT_EQ(TKnownHubs(path).Meet("192.0.2.7", a), TTrust::Known);
    EXPECT_EQ(hubs.Meet("192.0.2.7", b), TTrust::Changed);
    EXPECT_EQ(hubs.Lookup("192.0.2.7"), a);
    EXPECT_EQ(hubs.Meet("192.0.2.7", "not a fingerprint"), TTrust::Failed);
    EXPECT_EQ(hubs.Meet("192.0.2.7 x", b), TTrust::Failed);

    ASSERT_TRUE(hubs.Pin("192.0.2.7", b));
    EXPECT_EQ(hubs.Meet("192.0.2.7", b), TTrust::Known);
    EXPECT_EQ(hubs.Lookup("192.0.2.8"), b);
    std::ifstream f(path);
    std::string line;
    int lines = 0;
    while (std::getline(f, line))
        ++lines;
    EXPECT_EQ(lines, 2);
}
