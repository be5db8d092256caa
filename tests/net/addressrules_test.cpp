// Deny and allow entries: what parses, how it is written back, who is admitted.
#include "addressrules.h"

#include <gtest/gtest.h>

TEST(AddressRules, EntriesParseAndReadBack)
{
    const std::pair<const char*, const char*> cases[] = {
        {"192.0.2.7", "192.0.2.7"},
        {" 192.0.2.7/24 ", "192.0.2.0/24"},
        {"10.1.2.3/8", "10.0.0.0/8"},
        {"0.0.0.0/0", "0.0.0.0/0"},
        {"1.2.3", nullptr},
        {"192.0.2.7/33", nullptr},
        {"192.0.2.7/", nullptr},
        {"192.0.2.7/-1", nullptr},
        {"192.0.2.256", nullptr},
        {"example.org", nullptr},
        {"", nullptr},
        {"192.0.2.7/24/1", nullptr},
    };
    for (const auto& [text, want] : cases) {
        TAddressRange r;
        const bool ok = TAddressRange::Parse(text, r);
        EXPECT_EQ(ok, want != nullptr) << text;
        if (ok && want) {
            EXPECT_EQ(r.Text(), want) << text;
        }
    }
}

TEST(AddressRules, DenyAllowAndUndeny)
{
    TAddressRules rules;
    EXPECT_TRUE(rules.Admits("198.51.100.9"));
    EXPECT_TRUE(rules.Deny("198.51.100.0/24"));
    EXPECT_TRUE(rules.Deny("198.51.100.0/24")); // once only
    EXPECT_FALSE(rules.Deny("nonsense"));
    EXPECT_EQ(rules.DeniedTexts(), std::vector<std::string>{"198.51.100.0/24"});
    EXPECT_FALSE(rules.Admits("198.51.100.9"));
    EXPECT_TRUE(rules.Admits("198.51.101.9"));
    EXPECT_FALSE(rules.Admits("error"));

    // An allow list admits only its own, and deny still wins inside it.
    rules.Allow("198.51.0.0/16");
    EXPECT_TRUE(rules.Admits("198.51.101.9"));
    EXPECT_FALSE(rules.Admits("203.0.113.1"));
    EXPECT_FALSE(rules.Admits("198.51.100.9"));
    EXPECT_TRUE(rules.Undeny("198.51.100.5/24"));
    EXPECT_TRUE(rules.Admits("198.51.100.9"));
    EXPECT_FALSE(rules.Undeny("198.51.100.0/24"));
}
