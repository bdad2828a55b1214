#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

#include "core/db/Dates.h"

// Record layout helpers shared by the archive writer and reader. Every multi-byte number in a
// ZIP archive is little-endian.
namespace velmorant::zip {

inline constexpr uint32_t kLocalHeaderSignature = 0x04034B50;
inline constexpr uint32_t kCentralHeaderSignature = 0x02014B50;
inline constexpr uint32_t kEndRecordSignature = 0x06054B50;

inline constexpr size_t kLocalHeaderSize = 30;
inline constexpr size_t kCentralHeaderSize = 46;
inline constexpr size_t kEndRecordSize = 22;

// General-purpose flag bits.
inline constexpr uint16_t kFlagEncrypted = 0x0001;
inline constexpr uint16_t kFlagDataDescriptor = 0x0008;
inline constexpr uint16_t kFlagUtf8Name = 0x0800;

inline uint16_t get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void put32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

// DOS date and time packed as one 32-bit value: time in the low half, date in the high half.
// `t` is taken as local time. Years before 1980 become 1 January 1980 00:00:00 and years after
// 2107 31 December 2107 23:59:58, the range the DOS form can hold. Returns false when `t`
// cannot be converted to local time.
bool DosDateTimeFromTime(std::time_t t, uint32_t& dosDateTime);
// The same for a local date and time of day given as a date value, under the same range rule.
uint32_t DosDateTimeFromDate(DateTime date);

// The local time that a DOS date and time stands for (seconds = 2 x the stored value).
// Returns false when the value is not a valid calendar date and time.
bool TimeFromDosDateTime(uint32_t dosDateTime, std::time_t& t);

}  // namespace velmorant::zip
