#include "engine/settings/StoredArrayFile.h"

#include <cmath>

#include "platform/FileSystem.h"

namespace velmora {

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// End of the JSON value starting at `pos`: the index of the ',' or ']' that follows it at depth 0,
// or npos when the text ends first.
std::size_t endOfElement(std::string_view text, std::size_t pos) {
    int depth = 0;
    bool inString = false;
    for (std::size_t i = pos; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\') ++i;
            else if (c == '"') inString = false;
            continue;
        }
        switch (c) {
            case '"': inString = true; break;
            case '{':
            case '[': ++depth; break;
            case '}':
            case ']':
                if (depth == 0) return i;
                --depth;
                break;
            case ',':
                if (depth == 0) return i;
                break;
            default: break;
        }
    }
    return std::string_view::npos;
}

}  // namespace

StoredArrayFile::StoredArrayFile(FileSystem& files, std::string path) : files_(files), path_(std::move(path)) {}

std::vector<Json> StoredArrayFile::salvageArray(std::string_view text, bool& damaged) {
    std::vector<Json> out;
    // The common case: a whole, clean array.
    if (auto whole = parseJson(text)) {
        if (whole->is_array()) {
            for (auto& element : *whole) out.push_back(std::move(element));
        } else {
            damaged = true;
        }
        return out;
    }
    damaged = true;
    std::size_t pos = 0;
    while (pos < text.size() && isSpace(text[pos])) ++pos;
    if (pos >= text.size() || text[pos] != '[') return out;
    ++pos;
    while (pos < text.size()) {
        while (pos < text.size() && isSpace(text[pos])) ++pos;
        if (pos >= text.size()) break;
        const std::size_t end = endOfElement(text, pos);
        if (end == std::string_view::npos) {
            // Cut off inside this element or right after it; only a whole object or array counts,
            // as a cut number would still parse.
            auto last = parseJson(text.substr(pos));
            if (last && last->is_structured()) out.push_back(std::move(*last));
            break;
        }
        if (end > pos) {
            if (auto element = parseJson(text.substr(pos, end - pos))) out.push_back(std::move(*element));
        }
        if (text[end] == ']') break;
        pos = end + 1;
    }
    return out;
}

std::vector<Json> StoredArrayFile::readElements(bool& damaged) {
    files_.removeLeftoverTemporaries(path_);
    auto result = files_.read(path_);
    switch (result.status) {
        case FileSystem::ReadStatus::missing: return {};
        case FileSystem::ReadStatus::failed:
            damaged = true;
            return {};
        case FileSystem::ReadStatus::ok: break;
    }
    auto elements = salvageArray(result.contents, damaged);
    contents_ = std::move(result.contents);  // a record may still fail to decode
    return elements;
}

void StoredArrayFile::setAside(Date now) {
    const double unix = now.unixSeconds();
    const long long stamp = std::isfinite(unix) && std::fabs(unix) < 1e15 ? static_cast<long long>(unix) : 0;
    std::string target = path_ + ".bad-" + std::to_string(stamp);
    for (int n = 2; files_.exists(target) && n < 1000; ++n) target = path_ + ".bad-" + std::to_string(stamp) + "-" + std::to_string(n);
    if (files_.exists(target)) {
        writesRefused_ = true;
        return;
    }
    // With the contents in hand, a copy leaves the original in place until a good file replaces it.
    const bool kept = contents_ ? files_.writeAtomically(target, *contents_) : files_.move(path_, target);
    if (!kept) writesRefused_ = true;
    contents_.reset();
}

bool StoredArrayFile::write(const std::string& contents) {
    if (writesRefused_) return false;
    return files_.writeAtomically(path_, contents);
}

}  // namespace velmora
