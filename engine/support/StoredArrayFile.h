#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/support/Json.h"

namespace velmora {

class FileSystem;

// A store's file holding one JSON array of records, with dates as seconds since 2001.
// Reading salvages every complete element it can (a file cut short or one broken record costs only
// what is broken). A file that could not be read whole and clean is set aside as
// "<name>.bad-<unix seconds>" before anything new is written; when that fails, writes are refused,
// so nothing unreadable is ever overwritten.
class StoredArrayFile {
public:
    StoredArrayFile(FileSystem& files, std::string path);

    // Reads the file and decodes it element by element with decode<T>. Elements that fail are
    // skipped and the file is set aside; `now` names the copy.
    template <class T>
    std::vector<T> load(Date now) {
        ScopedDateStrategy dates(DateStrategy::secondsSince2001);
        std::vector<T> records;
        bool damaged = false;
        for (const auto& element : readElements(damaged)) {
            try {
                records.push_back(decode<T>(element));
            } catch (const DecodeError&) {
                damaged = true;
            } catch (const Json::exception&) {
                damaged = true;
            }
        }
        if (damaged) setAside(now);
        contents_.reset();
        return records;
    }

    // Encodes the records as one array and writes it atomically. False when refused or failed.
    template <class T>
    bool save(const std::vector<T>& records) {
        ScopedDateStrategy dates(DateStrategy::secondsSince2001);
        // Text from outside (window titles) may hold invalid UTF-8: replace it rather than lose the save.
        return write(encode(records).dump(-1, ' ', false, Json::error_handler_t::replace));
    }

    const std::string& path() const { return path_; }
    // True once an unreadable file could not be set aside; the file is then never written.
    bool writesRefused() const { return writesRefused_; }

    // The top-level elements of a JSON array text, each parsed on its own. Stops at a cut-off end;
    // `damaged` is set when anything was skipped or the text is not an array.
    static std::vector<Json> salvageArray(std::string_view text, bool& damaged);

private:
    std::vector<Json> readElements(bool& damaged);
    void setAside(Date now);
    bool write(const std::string& contents);

    FileSystem& files_;
    std::string path_;
    std::optional<std::string> contents_;  // what was read, kept until it is set aside
    bool writesRefused_ = false;
};

}  // namespace velmora
