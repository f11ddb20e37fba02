#include "engine/sampling/FootprintHistory.h"

#include <algorithm>
#include <utility>

namespace velmora {

namespace {

constexpr std::size_t minimumCapacity = 8;
// Below this capacity a mostly empty ring is not worth giving back.
constexpr std::size_t shrinkFloor = 64;

std::size_t grownCapacity(std::size_t capacity) { return std::max(minimumCapacity, capacity + capacity / 8); }

}  // namespace

FootprintHistory::FootprintHistory(const FootprintHistory& other) {
    if (other.size_ == 0) return;
    dates_ = std::make_unique<double[]>(other.size_);
    low_ = std::make_unique<std::uint32_t[]>(other.size_);
    high_ = std::make_unique<std::uint16_t[]>(other.size_);
    capacity_ = other.size_;
    for (std::size_t i = 0; i < other.size_; ++i) {
        const std::size_t s = other.slot(i);
        dates_[i] = other.dates_[s];
        low_[i] = other.low_[s];
        high_[i] = other.high_[s];
    }
    size_ = other.size_;
    ordered_ = other.ordered_;
}

void FootprintHistory::swap(FootprintHistory& other) noexcept {
    std::swap(dates_, other.dates_);
    std::swap(low_, other.low_);
    std::swap(high_, other.high_);
    std::swap(capacity_, other.capacity_);
    std::swap(head_, other.head_);
    std::swap(size_, other.size_);
    std::swap(ordered_, other.ordered_);
}

FootprintHistory& FootprintHistory::operator=(const FootprintHistory& other) {
    if (this != &other) *this = FootprintHistory(other);
    return *this;
}

FootprintHistory::Point FootprintHistory::operator[](std::size_t i) const {
    const std::size_t s = slot(i);
    return Point{Date{dates_[s]}, (std::uint64_t{high_[s]} << 32) | low_[s]};
}

void FootprintHistory::store(std::size_t s, Date date, std::uint64_t footprintBytes) {
    const std::uint64_t v = std::min(footprintBytes, maxFootprint);
    dates_[s] = date.secondsSince2001;
    low_[s] = static_cast<std::uint32_t>(v);
    high_[s] = static_cast<std::uint16_t>(v >> 32);
}

void FootprintHistory::reallocate(std::size_t newCapacity) {
    if (newCapacity == 0) {
        dates_.reset();
        low_.reset();
        high_.reset();
        capacity_ = head_ = size_ = 0;
        ordered_ = true;
        return;
    }
    auto dates = std::make_unique<double[]>(newCapacity);
    auto low = std::make_unique<std::uint32_t[]>(newCapacity);
    auto high = std::make_unique<std::uint16_t[]>(newCapacity);
    const std::size_t kept = std::min(size_, newCapacity);
    const std::size_t skip = size_ - kept;
    for (std::size_t i = 0; i < kept; ++i) {
        const std::size_t s = slot(skip + i);
        dates[i] = dates_[s];
        low[i] = low_[s];
        high[i] = high_[s];
    }
    dates_ = std::move(dates);
    low_ = std::move(low);
    high_ = std::move(high);
    capacity_ = newCapacity;
    head_ = 0;
    size_ = kept;
}

std::size_t FootprintHistory::firstIndexAtOrAfter(Date date) const {
    const double d = date.secondsSince2001;
    if (ordered_) {
        std::size_t lo = 0, hi = size_;
        while (lo < hi) {
            const std::size_t mid = lo + (hi - lo) / 2;
            if (dates_[slot(mid)] < d) lo = mid + 1;
            else hi = mid;
        }
        return lo;
    }
    for (std::size_t i = 0; i < size_; ++i) {
        if (!(dates_[slot(i)] < d)) return i;
    }
    return size_;
}

void FootprintHistory::append(Date date, std::uint64_t footprintBytes) {
    if (size_ == capacity_) reallocate(grownCapacity(capacity_));
    if (size_ > 0 && date.secondsSince2001 < dates_[slot(size_ - 1)]) ordered_ = false;
    store(slot(size_), date, footprintBytes);
    ++size_;
}

void FootprintHistory::keepNewest(std::size_t count) {
    if (size_ <= count) return;
    head_ = slot(size_ - count);
    size_ = count;
    if (size_ == 0) reallocate(0);
}

void FootprintHistory::removeBefore(Date cutoff) {
    const double c = cutoff.secondsSince2001;
    if (ordered_) {
        std::size_t drop = 0;
        while (drop < size_ && dates_[slot(drop)] < c) ++drop;
        if (drop > 0) {
            head_ = slot(drop);
            size_ -= drop;
        }
    } else {
        // Dates out of order: an early point may sit anywhere, so compact the whole ring.
        std::size_t kept = 0;
        bool ordered = true;
        for (std::size_t i = 0; i < size_; ++i) {
            const std::size_t from = slot(i);
            if (dates_[from] < c) continue;
            const std::size_t to = slot(kept);
            if (kept > 0 && dates_[from] < dates_[slot(kept - 1)]) ordered = false;
            dates_[to] = dates_[from];
            low_[to] = low_[from];
            high_[to] = high_[from];
            ++kept;
        }
        size_ = kept;
        ordered_ = ordered;
    }
    if (size_ == 0) {
        reallocate(0);
    } else if (capacity_ > shrinkFloor && size_ < capacity_ / 4) {
        reallocate(std::max(minimumCapacity, size_ + size_ / 8));
    }
}

void FootprintHistory::clear() { reallocate(0); }

bool FootprintHistory::operator==(const FootprintHistory& other) const {
    if (size_ != other.size_) return false;
    for (std::size_t i = 0; i < size_; ++i) {
        if (!((*this)[i] == other[i])) return false;
    }
    return true;
}

}  // namespace velmora
