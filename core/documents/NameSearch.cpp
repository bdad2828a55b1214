#include "core/documents/NameSearch.h"

#include <string.h>

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <unordered_map>

namespace velmorant {

namespace {

// Case folding is defined character by character (it never looks at the neighbours), so the
// folder is asked once for every distinct character of the names, and the names are put
// together from its answers. Asking it for the whole text at once costs many times more
// with Qt's folding (tens of nanoseconds a character), and a catalogue has a few hundred
// distinct characters in millions.
class CharacterFolding {
public:
    explicit CharacterFolding(const CaseFolder& fold) : m_fold(fold), m_small(kSmall) {}

    // Appends `text` folded to `out`; a line break becomes a blank.
    void Append(std::string_view text, std::string& out) {
        for (std::size_t i = 0; i < text.size();) {
            const auto c = static_cast<unsigned char>(text[i]);
            std::int32_t cp = c;
            std::size_t len = 1;
            if (c >= 0x80) {
                const auto n = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
                if (c >= 0xC2 && c <= 0xDF && (n & 0xC0) == 0x80) {
                    cp = ((c & 0x1F) << 6) | (n & 0x3F);  // two bytes: most letters there are
                    len = 2;
                } else {
                    len = DecodeUtf8(text, i, cp);
                }
            }
            if (cp < 0) {
                out += text[i];  // no UTF-8: kept as it is
            } else if (cp < kSmall) {
                const Small& e = SmallEntry(cp, text.substr(i, len));
                if (e.length <= Small::kBytes) {
                    out.append(e.bytes, e.length);
                } else {
                    out += m_long.at(cp);
                }
            } else {
                out += LargeEntry(cp, text.substr(i, len));
            }
            i += len;
        }
    }

private:
    static constexpr std::int32_t kSmall = 0x800;  // Latin, Greek, Cyrillic and the like

    // The folded form of one character as short bytes; longer forms live in m_long.
    struct Small {
        static constexpr std::size_t kBytes = 6;
        char bytes[kBytes];
        std::uint8_t length = 0xFF;  // 0xFF: not asked yet
    };

    std::string Ask(std::int32_t cp, std::string_view utf8) {
        if (cp == '\n' || cp == '\r') return " ";
        std::string folded = m_fold(utf8);
        // A folder that gave a line break back would split a name in two.
        std::replace(folded.begin(), folded.end(), '\n', ' ');
        return folded;
    }

    const Small& SmallEntry(std::int32_t cp, std::string_view utf8) {
        Small& e = m_small[static_cast<std::size_t>(cp)];
        if (e.length == 0xFF) {
            const std::string folded = Ask(cp, utf8);
            if (folded.size() <= Small::kBytes) {
                std::copy(folded.begin(), folded.end(), e.bytes);
                e.length = static_cast<std::uint8_t>(folded.size());
            } else {
                m_long[cp] = folded;
                e.length = Small::kBytes + 1;
            }
        }
        return e;
    }

    const std::string& LargeEntry(std::int32_t cp, std::string_view utf8) {
        auto it = m_long.find(cp);
        if (it == m_long.end()) it = m_long.emplace(cp, Ask(cp, utf8)).first;
        return it->second;
    }

    const CaseFolder& m_fold;
    std::vector<Small> m_small;
    std::unordered_map<std::int32_t, std::string> m_long;
};

}  // namespace

FoldedNames::FoldedNames(const std::vector<std::string_view>& names, const CaseFolder& fold) {
    std::size_t total = 0;
    for (std::string_view n : names) total += n.size() + 1;
    m_text.reserve(total + total / 8);
    m_offsets.reserve(names.size() + 1);
    m_offsets.push_back(0);
    CharacterFolding folding(fold);
    for (std::string_view n : names) {
        folding.Append(n, m_text);
        m_text += '\n';
        if (m_text.size() >= std::numeric_limits<std::uint32_t>::max()) {
            throw std::length_error("folded names exceed 4 GiB");
        }
        m_offsets.push_back(static_cast<std::uint32_t>(m_text.size()));
    }
}

namespace {

// The first place of `needle` (not empty) in [from, end), nullptr when there is none. The
// last byte of the needle is looked for with memchr, which scans many bytes a step; in UTF-8
// text it is the most telling byte of a letter (the first one is shared by a whole alphabet).
const char* FindBytes(const char* from, const char* end, std::string_view needle) {
    const std::size_t n = needle.size();
    if (static_cast<std::size_t>(end - from) < n) return nullptr;
    const char last = needle.back();
    const char* p = from + (n - 1);
    while (p < end) {
        p = static_cast<const char*>(memchr(p, last, static_cast<std::size_t>(end - p)));
        if (!p) return nullptr;
        const char* start = p - (n - 1);
        if (memcmp(start, needle.data(), n - 1) == 0) return start;
        ++p;
    }
    return nullptr;
}

}  // namespace

void FoldedNames::FindAll(std::string_view foldedNeedle, std::vector<int>& found) const {
    found.clear();
    if (size() == 0) return;
    if (foldedNeedle.empty()) {
        for (std::size_t i = 0; i < size(); ++i) found.push_back(static_cast<int>(i));
        return;
    }
    // Names never hold a line feed, so a needle with one is in none of them; without one, a
    // hit in the joined text always lies inside a single name.
    if (foldedNeedle.find('\n') != std::string_view::npos) return;
    const char* begin = m_text.data();
    const char* end = begin + m_text.size();
    const char* from = begin;
    auto next = m_offsets.begin();
    while (const char* hit = FindBytes(from, end, foldedNeedle)) {
        const auto at = static_cast<std::uint32_t>(hit - begin);
        // The first name that starts after the hit; the hit is in the one before it.
        next = std::upper_bound(next, m_offsets.end(), at);
        const auto index = static_cast<std::size_t>(next - m_offsets.begin()) - 1;
        found.push_back(static_cast<int>(index));
        from = begin + m_offsets[index + 1];  // one hit is enough for a name
    }
}

bool FoldedNames::Contains(std::size_t i, std::string_view foldedNeedle) const {
    if (foldedNeedle.empty()) return true;
    const std::string_view name = at(i);
    return FindBytes(name.data(), name.data() + name.size(), foldedNeedle) != nullptr;
}

int FindFirstByName(const FoldedNames& names, std::string_view foldedText) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names.StartsWith(i, foldedText)) return static_cast<int>(i);
    }
    std::vector<int> found;
    names.FindAll(foldedText, found);
    return found.empty() ? -1 : found.front();
}

}  // namespace velmorant
