#pragma once
#include "platform/Calendar.h"

namespace velmora {

// The C library's local time: TZ, else /etc/localtime, read again whenever TZ changes.
class LocalCalendar final : public Calendar {
public:
    std::optional<CalendarDay> localDay(Date date) const override;
    std::optional<Date> startOfDay(CalendarDay day) const override;
};

}  // namespace velmora
