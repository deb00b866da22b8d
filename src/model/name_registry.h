#pragma once
// The names taken among frames or among mesh nodes, for the uniqueness rule of imports and merges.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "model/model.h"

namespace ms {

// The names taken among frames or among mesh nodes, for the uniqueness rule. The names sit in
// one flat array with an open-addressed index, so a lookup costs a hash and a probe or two.
// Besides, it keeps per stem (a name less its trailing digits) the counter below which every
// candidate is taken already: names are only added, so starting there gives the name the rule
// gives when it counts from 0, without walking the taken ones again.
class NameRegistry {
public:
    template <typename Record>
    explicit NameRegistry(const std::vector<Record>& records) {
        Grow(records.size() * 2);
        for (const Record& r : records) Add(std::string_view(r.name, strnlen(r.name, kNameSize)));
    }

    bool Taken(std::string_view name) const { return *Find(name) != 0; }

    // Applies MakeNameUnique to `name` (a kNameSize field) with `*counter` as the lowest counter
    // to try, and takes the result.
    void MakeUnique(char* name, const char* emptyName, int* counter) {
        if (*name && !Taken(name)) {  // the usual case: nothing to rename, the stem is not needed
            Add(name);
            return;
        }
        std::string stem = *name ? name : emptyName;
        while (!stem.empty() && stem.back() >= '0' && stem.back() <= '9') stem.pop_back();
        int& known = next_[stem];
        *counter = std::max(*counter, known);
        MakeNameUnique(name, emptyName, counter, [&](const char* candidate) { return Taken(candidate); });
        known = *counter;
        Add(name);
    }

private:
    static std::uint64_t Hash(std::string_view name) {
        std::uint64_t h = 1469598103934665603ull;  // FNV-1a
        for (unsigned char c : name) h = (h ^ c) * 1099511628211ull;
        return h;
    }
    std::string_view At(std::uint32_t entry) const {
        const char* name = names_.data() + std::size_t(entry - 1) * kNameSize;
        return {name, strnlen(name, kNameSize)};
    }
    // The slot that holds `name`, or the empty slot where it would go.
    const std::uint32_t* Find(std::string_view name) const {
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = Hash(name) & mask;; i = (i + 1) & mask)
            if (slots_[i] == 0 || At(slots_[i]) == name) return &slots_[i];
    }
    void Add(std::string_view name) {
        if (2 * (count_ + 1) > slots_.size()) Grow(2 * (count_ + 1));
        auto* slot = const_cast<std::uint32_t*>(Find(name));
        if (*slot != 0) return;
        names_.resize(names_.size() + kNameSize, '\0');
        std::memcpy(names_.data() + count_ * kNameSize, name.data(), std::min<std::size_t>(name.size(), kNameSize));
        *slot = static_cast<std::uint32_t>(++count_);
    }
    void Grow(std::size_t least) {
        std::size_t size = 16;
        while (size < least) size *= 2;
        if (size <= slots_.size()) return;
        slots_.assign(size, 0);
        for (std::uint32_t entry = 1; entry <= count_; ++entry)
            *const_cast<std::uint32_t*>(Find(At(entry))) = entry;
    }

    std::vector<char> names_;           // kNameSize bytes per name, NUL-padded
    std::vector<std::uint32_t> slots_;  // entry number (from 1) of a name, 0 for an empty slot
    std::size_t count_ = 0;
    std::unordered_map<std::string, int> next_;
};

}  // namespace ms
