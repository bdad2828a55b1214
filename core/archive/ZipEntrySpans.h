#pragma once

#include <cstdint>
#include <vector>

#include "core/archive/ZipRec.h"

namespace velmorant {

// Where each entry of an archive lies: its local header, name, extra field and compressed
// data, for refusing entries that share their data (which expand one small archive many times
// over).
class ZipEntrySpans {
public:
    // Reads the span of every entry of the record's central directory (sizes that a data
    // descriptor defers are the directory's), and leaves the directory at its first header.
    void Collect(TZipRec& rec);
    // True when another entry's span shares a byte with [begin, end): two entries that start
    // at the same place, one that starts inside this one, or one that reaches into it.
    bool OverlapsOther(uint64_t begin, uint64_t end) const;
    void Clear();

private:
    struct Span {
        uint64_t begin;
        uint64_t end;
    };
    std::vector<Span> m_spans;           // sorted by start
    std::vector<uint64_t> m_spanEndMax;  // the furthest end among the spans up to each one
};

}  // namespace velmorant
