#pragma once
// JSON coding shared by every record: strict reads, optional fields left out when absent,
// enumerations as their case names, dates in the strategy of the coder in use.
#include <array>
#include <cmath>
#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/support/Date.h"
#include "engine/support/Uuid.h"

namespace velmora {

using Json = nlohmann::json;
// Objects that keep their keys in insertion order: stored files write records in field order.
using OrderedJson = nlohmann::ordered_json;

// Deeper text is refused when read: stored records nest a few levels, and a value nested tens of
// thousands deep would overflow the stack in the recursive copy and dump.
inline constexpr int maxJsonNesting = 32;

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

// One member of a record coded under its own name. A record lists its fields in declaration order
// as `static constexpr auto jsonFields = std::tuple{jsonField("name", &Record::name), ...}`;
// optional members are left out when absent and may be missing or null when read.
template <class T, class M>
struct JsonField {
    const char* name;
    M T::*member;
};

template <class T, class M>
constexpr JsonField<T, M> jsonField(const char* name, M T::*member) {
    return {name, member};
}

template <class T>
concept FieldRecord = requires { T::jsonFields; };

template <class J = Json, class T>
J encode(const T& value);

// A record's fields as an object of type J, in field order.
template <class J = Json, FieldRecord T>
J encodeFields(const T& record) {
    J object = J::object();
    std::apply(
        [&](const auto&... field) {
            auto put = [&](const auto& f) {
                const auto& member = record.*(f.member);
                if constexpr (IsOptional<std::remove_cvref_t<decltype(member)>>::value) {
                    if (member) object[f.name] = encode<J>(*member);
                } else {
                    object[f.name] = encode<J>(member);
                }
            };
            (put(field), ...);
        },
        T::jsonFields);
    return object;
}

template <class J, class T>
J encode(const T& value) {
    if constexpr (std::is_same_v<T, Date>) return J(encodeDate(value));
    else if constexpr (std::is_same_v<T, Uuid>) return value.toString();
    else if constexpr (NamedEnum<T>) return std::string(rawValue(value));
    else if constexpr (FieldRecord<T>) return encodeFields<J>(value);
    else if constexpr (JsonRecord<T>) return J(value.toJson());
    else if constexpr (IsVector<T>::value) {
        J arr = J::array();
        for (const auto& item : value) arr.push_back(encode<J>(item));
        return arr;
    } else if constexpr (IsOptional<T>::value) {
        return value ? encode<J>(*value) : J(nullptr);
    } else if constexpr (std::is_floating_point_v<T>) {
        // JSON has no NaN or infinity: they would be written as null and fail the record on the next load.
        return J(std::isfinite(value) ? value : 0.0);
    } else return J(value);
}

template <FieldRecord T>
T decodeFields(const Json& object);

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
    } else if constexpr (FieldRecord<T>) {
        return decodeFields<T>(j);
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

// A record read field by field: required members must be present, optional ones may be missing.
template <FieldRecord T>
T decodeFields(const Json& object) {
    if (!object.is_object()) throw DecodeError("expected an object");
    T record;
    std::apply(
        [&](const auto&... field) {
            auto get = [&](const auto& f) {
                auto& member = record.*(f.member);
                using M = std::remove_cvref_t<decltype(member)>;
                if constexpr (IsOptional<M>::value) member = optional<typename M::value_type>(object, f.name);
                else member = require<M>(object, f.name);
            };
            (get(field), ...);
        },
        T::jsonFields);
    return record;
}

// Parses text without throwing; nullopt for malformed JSON and for nesting deeper than maxJsonNesting.
std::optional<Json> parseJson(std::string_view text);
// False when arrays and objects in `text` nest deeper than `limit` (strings are looked past).
bool nestingWithin(std::string_view text, int limit);

}  // namespace velmora
