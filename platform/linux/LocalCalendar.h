#pragma once
#include <sys/types.h>

#include <ctime>

#include "platform/Calendar.h"

namespace velmora {

// The C library's local time. The C library reads the zone again when TZ changes, but not when the
// zone file changes under the same TZ (a zone set while running), so the file TZ names, else
// /etc/localtime, is watched and the zone reloaded when it is replaced or rewritten.
class LocalCalendar final : public Calendar {
public:
    std::optional<LocalTime> localTime(Date date) const override;
    std::optional<CalendarDay> localDay(Date date) const override;
    std::optional<Date> startOfDay(CalendarDay day) const override;

private:
    struct FileIdentity {
        bool present = false;
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        std::timespec modified{};
    };
    void followZone() const;

    mutable bool followed_ = false;
    mutable FileIdentity zone_;
};

}  // namespace velmora
