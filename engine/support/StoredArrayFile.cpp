#include "engine/support/StoredArrayFile.h"

#include <cmath>

#include "platform/FileSystem.h"

namespace velmora {

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::size_t skipSpaces(std::string_view text, std::size_t pos) {
    while (pos < text.size() && isSpace(text[pos])) ++pos;
    return pos;
}

// One past the bracket that closes the array or object opening at `pos`; npos when the text ends
// first or it nests too deep.
std::size_t endOfValue(std::string_view text, std::size_t pos) {
    int depth = 0;
    bool inString = false;
    for (std::size_t i = pos; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\') ++i;
            else if (c == '"') inString = false;
            continue;
        }
        if (c == '"') {
            inString = true;
        } else if (c == '{' || c == '[') {
            if (++depth > maxJsonNesting) return std::string_view::npos;
        } else if (c == '}' || c == ']') {
            if (--depth == 0) return i + 1;
        }
    }
    return std::string_view::npos;
}

}  // namespace

bool setAsideUnreadable(FileSystem& files, const std::string& path, Date now, const std::string* contents) {
    const double unix = now.unixSeconds();
    const long long stamp = std::isfinite(unix) && std::fabs(unix) < 1e15 ? static_cast<long long>(unix) : 0;
    const std::string base = path + ".bad-" + std::to_string(stamp);
    std::string target = base;
    for (int n = 2; files.exists(target) && n < 1000; ++n) target = base + "-" + std::to_string(n);
    if (files.exists(target)) return false;
    return contents ? files.writeAtomically(target, *contents) : files.move(path, target);
}

StoredArrayFile::StoredArrayFile(FileSystem& files, std::string path) : files_(files), path_(std::move(path)) {}

void StoredArrayFile::scanArray(std::string_view text, bool& damaged, const std::function<bool(Json&&)>& visit) {
    std::size_t pos = skipSpaces(text, 0);
    if (pos < text.size() && text[pos] == '[') {
        ++pos;
    } else {
        damaged = true;
        if (parseJson(text)) return;  // whole, but some other value than an array: nothing of ours
    }
    // Records are objects: after damage, every '{' is a place one may start. A start inside a
    // string or a record fails to parse or to decode and the scan moves on, so a good record is
    // never swallowed by a bad one.
    auto resync = [&](std::size_t from) {
        damaged = true;
        const std::size_t next = text.find('{', from);
        return next == std::string_view::npos ? text.size() : next;
    };
    for (;;) {
        pos = skipSpaces(text, pos);
        if (pos >= text.size()) {
            damaged = true;  // cut short before the closing bracket
            return;
        }
        const char c = text[pos];
        if (c == ']' && skipSpaces(text, pos + 1) == text.size()) return;
        if (c != '{' && c != '[') {
            pos = resync(pos);
            continue;
        }
        const std::size_t end = endOfValue(text, pos);
        std::optional<Json> element;
        if (end != std::string_view::npos) element = parseJson(text.substr(pos, end - pos));
        if (!element) {
            pos = resync(pos + 1);
            continue;
        }
        if (!visit(std::move(*element))) return;
        pos = skipSpaces(text, end);
        if (pos < text.size() && text[pos] == ',') ++pos;
        else if (pos >= text.size() || text[pos] != ']') damaged = true;
    }
}

void StoredArrayFile::scanElements(bool& damaged, const std::function<bool(Json&&)>& visit) {
    files_.removeLeftoverTemporaries(path_);
    auto result = files_.readAtMost(path_, maxStoredFileBytes);
    switch (result.status) {
        case FileSystem::ReadStatus::missing: return;
        case FileSystem::ReadStatus::failed:
        case FileSystem::ReadStatus::tooLarge: damaged = true; return;
        case FileSystem::ReadStatus::ok: break;
    }
    contents_ = std::move(result.contents);  // kept so a damaged file can be copied aside
    scanArray(*contents_, damaged, visit);
}

void StoredArrayFile::setAside(Date now) {
    if (!setAsideUnreadable(files_, path_, now, contents_ ? &*contents_ : nullptr)) writesRefused_ = true;
    contents_.reset();
}

bool StoredArrayFile::write(const std::string& contents) {
    if (writesRefused_) return false;
    return files_.writeAtomically(path_, contents);
}

}  // namespace velmora
