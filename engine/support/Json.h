#pragma once
// JSON coding shared by every record: strict reads, optional fields left out when absent,
// enumerations as their case names, dates in the strategy of the coder in use.
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/support/Date.h"
#include "engine/support/Uuid.h"

namespace velmora {

using Json = nlohmann::json;

struct DecodeError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Stores write seconds since 2001; the export writes ISO 8601.
enum class DateStrategy { secondsSince2001, iso8601 };

DateStrategy currentDateStrategy();

// Sets the date strategy of this thread for the life of the guard.
class ScopedDateStrategy {
public:
    explicit ScopedDateStrategy(DateStrategy strategy);
    ~ScopedDateStrategy();
    ScopedDateStrategy(const ScopedDateStrategy&) = delete;
    ScopedDateStrategy& operator=(const ScopedDateStrategy&) = delete;

private:
    DateStrategy previous_;
};

// Enumerations with case names: specialise EnumNames<E> with `names`, in declaration order.
template <class E>
struct EnumNames;

template <class E>
concept NamedEnum = std::is_enum_v<E> && requires { EnumNames<E>::names; };

template <NamedEnum E>
constexpr std::string_view rawValue(E value) {
    return EnumNames<E>::names[static_cast<std::size_t>(value)];
}

template <NamedEnum E>
constexpr std::optional<E> enumFromRaw(std::string_view raw) {
    const auto& names = EnumNames<E>::names;
    for (std::size_t i = 0; i < names.size(); ++i)
        if (names[i] == raw) return static_cast<E>(i);
    return std::nullopt;
}

template <NamedEnum E>
constexpr std::vector<E> allCases() {
    std::vector<E> out;
    for (std::size_t i = 0; i < EnumNames<E>::names.size(); ++i) out.push_back(static_cast<E>(i));
    return out;
}

template <class T>
concept JsonRecord = requires(const T& t, const Json& j) {
    { t.toJson() } -> std::same_as<Json>;
    { T::fromJson(j) } -> std::same_as<T>;
};

template <class T>
struct IsOptional : std::false_type {};
template <class T>
struct IsOptional<std::optional<T>> : std::true_type {};
template <class T>
struct IsVector : std::false_type {};
template <class T>
struct IsVector<std::vector<T>> : std::true_type {};

Json encodeDate(Date date);
Date decodeDate(const Json& j);

template <class T>
Json encode(const T& value) {
    if constexpr (std::is_same_v<T, Date>) return encodeDate(value);
    else if constexpr (std::is_same_v<T, Uuid>) return value.toString();
    else if constexpr (NamedEnum<T>) return std::string(rawValue(value));
    else if constexpr (JsonRecord<T>) return value.toJson();
    else if constexpr (IsVector<T>::value) {
        Json arr = Json::array();
        for (const auto& item : value) arr.push_back(encode(item));
        return arr;
    } else if constexpr (IsOptional<T>::value) {
        return value ? encode(*value) : Json(nullptr);
    } else return Json(value);
}

template <class T>
T decode(const Json& j) {
    if constexpr (std::is_same_v<T, bool>) {
        if (!j.is_boolean()) throw DecodeError("expected a Boolean");
        return j.get<bool>();
    } else if constexpr (std::is_same_v<T, std::string>) {
        if (!j.is_string()) throw DecodeError("expected a string");
        return j.get<std::string>();
    } else if constexpr (std::is_same_v<T, double>) {
        if (!j.is_number()) throw DecodeError("expected a number");
        return j.get<double>();
    } else if constexpr (std::is_integral_v<T>) {
        if (!j.is_number_integer()) throw DecodeError("expected an integer");
        if (j.is_number_unsigned()) {
            const auto v = j.get<std::uint64_t>();
            if (v > static_cast<std::uint64_t>(std::numeric_limits<T>::max())) throw DecodeError("integer out of range");
            return static_cast<T>(v);
        }
        const auto v = j.get<std::int64_t>();
        if constexpr (std::is_unsigned_v<T>) {
            if (v < 0) throw DecodeError("integer out of range");
            if (static_cast<std::uint64_t>(v) > std::numeric_limits<T>::max()) throw DecodeError("integer out of range");
        } else {
            if (v < std::numeric_limits<T>::min() || v > std::numeric_limits<T>::max())
                throw DecodeError("integer out of range");
        }
        return static_cast<T>(v);
    } else if constexpr (std::is_same_v<T, Date>) {
        return decodeDate(j);
    } else if constexpr (std::is_same_v<T, Uuid>) {
        if (!j.is_string()) throw DecodeError("expected a UUID string");
        auto u = Uuid::parse(j.get_ref<const std::string&>());
        if (!u) throw DecodeError("malformed UUID");
        return *u;
    } else if constexpr (NamedEnum<T>) {
        if (!j.is_string()) throw DecodeError("expected a case name");
        auto e = enumFromRaw<T>(j.get_ref<const std::string&>());
        if (!e) throw DecodeError("unknown case name: " + j.get<std::string>());
        return *e;
    } else if constexpr (JsonRecord<T>) {
        if (!j.is_object()) throw DecodeError("expected an object");
        return T::fromJson(j);
    } else if constexpr (IsVector<T>::value) {
        if (!j.is_array()) throw DecodeError("expected an array");
        T out;
        out.reserve(j.size());
        for (const auto& item : j) out.push_back(decode<typename T::value_type>(item));
        return out;
    } else {
        static_assert(sizeof(T) == 0, "no JSON decoding for this type");
    }
}

// Reads a required key; missing or null keys and wrong types throw DecodeError.
template <class T>
T require(const Json& object, const char* key) {
    if (!object.is_object()) throw DecodeError("expected an object");
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) throw DecodeError(std::string("missing key: ") + key);
    try {
        return decode<T>(*it);
    } catch (const DecodeError& e) {
        throw DecodeError(std::string(key) + ": " + e.what());
    }
}

// Reads an optional key; a missing key or null reads as absent, a wrong type throws.
template <class T>
std::optional<T> optional(const Json& object, const char* key) {
    if (!object.is_object()) throw DecodeError("expected an object");
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) return std::nullopt;
    try {
        return decode<T>(*it);
    } catch (const DecodeError& e) {
        throw DecodeError(std::string(key) + ": " + e.what());
    }
}

// Writes a key only when the value is present.
template <class T>
void putOptional(Json& object, const char* key, const std::optional<T>& value) {
    if (value) object[key] = encode(*value);
}

// Parses text without throwing; nullopt for malformed JSON.
std::optional<Json> parseJson(std::string_view text);

}  // namespace velmora
