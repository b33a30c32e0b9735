#pragma once
// Multi-pattern byte search (Aho-Corasick as a dense automaton over byte classes): one pass
// over a text reports every pattern that occurs in it.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sorvik {

class AhoCorasick {
public:
    AhoCorasick() = default;
    /// Empty patterns are never reported; a repeated pattern is reported under its first index.
    explicit AhoCorasick(const std::vector<std::string>& patterns);

    bool empty() const { return patternCount_ == 0; }

    /// Calls onMatch(patternIndex) for every occurrence of every pattern, in text order.
    template <typename F>
    void scan(std::string_view text, F&& onMatch) const {
        if (empty()) return;
        std::uint32_t state = 0;
        for (unsigned char byte : text) {
            const std::uint32_t next = delta_[state * classCount_ + byteClass_[byte]];
            state = next & kStateMask;
            if (next & kOutputFlag) {
                for (std::int32_t s = static_cast<std::int32_t>(state); s > 0; s = dictionary_[s])
                    if (own_[s] >= 0) onMatch(static_cast<std::size_t>(own_[s]));
            }
        }
    }

private:
    static constexpr std::uint32_t kOutputFlag = 0x80000000u;
    static constexpr std::uint32_t kStateMask = 0x7fffffffu;

    std::size_t patternCount_ = 0;
    std::uint32_t classCount_ = 1;
    std::uint8_t byteClass_[256] = {};
    std::vector<std::uint32_t> delta_;      // state * classCount_ + class -> next state (| kOutputFlag)
    std::vector<std::int32_t> own_;         // pattern ending at the state, or -1
    std::vector<std::int32_t> dictionary_;  // nearest proper suffix state with output (0: none)
};

}  // namespace sorvik
