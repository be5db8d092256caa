// The negotiation lines: what is taken for a step and what is not.
#include "negotiation.h"

#include <gtest/gtest.h>

using negotiation::TStep;

namespace {

struct Row {
    const char* line;
    TStep step;
    int version;
    const char* text = "";
};

class Negotiation : public ::testing::TestWithParam<Row> { };

} // namespace

TEST_P(Negotiation, Parse)
{
    const Row& r = GetParam();
    EXPECT_EQ(negotiation::Parse(r.line), (negotiation::TLine{r.step, r.version, r.text})) << r.line;
    if (r.step != TStep::None) {
        EXPECT_EQ(*r.text ? negotiation::Build(r.step, r.text) : negotiation::Build(r.step, r.version),
                  std::string(r.line) + "\n");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, Negotiation,
    ::testing::Values(
        Row{"eoffer 1", TStep::Offer, 1}, Row{"eaccept 1", TStep::Accept, 1}, Row{"ego 1", TStep::Go, 1},
        Row{"eoffer 999", TStep::Offer, 999}, Row{"eoffer 1000", TStep::None, 0}, Row{"eoffer 01", TStep::None, 0},
        Row{"eoffer 0", TStep::None, 0}, Row{"eoffer 1\r", TStep::None, 0}, Row{"eoffer  1", TStep::None, 0},
        Row{"eoffer", TStep::None, 0}, Row{"eOFFER 1", TStep::None, 0}, Row{"ehello 1", TStep::None, 0},
        Row{"uoffer 1", TStep::None, 0}, Row{"e", TStep::None, 0}, Row{"", TStep::None, 0},
        Row{"eword 1", TStep::Word, 1}, Row{"ewrong 1", TStep::Wrong, 1},
        Row{"ekey 3F:3F:3F:3F:3F:3F:3F:3F:3F:3F:3F:3F:3F:3F:3F:3F:3F:3F:3F:3F:3F:3F:3F:3F:3F:3F:3F:3F:3F:3F:3F:9C",
            TStep::Key, 0,
            "3F:3F:3F:3F:3F:3F:3F:3F:3F:3F:3F:3F:3F:3F:3F:3F:3F:3F:3F:3F:3F:3F:3F:3F:3F:3F:3F:3F:3F:3F:3F:9C"},
        Row{"eproof 0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef", TStep::Proof, 0,
            "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef"},
        Row{"eproof 0123456789ABCDEF0123456789abcdef0123456789abcdef0123456789abcdef", TStep::None, 0},
        Row{"eproof abc", TStep::None, 0}, Row{"eplain taro", TStep::Plain, 0, "taro"}, Row{"eplain ", TStep::None, 0},
        Row{"eplain a\rb", TStep::None, 0}, Row{"ekey 3F:A0", TStep::None, 0}));

TEST(Negotiation, AnswerIsTheLowerVersion)
{
    EXPECT_EQ(negotiation::Answer(7), negotiation::kVersion);
    EXPECT_EQ(negotiation::Answer(1), 1);
}
