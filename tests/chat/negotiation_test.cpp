// The negotiation lines: what is taken for a step and what is not.
#include "negotiation.h"

#include <gtest/gtest.h>

using negotiation::TStep;

namespace {

struct Row {
    const char* line;
    TStep step;
    int version;
};

class Negotiation : public ::testing::TestWithParam<Row> { };

} // namespace

TEST_P(Negotiation, Parse)
{
    const Row& r = GetParam();
    EXPECT_EQ(negotiation::Parse(r.line), (negotiation::TLine{r.step, r.version})) << r.line;
    if (r.step != TStep::None) {
        EXPECT_EQ(negotiation::Build(r.step, r.version), std::string(r.line) + "\n");
    }
}

INSTANTIATE_TEST_SUITE_P(Lines, Negotiation,
                         ::testing::Values(Row{"eoffer 1", TStep::Offer, 1}, Row{"eaccept 1", TStep::Accept, 1},
                                           Row{"ego 1", TStep::Go, 1}, Row{"eoffer 999", TStep::Offer, 999},
                                           Row{"eoffer 1000", TStep::None, 0}, Row{"eoffer 01", TStep::None, 0},
                                           Row{"eoffer 0", TStep::None, 0}, Row{"eoffer 1\r", TStep::None, 0},
                                           Row{"eoffer  1", TStep::None, 0}, Row{"eoffer", TStep::None, 0},
                                           Row{"eOFFER 1", TStep::None, 0}, Row{"ehello 1", TStep::None, 0},
                                           Row{"uoffer 1", TStep::None, 0}, Row{"e", TStep::None, 0},
                                           Row{"", TStep::None, 0}));

TEST(Negotiation, AnswerIsTheLowerVersion)
{
    EXPECT_EQ(negotiation::Answer(7), negotiation::kVersion);
    EXPECT_EQ(negotiation::Answer(1), 1);
}
