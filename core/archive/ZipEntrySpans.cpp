#include "core/archive/ZipEntrySpans.h"

#include <algorithm>

#include "core/archive/FileIo.h"
#include "core/archive/ZipDirectory.h"
#include "core/archive/ZipFormat.h"

namespace velmorant {

using namespace zip;

void ZipEntrySpans::Collect(TZipRec& rec) {
    m_spans.clear();
    m_spanEndMax.clear();
    rec.position = 0;
    while (NextCentralEntry(rec)) {
        const uint64_t begin = rec.localHeaderOffset;
        uint64_t end = begin + kLocalHeaderSize;
        uint8_t header[kLocalHeaderSize];
        if (readAt(rec.archive.get(), header, sizeof header, begin) ==
                static_cast<ssize_t>(sizeof header) &&
            get32(header) == kLocalHeaderSignature) {
            const bool descriptor = ((get16(header + 6) | rec.flags) & kFlagDataDescriptor) != 0;
            end += get16(header + 26) + get16(header + 28) +
                   uint64_t{descriptor ? rec.compressedSize : get32(header + 18)};
        }
        m_spans.push_back({begin, end});
    }
    rec.position = 0;
    std::sort(m_spans.begin(), m_spans.end(),
              [](const Span& a, const Span& b) { return a.begin < b.begin; });
    uint64_t furthest = 0;
    for (const Span& span : m_spans) {
        furthest = std::max(furthest, span.end);
        m_spanEndMax.push_back(furthest);
    }
}

void ZipEntrySpans::Clear() {
    m_spans.clear();
    m_spanEndMax.clear();
}

// True when another entry's span shares a byte with [begin, end): two entries that start at
// the same place, one that starts inside this one, or one that reaches into it.
bool ZipEntrySpans::OverlapsOther(uint64_t begin, uint64_t end) const {
    const auto byBegin = [](const Span& span, uint64_t value) { return span.begin < value; };
    const auto first = std::lower_bound(m_spans.begin(), m_spans.end(), begin, byBegin);
    auto after = first;
    while (after != m_spans.end() && after->begin == begin) ++after;
    if (after - first > 1) return true;
    if (after != m_spans.end() && after->begin < end) return true;
    const auto before = static_cast<size_t>(first - m_spans.begin());
    return before > 0 && m_spanEndMax[before - 1] > begin;
}

}  // namespace velmorant
