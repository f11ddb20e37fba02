#pragma once
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>

#include "engine/support/Date.h"

namespace velmora {

// One app's footprint over time, oldest first.
//
// Hundreds of apps keep up to 7200 points each, so a point costs 14 bytes: the date as an exact
// double and the footprint in 48 bits (no process can map more than 2^47 bytes of user space;
// larger values saturate). The points sit in a ring that grows by an eighth, so appending and
// dropping the oldest are amortised O(1) and the spare capacity stays under 2 bytes a point.
class FootprintHistory {
public:
    struct Point {
        Date date;
        std::uint64_t footprintBytes = 0;
        bool operator==(const Point&) const = default;
    };

    static constexpr std::uint64_t maxFootprint = (std::uint64_t{1} << 48) - 1;
    static constexpr std::size_t bytesPerPoint = sizeof(double) + sizeof(std::uint32_t) + sizeof(std::uint16_t);

    FootprintHistory() = default;
    FootprintHistory(const FootprintHistory& other);
    FootprintHistory& operator=(const FootprintHistory& other);
    FootprintHistory(FootprintHistory&& other) noexcept { swap(other); }
    FootprintHistory& operator=(FootprintHistory&& other) noexcept {
        FootprintHistory moved(std::move(other));
        swap(moved);
        return *this;
    }
    void swap(FootprintHistory& other) noexcept;

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    // The i-th point, oldest first; i < size().
    Point operator[](std::size_t i) const;
    Point front() const { return (*this)[0]; }
    Point back() const { return (*this)[size_ - 1]; }

    // Index of the first point dated at or after `date`; size() when there is none.
    std::size_t firstIndexAtOrAfter(Date date) const;

    void append(Date date, std::uint64_t footprintBytes);
    // Drops the oldest points until at most `count` remain.
    void keepNewest(std::size_t count);
    // Drops every point dated before `cutoff`, wherever it sits (the clock may have been set back).
    void removeBefore(Date cutoff);
    void clear();

    // Bytes this history holds: the object itself plus its storage.
    std::size_t memoryBytes() const { return sizeof(*this) + capacity_ * bytesPerPoint; }
    std::size_t capacity() const { return capacity_; }

    bool operator==(const FootprintHistory& other) const;

    class const_iterator {
    public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = Point;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = Point;

        const_iterator() = default;
        Point operator*() const { return (*h_)[i_]; }
        Point operator[](difference_type n) const { return (*h_)[static_cast<std::size_t>(static_cast<difference_type>(i_) + n)]; }
        const_iterator& operator++() { ++i_; return *this; }
        const_iterator operator++(int) { auto t = *this; ++i_; return t; }
        const_iterator& operator--() { --i_; return *this; }
        const_iterator operator--(int) { auto t = *this; --i_; return t; }
        const_iterator& operator+=(difference_type n) { i_ = static_cast<std::size_t>(static_cast<difference_type>(i_) + n); return *this; }
        const_iterator& operator-=(difference_type n) { return *this += -n; }
        friend const_iterator operator+(const_iterator it, difference_type n) { return it += n; }
        friend const_iterator operator+(difference_type n, const_iterator it) { return it += n; }
        friend const_iterator operator-(const_iterator it, difference_type n) { return it -= n; }
        friend difference_type operator-(const const_iterator& a, const const_iterator& b) {
            return static_cast<difference_type>(a.i_) - static_cast<difference_type>(b.i_);
        }
        friend bool operator==(const const_iterator& a, const const_iterator& b) { return a.i_ == b.i_; }
        friend auto operator<=>(const const_iterator& a, const const_iterator& b) { return a.i_ <=> b.i_; }

    private:
        friend class FootprintHistory;
        const_iterator(const FootprintHistory* h, std::size_t i) : h_(h), i_(i) {}
        const FootprintHistory* h_ = nullptr;
        std::size_t i_ = 0;
    };

    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size_}; }

private:
    std::size_t slot(std::size_t i) const {
        const std::size_t s = head_ + i;
        return s >= capacity_ ? s - capacity_ : s;
    }
    void store(std::size_t slot, Date date, std::uint64_t footprintBytes);
    void reallocate(std::size_t newCapacity);

    // Three parallel arrays: dates, low 32 bits and high 16 bits of the footprint.
    std::unique_ptr<double[]> dates_;
    std::unique_ptr<std::uint32_t[]> low_;
    std::unique_ptr<std::uint16_t[]> high_;
    std::size_t capacity_ = 0;
    std::size_t head_ = 0;  // slot of the oldest point
    std::size_t size_ = 0;
    bool ordered_ = true;  // every point is dated at or after the one before it
};

// Per-app histories by grouping key.
using FootprintHistoryMap = std::unordered_map<std::string, FootprintHistory>;

}  // namespace velmora
