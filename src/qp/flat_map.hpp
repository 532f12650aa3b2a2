// A hash map for small trivially copyable keys and values, kept flat.
//
// The entries live in one contiguous array in insertion order; the first
// `InlineCapacity` of them live inside the map itself, so a map that never
// grows beyond that never allocates. Up to kLinearLimit entries a lookup
// scans the array; beyond that an open-addressing index (linear probing over
// a power-of-two table of entry positions, at most half full) finds a key in
// about one probe. Entries are never removed, so the index never holds
// tombstones, and growing it only re-inserts positions: the entries
// themselves never move once the array has its capacity.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <type_traits>
#include <utility>

namespace wayforge::qp {

template <class Key, class Value>
struct FlatMapEntry {
    Key first;
    Value second;
};

template <class Key, class Value, class Hash, std::size_t InlineCapacity>
class FlatMap {
    static_assert(std::is_trivially_copyable_v<Key> && std::is_trivially_copyable_v<Value>,
                  "entries are moved with memcpy");

public:
    using Entry = FlatMapEntry<Key, Value>;
    using iterator = Entry*;
    using const_iterator = const Entry*;

    // Maps up to this many entries are searched without an index.
    static constexpr std::size_t kLinearLimit = 8;
    static_assert(InlineCapacity >= 1 && InlineCapacity <= kLinearLimit,
                  "an indexed map keeps its entries on the heap");

    FlatMap() noexcept : heap_{nullptr, nullptr} {}

    FlatMap(const FlatMap& other) : heap_{nullptr, nullptr} {
        try {
            copy_from(other);
        } catch (...) {
            release();
            throw;
        }
    }

    FlatMap(FlatMap&& other) noexcept : heap_{nullptr, nullptr} { steal(other); }

    FlatMap& operator=(const FlatMap& other) {
        if (this != &other) {
            FlatMap copy(other);
            release();
            steal(copy);
        }
        return *this;
    }

    FlatMap& operator=(FlatMap&& other) noexcept {
        if (this != &other) {
            release();
            steal(other);
        }
        return *this;
    }

    ~FlatMap() { release(); }

    std::size_t size() const noexcept { return size_; }
    bool empty() const noexcept { return size_ == 0; }

    iterator begin() noexcept { return data(); }
    iterator end() noexcept { return data() + size_; }
    const_iterator begin() const noexcept { return data(); }
    const_iterator end() const noexcept { return data() + size_; }

    // Room for `count` entries without another allocation.
    void reserve(std::size_t count) {
        if (count > capacity_) {
            grow_entries(count);
        }
        if (count > kLinearLimit) {
            const std::size_t slots = table_size_for(count);
            if (slots > slot_count_) {
                rebuild_index(slots);
            }
        }
    }

    iterator find(const Key& key) noexcept {
        const std::size_t at = position(key);
        return at == kAbsent ? end() : data() + at;
    }
    const_iterator find(const Key& key) const noexcept {
        const std::size_t at = position(key);
        return at == kAbsent ? end() : data() + at;
    }

    // Inserts (key, value) when the key is absent; either way returns the
    // entry of the key and whether it was inserted.
    std::pair<iterator, bool> try_emplace(const Key& key, const Value& value) {
        Entry* entries = data();
        if (slot_count_ == 0) {
            for (std::size_t k = 0; k < size_; ++k) {
                if (entries[k].first == key) {
                    return {entries + k, false};
                }
            }
            return {append(key, value), true};
        }
        Slot* slots = heap_.slots;
        const std::size_t mask = slot_count_ - 1;
        std::size_t slot = Hash{}(key) & mask;
        while (slots[slot] != 0) {
            Entry* entry = entries + (slots[slot] - 1);
            if (entry->first == key) {
                return {entry, false};
            }
            slot = (slot + 1) & mask;
        }
        // The key is new: its slot is the empty one the probe stopped at,
        // unless appending grows the index (which re-inserts every entry).
        const std::size_t before = slot_count_;
        Entry* entry = append(key, value);
        if (slot_count_ == before) {
            heap_.slots[slot] = static_cast<Slot>(size_);
        }
        return {entry, true};
    }

private:
    using Slot = std::uint32_t;  // entry position + 1; 0 marks an empty slot
    static constexpr std::size_t kAbsent = std::numeric_limits<std::size_t>::max();

    // The entries beyond the inline room and the index (when there is one).
    struct Heap {
        Entry* entries;
        Slot* slots;
    };

    bool on_heap() const noexcept { return capacity_ > InlineCapacity; }
    Entry* data() noexcept { return on_heap() ? heap_.entries : reinterpret_cast<Entry*>(inline_); }
    const Entry* data() const noexcept {
        return on_heap() ? heap_.entries : reinterpret_cast<const Entry*>(inline_);
    }

    static std::size_t table_size_for(std::size_t count) {
        std::size_t slots = 16;
        while (slots < 2 * count) {
            slots *= 2;
        }
        return slots;
    }

    std::size_t position(const Key& key) const noexcept {
        const Entry* entries = data();
        if (slot_count_ == 0) {
            for (std::size_t k = 0; k < size_; ++k) {
                if (entries[k].first == key) {
                    return k;
                }
            }
            return kAbsent;
        }
        const std::size_t mask = slot_count_ - 1;
        std::size_t slot = Hash{}(key) & mask;
        while (heap_.slots[slot] != 0) {
            const std::size_t at = heap_.slots[slot] - 1;
            if (entries[at].first == key) {
                return at;
            }
            slot = (slot + 1) & mask;
        }
        return kAbsent;
    }

    // Appends an entry for a key known to be absent and indexes it when the
    // index has to grow; otherwise the caller fills the slot it found.
    Entry* append(const Key& key, const Value& value) {
        if (size_ == capacity_) {
            grow_entries(2 * capacity_);
        }
        Entry* entry = data() + size_;
        entry->first = key;
        entry->second = value;
        ++size_;
        if (slot_count_ == 0 ? size_ > kLinearLimit : 2 * std::size_t{size_} > slot_count_) {
            rebuild_index(table_size_for(size_));
        }
        return entry;
    }

    // Moves the entries to a heap block of `count` (> InlineCapacity) entries.
    void grow_entries(std::size_t count) {
        if (count > std::numeric_limits<Slot>::max() / 4) {
            throw std::length_error("flat map too large");
        }
        auto* fresh = static_cast<Entry*>(std::malloc(count * sizeof(Entry)));
        if (fresh == nullptr) {
            throw std::bad_alloc();
        }
        if (size_ != 0) {
            std::memcpy(static_cast<void*>(fresh), data(), size_ * sizeof(Entry));
        }
        if (on_heap()) {
            std::free(heap_.entries);
        } else {
            heap_.slots = nullptr;
        }
        heap_.entries = fresh;
        capacity_ = static_cast<Slot>(count);
    }

    // Only called on the heap: an index needs more entries than fit inline.
    void rebuild_index(std::size_t slot_count) {
        auto* fresh = static_cast<Slot*>(std::calloc(slot_count, sizeof(Slot)));
        if (fresh == nullptr) {
            throw std::bad_alloc();
        }
        std::free(heap_.slots);
        heap_.slots = fresh;
        slot_count_ = static_cast<Slot>(slot_count);
        const std::size_t mask = slot_count - 1;
        const Entry* entries = heap_.entries;
        for (std::size_t k = 0; k < size_; ++k) {
            std::size_t slot = Hash{}(entries[k].first) & mask;
            while (fresh[slot] != 0) {
                slot = (slot + 1) & mask;
            }
            fresh[slot] = static_cast<Slot>(k + 1);
        }
    }

    void copy_from(const FlatMap& other) {
        if (other.size_ > InlineCapacity) {
            grow_entries(other.size_);
        }
        if (other.size_ != 0) {
            std::memcpy(static_cast<void*>(data()), other.data(), other.size_ * sizeof(Entry));
        }
        size_ = other.size_;
        if (other.slot_count_ != 0) {
            if (!on_heap()) {
                grow_entries(InlineCapacity + 1);
            }
            rebuild_index(other.slot_count_);
        }
    }

    // Takes other's contents and leaves it empty.
    void steal(FlatMap& other) noexcept {
        if (other.on_heap()) {
            heap_ = other.heap_;
        } else if (other.size_ != 0) {
            std::memcpy(inline_, other.inline_, other.size_ * sizeof(Entry));
        }
        size_ = other.size_;
        capacity_ = other.capacity_;
        slot_count_ = other.slot_count_;
        other.size_ = 0;
        other.capacity_ = InlineCapacity;
        other.slot_count_ = 0;
    }

    void release() noexcept {
        if (on_heap()) {
            std::free(heap_.entries);
            std::free(heap_.slots);
        }
        size_ = 0;
        capacity_ = InlineCapacity;
        slot_count_ = 0;
    }

    union {
        alignas(Entry) unsigned char inline_[InlineCapacity * sizeof(Entry)];
        Heap heap_;  // when capacity_ > InlineCapacity
    };
    Slot size_ = 0;
    Slot capacity_ = InlineCapacity;
    Slot slot_count_ = 0;  // 0: no index, lookups scan the entries
};

}  // namespace wayforge::qp
