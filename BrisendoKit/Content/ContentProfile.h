#pragma once

#include "BrisendoKit/Content/ContentKind.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>

namespace pivorel {

// A set of kinds; iteration follows the order of allContentKinds.
class ContentKindSet {
  public:
    class Iterator {
      public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = ContentKind;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = ContentKind;

        Iterator() = default;
        ContentKind operator*() const { return static_cast<ContentKind>(index_); }
        Iterator& operator++() {
            index_ = next(bits_, index_ + 1);
            return *this;
        }
        Iterator operator++(int) {
            Iterator before = *this;
            ++*this;
            return before;
        }
        friend bool operator==(const Iterator&, const Iterator&) = default;

      private:
        friend class ContentKindSet;
        Iterator(std::uint8_t bits, int index) : bits_(bits), index_(next(bits, index)) {}
        static int next(std::uint8_t bits, int from) {
            const unsigned rest = from >= 8 ? 0u : unsigned(bits) >> from;
            return rest == 0 ? 8 : from + std::countr_zero(rest);
        }
        std::uint8_t bits_ = 0;
        int index_ = 8;
    };

    ContentKindSet() = default;
    ContentKindSet(std::initializer_list<ContentKind> kinds) {
        for (ContentKind kind : kinds) insert(kind);
    }

    bool contains(ContentKind kind) const { return (bits_ & bit(kind)) != 0; }
    void insert(ContentKind kind) { bits_ |= bit(kind); }
    void erase(ContentKind kind) { bits_ &= static_cast<std::uint8_t>(~bit(kind)); }
    std::size_t size() const { return static_cast<std::size_t>(std::popcount(bits_)); }
    bool empty() const { return bits_ == 0; }

    Iterator begin() const { return Iterator(bits_, 0); }
    Iterator end() const { return Iterator(bits_, 8); }

    friend bool operator==(const ContentKindSet&, const ContentKindSet&) = default;

  private:
    static std::uint8_t bit(ContentKind kind) {
        return static_cast<std::uint8_t>(1u << static_cast<unsigned>(kind));
    }
    std::uint8_t bits_ = 0;
};

// The kinds found in one text.
struct ContentProfile {
    ContentKindSet kinds;

    bool has(ContentKind kind) const { return kinds.contains(kind); }

    // The one kind that stands for the text: the first of url, todoLike, dateTime,
    // longParagraph, shortPhrase, sentence that is present; sentence when none is.
    ContentKind primary() const;

    friend bool operator==(const ContentProfile&, const ContentProfile&) = default;
};

}  // namespace pivorel
