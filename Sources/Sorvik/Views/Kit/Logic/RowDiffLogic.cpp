#include "Sorvik/Views/Kit/Logic/RowDiffLogic.hpp"

#include <algorithm>

namespace sorvik::app {

RowSteps rowSteps(std::vector<int> source, std::size_t oldCount) {
    RowSteps steps;
    std::vector<bool> kept(oldCount, false);
    for (const int from : source) {
        if (from >= 0) kept[static_cast<std::size_t>(from)] = true;
    }
    // Removals, and the position of each kept row once they are done.
    std::vector<int> rank(oldCount, -1);
    int remaining = 0;
    for (std::size_t i = 0; i < oldCount; ++i) {
        if (kept[i]) {
            rank[i] = remaining++;
        } else if (!steps.removed.empty() && steps.removed.back().first + steps.removed.back().count == int(i)) {
            ++steps.removed.back().count;
        } else {
            steps.removed.push_back({static_cast<int>(i), 1});
        }
    }
    std::reverse(steps.removed.begin(), steps.removed.end());

    bool inOrder = true;
    std::vector<int> order;
    order.reserve(static_cast<std::size_t>(remaining));
    for (const int from : source) {
        if (from < 0) continue;
        const int at = rank[static_cast<std::size_t>(from)];
        if (at != static_cast<int>(order.size())) inOrder = false;
        order.push_back(at);
    }
    if (!inOrder) steps.order = std::move(order);

    for (std::size_t i = 0; i < source.size(); ++i) {
        if (source[i] >= 0) continue;
        if (!steps.inserted.empty() && steps.inserted.back().first + steps.inserted.back().count == int(i)) {
            ++steps.inserted.back().count;
        } else {
            steps.inserted.push_back({static_cast<int>(i), 1});
        }
    }
    steps.source = std::move(source);
    return steps;
}

}  // namespace sorvik::app
