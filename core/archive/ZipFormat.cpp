#include "core/archive/ZipFormat.h"

namespace velmorant::zip {

namespace {

uint32_t dosDateTimeOf(int year, int month, int day, int hour, int minute, int second) {
    if (year < 1980) return static_cast<uint32_t>((0 << 9) | (1 << 5) | 1) << 16;
    if (year > 2107) {
        return (static_cast<uint32_t>((127 << 9) | (12 << 5) | 31) << 16) |
               static_cast<uint32_t>((23 << 11) | (59 << 5) | 29);
    }
    const uint32_t date = static_cast<uint32_t>(((year - 1980) << 9) | (month << 5) | day);
    // A leap second (60) is folded into the last even second of the minute.
    if (second > 59) second = 59;
    const uint32_t time = static_cast<uint32_t>((hour << 11) | (minute << 5) | (second / 2));
    return (date << 16) | time;
}

}  // namespace

bool DosDateTimeFromTime(std::time_t t, uint32_t& dosDateTime) {
    std::tm local{};
    if (!localtime_r(&t, &local)) return false;
    dosDateTime = dosDateTimeOf(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                                local.tm_hour, local.tm_min, local.tm_sec);
    return true;
}

uint32_t DosDateTimeFromDate(DateTime date) {
    int year, month, day, hour, minute, second;
    DecodeDate(date, year, month, day);
    DecodeTime(date, hour, minute, second);
    return dosDateTimeOf(year, month, day, hour, minute, second);
}

bool TimeFromDosDateTime(uint32_t dosDateTime, std::time_t& t) {
    const uint32_t time = dosDateTime & 0xFFFF;
    const uint32_t date = dosDateTime >> 16;
    const int year = static_cast<int>(date >> 9) + 1980;
    const int month = static_cast<int>((date >> 5) & 0x0F);
    const int day = static_cast<int>(date & 0x1F);
    const int hour = static_cast<int>(time >> 11);
    const int minute = static_cast<int>((time >> 5) & 0x3F);
    const int second = static_cast<int>(time & 0x1F) * 2;
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month)) return false;
    if (hour > 23 || minute > 59 || second > 59) return false;
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    const std::time_t result = std::mktime(&local);
    if (result == static_cast<std::time_t>(-1)) return false;
    t = result;
    return true;
}

}  // namespace velmorant::zip
