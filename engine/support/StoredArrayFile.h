#pragma once
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/support/Json.h"

namespace velmora {

class FileSystem;

// Stored files beyond this are refused and set aside: reading them would take minutes and gigabytes.
inline constexpr std::size_t maxStoredFileBytes = 64 * 1024 * 1024;

// Keeps an unreadable file as "<path>.bad-<unix seconds>", or "…-2", "…-3" when that name is taken.
// With its contents in hand the copy is written and the original stays until a good file replaces
// it; without, the file is moved. False when no copy could be kept.
bool setAsideUnreadable(FileSystem& files, const std::string& path, Date now, const std::string* contents);

// A store's file holding one JSON array of records, with dates as seconds since 2001 and each
// record's keys in field order. Reading salvages every record it can: a cut end or a damaged byte
// costs only the records it touches. A file that could not be read whole and clean is set aside
// before anything new is written; when that fails, writes are refused, so nothing unreadable is
// ever overwritten.
class StoredArrayFile {
public:
    StoredArrayFile(FileSystem& files, std::string path);

    // Decodes the file record by record and hands each one that decodes to `visit`, in file order,
    // until `visit` returns false; the rest of the file is then not read. Records that fail
    // are skipped and the file is set aside; `now` names the copy.
    template <class T, class Visit>
    void load(Date now, Visit visit) {
        ScopedDateStrategy dates(DateStrategy::secondsSince2001);
        bool damaged = false;
        scanElements(damaged, [&](Json&& element) {
            try {
                return visit(decode<T>(element));
            } catch (const DecodeError&) {
            } catch (const Json::exception&) {
            }
            damaged = true;
            return true;
        });
        if (damaged) setAside(now);
        contents_.reset();
    }

    template <class T>
    std::vector<T> load(Date now) {
        std::vector<T> records;
        load<T>(now, [&](T&& record) {
            records.push_back(std::move(record));
            return true;
        });
        return records;
    }

    // Encodes the records as one array and writes it atomically. False when refused or failed.
    template <class T>
    bool save(const std::vector<T>& records) {
        ScopedDateStrategy dates(DateStrategy::secondsSince2001);
        // Text from outside (window titles) may hold invalid UTF-8: replace it rather than lose the save.
        return write(encode<OrderedJson>(records).dump(-1, ' ', false, OrderedJson::error_handler_t::replace));
    }

    const std::string& path() const { return path_; }
    // True once an unreadable file could not be set aside; the file is then never written.
    bool writesRefused() const { return writesRefused_; }

    // Hands each top-level element of a JSON array text, parsed on its own, to `visit` until it
    // returns false. After damage the scan resumes at the next place a record can start.
    // `damaged` is set when anything was skipped or the text is not a whole array.
    static void scanArray(std::string_view text, bool& damaged, const std::function<bool(Json&&)>& visit);

private:
    void scanElements(bool& damaged, const std::function<bool(Json&&)>& visit);
    void setAside(Date now);
    bool write(const std::string& contents);

    FileSystem& files_;
    std::string path_;
    std::optional<std::string> contents_;  // what was read, kept until it is set aside
    bool writesRefused_ = false;
};

}  // namespace velmora
