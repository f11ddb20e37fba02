#pragma once
#include <map>

#include "platform/DefaultsStore.h"

namespace velmora {

class InMemoryDefaults final : public DefaultsStore {
public:
    std::optional<Json> value(const std::string& key) const override {
        auto it = values.find(key);
        if (it == values.end()) return std::nullopt;
        return it->second;
    }
    void setValue(const std::string& key, const Json& v) override {
        values[key] = v;
        ++writes;
    }
    void remove(const std::string& key) override {
        values.erase(key);
        ++writes;
    }

    std::map<std::string, Json> values;
    int writes = 0;
};

}  // namespace velmora
