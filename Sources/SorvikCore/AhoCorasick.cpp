#include "SorvikCore/AhoCorasick.hpp"

#include <deque>
#include <stdexcept>

namespace sorvik {

AhoCorasick::AhoCorasick(const std::vector<std::string>& patterns) {
    // Bytes that occur in no pattern share class 0.
    bool used[256] = {};
    for (const auto& p : patterns)
        for (unsigned char b : p) used[b] = true;
    classCount_ = 1;
    for (int b = 0; b < 256; ++b)
        if (used[b]) byteClass_[b] = static_cast<std::uint8_t>(classCount_++);

    // Trie, with -1 for a missing edge.
    std::vector<std::int32_t> trie(classCount_, -1);
    own_.assign(1, -1);
    for (std::size_t index = 0; index < patterns.size(); ++index) {
        const auto& p = patterns[index];
        if (p.empty()) continue;
        std::size_t state = 0;
        for (unsigned char b : p) {
            auto& edge = trie[state * classCount_ + byteClass_[b]];
            if (edge < 0) {
                edge = static_cast<std::int32_t>(own_.size());
                own_.push_back(-1);
                trie.resize(trie.size() + classCount_, -1);
            }
            state = static_cast<std::size_t>(trie[state * classCount_ + byteClass_[b]]);
        }
        if (own_[state] < 0) {
            own_[state] = static_cast<std::int32_t>(index);
            ++patternCount_;
        }
    }
    if (own_.size() > kStateMask) throw std::length_error("too many search states");

    // Breadth-first: failure transitions folded into a full transition table.
    const std::size_t states = own_.size();
    delta_.assign(states * classCount_, 0);
    dictionary_.assign(states, 0);
    std::vector<bool> hasOutput(states, false);
    std::vector<std::uint32_t> fail(states, 0);
    std::deque<std::uint32_t> queue;
    for (std::uint32_t c = 0; c < classCount_; ++c) {
        const std::int32_t child = trie[c];
        if (child >= 0) {
            delta_[c] = static_cast<std::uint32_t>(child);
            queue.push_back(static_cast<std::uint32_t>(child));
        }
    }
    while (!queue.empty()) {
        const std::uint32_t s = queue.front();
        queue.pop_front();
        const std::uint32_t f = fail[s];
        dictionary_[s] = own_[f] >= 0 ? static_cast<std::int32_t>(f) : dictionary_[f];
        hasOutput[s] = own_[s] >= 0 || dictionary_[s] > 0;
        for (std::uint32_t c = 0; c < classCount_; ++c) {
            const std::int32_t child = trie[s * classCount_ + c];
            const std::uint32_t viaFail = delta_[f * classCount_ + c] & kStateMask;
            if (child >= 0) {
                fail[static_cast<std::size_t>(child)] = viaFail;
                delta_[s * classCount_ + c] = static_cast<std::uint32_t>(child);
                queue.push_back(static_cast<std::uint32_t>(child));
            } else {
                delta_[s * classCount_ + c] = viaFail;
            }
        }
    }
    for (auto& next : delta_)
        if (hasOutput[next & kStateMask]) next |= kOutputFlag;
}

}  // namespace sorvik
