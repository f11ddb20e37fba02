#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// A random (version 4) UUID, written as the standard 36-character upper-case text.
struct Uuid {
    std::array<std::uint8_t, 16> bytes{};

    static Uuid random();
    static std::optional<Uuid> parse(std::string_view text);  // either letter case
    std::string toString() const;

    auto operator<=>(const Uuid&) const = default;
    bool operator==(const Uuid&) const = default;
};

}  // namespace velmora

template <>
struct std::hash<velmora::Uuid> {
    std::size_t operator()(const velmora::Uuid& u) const noexcept {
        std::size_t h = 0;
        for (auto b : u.bytes) h = h * 131 + b;
        return h;
    }
};
