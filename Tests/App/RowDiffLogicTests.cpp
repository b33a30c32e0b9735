// Row steps between two lists of identified rows: what a model reports instead of a reset.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "Sorvik/Views/Kit/Logic/RowDiffLogic.hpp"

using namespace sorvik::app;

namespace {

RowSteps steps(const std::vector<std::string>& before, const std::vector<std::string>& after) {
    std::optional<std::vector<int>> source = matchRows(before, after);
    EXPECT_TRUE(source);
    return rowSteps(source.value_or(std::vector<int>{}), before.size());
}

std::vector<std::string> split(const std::string& letters) {
    std::vector<std::string> out;
    for (const char c : letters) out.emplace_back(1, c);
    return out;
}

}  // namespace

TEST(RowSteps, RemovalsComeLastRunFirstAndInsertionsInNewNumbering) {
    const auto before = split("abcdefg");
    const auto after = split("xabdgy");
    const RowSteps s = steps(before, after);
    // c and e f leave, e f first so c's row number still holds.
    EXPECT_EQ(s.removed, (std::vector<RowSpan>{{4, 2}, {2, 1}}));
    EXPECT_TRUE(s.order.empty());
    EXPECT_EQ(s.inserted, (std::vector<RowSpan>{{0, 1}, {5, 1}}));
    EXPECT_EQ(s.source, (std::vector<int>{-1, 0, 1, 3, 6, -1}));
    EXPECT_EQ(applyRowSteps(before, after, s), after);
}

TEST(RowSteps, NothingChangedOrEverythingChanged) {
    const auto same = steps(split("abc"), split("abc"));
    EXPECT_EQ(same.spanCount(), 0u);
    EXPECT_TRUE(same.order.empty());
    const auto fresh = steps(split("abc"), split("xyz"));
    EXPECT_EQ(fresh.removed, (std::vector<RowSpan>{{0, 3}}));
    EXPECT_EQ(fresh.inserted, (std::vector<RowSpan>{{0, 3}}));
    const auto empty = steps({}, split("ab"));
    EXPECT_EQ(empty.inserted, (std::vector<RowSpan>{{0, 2}}));
    EXPECT_TRUE(steps(split("ab"), {}).inserted.empty());
}

TEST(RowSteps, RowsThatStayButMoveAreReorderedNotRemoved) {
    const auto before = split("abcd");
    const auto after = split("dbxa");
    const RowSteps s = steps(before, after);
    EXPECT_EQ(s.removed, (std::vector<RowSpan>{{2, 1}}));
    // After c leaves the rows are a b d; the new order takes d, b, a.
    EXPECT_EQ(s.order, (std::vector<int>{2, 1, 0}));
    EXPECT_EQ(s.inserted, (std::vector<RowSpan>{{2, 1}}));
    EXPECT_EQ(applyRowSteps(before, after, s), after);
}

TEST(RowSteps, RepeatedIdentifiersCannotBeMatched) {
    EXPECT_FALSE(matchRows(split("aba"), split("ab")));
    EXPECT_FALSE(matchRows(split("ab"), split("abb")));
    EXPECT_FALSE(matchRows(split("ab"), split("xax")));
    EXPECT_TRUE(matchRows(split("ab"), split("ba")));
}

TEST(RowSteps, AnyEditOfAListIsReproducedByItsSteps) {
    std::mt19937 random(21);
    int next = 0;
    for (int round = 0; round < 300; ++round) {
        std::vector<int> before;
        const int count = static_cast<int>(random() % 40);
        for (int i = 0; i < count; ++i) before.push_back(next++);
        std::vector<int> after;
        for (const int row : before) {
            if (random() % 4 != 0) after.push_back(row);
            if (random() % 5 == 0) after.push_back(next++);
        }
        if (round % 3 == 0 && after.size() > 1) std::swap(after.front(), after[random() % after.size()]);
        const std::optional<std::vector<int>> source = matchRows(before, after);
        ASSERT_TRUE(source);
        const RowSteps s = rowSteps(*source, before.size());
        ASSERT_EQ(applyRowSteps(before, after, s), after) << "round " << round;
        for (std::size_t i = 1; i < s.removed.size(); ++i) EXPECT_LT(s.removed[i].first, s.removed[i - 1].first);
        for (std::size_t i = 0; i < after.size(); ++i) {
            if (s.source[i] >= 0) {
                EXPECT_EQ(before[static_cast<std::size_t>(s.source[i])], after[i]);
            }
        }
    }
}
