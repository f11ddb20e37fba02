#pragma once
#include <optional>
#include <string>

#include "engine/support/Json.h"

namespace velmora {

// The user defaults: JSON values by key, kept across runs.
class DefaultsStore {
public:
    virtual ~DefaultsStore() = default;
    virtual std::optional<Json> value(const std::string& key) const = 0;
    virtual void setValue(const std::string& key, const Json& value) = 0;
    virtual void remove(const std::string& key) = 0;

    bool boolValue(const std::string& key) const {  // false when absent or not a Boolean
        auto v = value(key);
        return v && v->is_boolean() && v->get<bool>();
    }
};

}  // namespace velmora
