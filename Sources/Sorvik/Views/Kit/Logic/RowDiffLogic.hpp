#pragma once
// How a list of identified rows turns into another one step by step, so a model can report
// removals, a reordering and insertions instead of a reset, and views keep their selection and
// scroll position. Pure: identifiers in, steps out.
#include <algorithm>
#include <cstddef>
#include <optional>
#include <unordered_map>
#include <vector>

namespace sorvik::app {

/// Rows `first` to `first + count - 1`.
struct RowSpan {
    int first = 0;
    int count = 0;
    friend bool operator==(const RowSpan&, const RowSpan&) = default;
};

/// The steps from the old rows to the new ones, applied in this order.
struct RowSteps {
    /// Runs of old rows that leave, last run first, so each span is valid when it is removed.
    std::vector<RowSpan> removed;
    /// After the removals: for each remaining row in its new order, its position among the remaining
    /// rows in their old order. Empty when they keep their order.
    std::vector<int> order;
    /// Runs of new rows that arrive, in the new list's numbering, first run first.
    std::vector<RowSpan> inserted;
    /// For each new row, the old row it continues; -1 for a new one.
    std::vector<int> source;

    std::size_t spanCount() const { return removed.size() + inserted.size(); }
};

/// For each new row, the old row with the same identifier; -1 when none. None when an identifier
/// repeats in either list: such rows cannot be told apart.
template <class Key, class Hash = std::hash<Key>>
std::optional<std::vector<int>> matchRows(const std::vector<Key>& before, const std::vector<Key>& after) {
    std::unordered_map<Key, int, Hash> position;
    position.reserve(before.size());
    for (std::size_t i = 0; i < before.size(); ++i) {
        if (!position.emplace(before[i], static_cast<int>(i)).second) return std::nullopt;
    }
    std::vector<int> source(after.size(), -1);
    std::vector<bool> taken(before.size(), false);
    for (std::size_t i = 0; i < after.size(); ++i) {
        const auto it = position.find(after[i]);
        if (it == position.end()) continue;
        if (taken[static_cast<std::size_t>(it->second)]) return std::nullopt;
        taken[static_cast<std::size_t>(it->second)] = true;
        source[i] = it->second;
    }
    // A repeated new identifier that no old row has is not caught above.
    std::unordered_map<Key, int, Hash> seen;
    seen.reserve(after.size());
    for (std::size_t i = 0; i < after.size(); ++i) {
        if (source[i] < 0 && !seen.emplace(after[i], 0).second) return std::nullopt;
    }
    return source;
}

/// The steps that turn `oldCount` rows into the rows `source` describes (see `matchRows`).
RowSteps rowSteps(std::vector<int> source, std::size_t oldCount);

/// The rows the steps make from `before`, taking new rows from `after` (what a model does).
template <class Row>
std::vector<Row> applyRowSteps(std::vector<Row> before, const std::vector<Row>& after, const RowSteps& steps) {
    for (const RowSpan& span : steps.removed) {
        before.erase(before.begin() + span.first, before.begin() + span.first + span.count);
    }
    if (!steps.order.empty()) {
        std::vector<Row> ordered;
        ordered.reserve(before.size());
        for (const int from : steps.order) ordered.push_back(before[static_cast<std::size_t>(from)]);
        before = std::move(ordered);
    }
    for (const RowSpan& span : steps.inserted) {
        before.insert(before.begin() + span.first, after.begin() + span.first, after.begin() + span.first + span.count);
    }
    return before;
}

}  // namespace sorvik::app
