#include "engine/support/Json.h"

#include <cmath>

namespace velmora {

namespace {
thread_local DateStrategy tlsStrategy = DateStrategy::secondsSince2001;
}

DateStrategy currentDateStrategy() { return tlsStrategy; }

ScopedDateStrategy::ScopedDateStrategy(DateStrategy strategy) : previous_(tlsStrategy) { tlsStrategy = strategy; }
ScopedDateStrategy::~ScopedDateStrategy() { tlsStrategy = previous_; }

Json encodeDate(Date date) {
    if (tlsStrategy == DateStrategy::iso8601) return toIso8601(date);
    return date.secondsSince2001;
}

Date decodeDate(const Json& j) {
    if (tlsStrategy == DateStrategy::iso8601) {
        Date d;
        if (!j.is_string() || !parseIso8601(j.get_ref<const std::string&>(), d)) throw DecodeError("expected an ISO 8601 date");
        return d;
    }
    if (!j.is_number()) throw DecodeError("expected a date as a number");
    const double v = j.get<double>();
    if (!std::isfinite(v)) throw DecodeError("date is not finite");
    return Date{v};
}

bool nestingWithin(std::string_view text, int limit) {
    int depth = 0;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\') ++i;
            else if (c == '"') inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > limit) return false;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return true;
}

std::optional<Json> parseJson(std::string_view text) {
    if (!nestingWithin(text, maxJsonNesting)) return std::nullopt;
    Json j = Json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false);
    if (j.is_discarded()) return std::nullopt;
    return j;
}

}  // namespace velmora
