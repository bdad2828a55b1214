#include "core/db/Text.h"

#include <errno.h>
#include <iconv.h>

#include <cstdint>
#include <cstring>

namespace velmorant {

namespace {

bool isBlank(char c) { return static_cast<unsigned char>(c) < 33; }

}  // namespace

std::string Trim(std::string_view text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && isBlank(text[begin])) ++begin;
    while (end > begin && isBlank(text[end - 1])) --end;
    return std::string(text.substr(begin, end - begin));
}

std::string AsciiUpper(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

std::string CutToken(std::string& text, char separator) {
    const auto pos = text.find(separator);
    if (pos == std::string::npos) {
        std::string result = Trim(text);
        text.clear();
        return result;
    }
    std::string result = Trim(std::string_view(text).substr(0, pos));
    text = Trim(std::string_view(text).substr(pos + 1));
    return result;
}

std::string SqlQuoted(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 8);
    out += '\'';
    for (char c : text) {
        if (c == '\0') continue;
        out += c;
        if (c == '\'') out += '\'';
    }
    out += '\'';
    return out;
}

std::size_t DecodeUtf8(std::string_view s, std::size_t i, std::int32_t& cp) {
    const auto c = static_cast<unsigned char>(s[i]);
    cp = -1;
    if (c < 0x80) {
        cp = c;
        return 1;
    }
    std::size_t len = 0;
    std::int32_t value = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
        value = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        value = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        value = c & 0x07;
    } else {
        return 1;
    }
    if (i + len > s.size()) return 1;
    for (std::size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) return 1;
        value = (value << 6) | (b & 0x3F);
    }
    const std::int32_t minimum = len == 2 ? 0x80 : len == 3 ? 0x800 : 0x10000;
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 1;
    cp = value;
    return len;
}

namespace {

// Every code point that a byte of the code pages here stands for lies below this.
constexpr size_t kEncodedCodePoints = 0x2200;

// The code point of the UTF-8 sequence at the start of `s` when it may be one that a byte of
// a code page stands for, with its length; 0 for anything else.
unsigned codePointAt(std::string_view s, size_t& length) {
    std::int32_t cp = -1;
    length = DecodeUtf8(s, 0, cp);
    return cp >= 0x80 && static_cast<size_t>(cp) < kEncodedCodePoints ? static_cast<unsigned>(cp)
                                                                      : 0;
}

}  // namespace

CodePageConverter::CodePageConverter(const char* from, const char* to)
    : m_cd(iconv_open(to, from)), m_fromUtf8(std::string_view(from) == "UTF-8") {
    if (m_cd == reinterpret_cast<iconv_t>(-1) || std::string_view(to) == "UTF-8") {
        if (!m_fromUtf8 && m_cd != reinterpret_cast<iconv_t>(-1)) {
            for (size_t b = 0; b < m_upper.size(); ++b) {
                const char byte = static_cast<char>(0x80 + b);
                ConvertRun(std::string_view(&byte, 1), m_upper[b]);
                iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
            }
        }
        return;
    }
    if (!m_fromUtf8) return;
    // Into a code page: each upper byte, read back through iconv, names a code point; it goes
    // into the table only when iconv writes exactly that byte for it.
    CodePageConverter decoder(to, "UTF-8");
    if (decoder.m_cd == reinterpret_cast<iconv_t>(-1)) return;
    m_encode.assign(kEncodedCodePoints, -1);
    for (size_t b = 0; b < m_upper.size(); ++b) {
        const std::string& utf8 = decoder.m_upper[b];
        size_t length = 0;
        const unsigned cp = utf8.empty() ? 0 : codePointAt(utf8, length);
        if (cp == 0 || length != utf8.size() || cp >= kEncodedCodePoints) continue;
        std::string encoded;
        ConvertRun(utf8, encoded);
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        if (encoded.size() == 1 && static_cast<unsigned char>(encoded[0]) == 0x80 + b) {
            m_encode[cp] = static_cast<short>(0x80 + b);
        }
    }
}

CodePageConverter::~CodePageConverter() {
    if (m_cd != reinterpret_cast<iconv_t>(-1)) iconv_close(m_cd);
}

std::string CodePageConverter::Convert(std::string_view text) {
    std::string out;
    Append(text, out);
    return out;
}

void CodePageConverter::Append(std::string_view text, std::string& out) {
    if (!m_encode.empty()) {
        AppendFromUtf8(text, out);
        return;
    }
    if (!m_fromUtf8 && m_cd != reinterpret_cast<iconv_t>(-1)) {
        out.reserve(out.size() + text.size() + text.size() / 2);
        size_t run = 0;
        for (size_t i = 0; i < text.size(); ++i) {
            const auto c = static_cast<unsigned char>(text[i]);
            if (c < 0x80) continue;
            out.append(text.substr(run, i - run));
            out += m_upper[c - 0x80];
            run = i + 1;
        }
        out.append(text.substr(run));
        return;
    }
    // ASCII is the same in every code page here: copy it, and convert only the stretch from
    // the first to the last byte above it.
    size_t first = 0;
    while (first < text.size() && static_cast<unsigned char>(text[first]) < 0x80) ++first;
    if (first == text.size() || m_cd == reinterpret_cast<iconv_t>(-1)) {
        out.append(text);
        return;
    }
    size_t last = text.size();
    while (static_cast<unsigned char>(text[last - 1]) < 0x80) --last;
    out.append(text.substr(0, first));
    ConvertRun(text.substr(first, last - first), out);
    out.append(text.substr(last));
}

void CodePageConverter::AppendFromUtf8(std::string_view text, std::string& out) {
    // Every character takes at least one byte in and gives at most one byte out: write into
    // room for the whole text and cut the rest off at the end.
    size_t written = out.size();
    out.resize(written + text.size());
    char* dst = out.data() + written;
    size_t i = 0;
    while (i < text.size()) {
        // ASCII stays as it is, eight bytes at a time where it can.
        while (i + 8 <= text.size()) {
            std::uint64_t word;
            std::memcpy(&word, text.data() + i, sizeof word);
            if (word & 0x8080808080808080ull) break;
            std::memcpy(dst, &word, sizeof word);
            dst += 8;
            i += 8;
        }
        if (i == text.size()) break;
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            *dst++ = static_cast<char>(c);
            ++i;
            continue;
        }
        size_t length = 0;
        const unsigned cp = codePointAt(text.substr(i), length);
        if (cp != 0 && cp < m_encode.size() && m_encode[cp] >= 0) {
            *dst++ = static_cast<char>(m_encode[cp]);
            i += length;
            continue;
        }
        // Whatever the table does not know, iconv decides, one sequence at a time: the lead
        // byte and the continuation bytes after it.
        length = 1;
        while (length < 4 && i + length < text.size() &&
               (static_cast<unsigned char>(text[i + length]) & 0xC0) == 0x80) {
            ++length;
        }
        out.resize(static_cast<size_t>(dst - out.data()));
        ConvertRun(text.substr(i, length), out);
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        i += length;
        written = out.size();
        out.resize(written + (text.size() - i));
        dst = out.data() + written;
    }
    out.resize(static_cast<size_t>(dst - out.data()));
}

void CodePageConverter::ConvertRun(std::string_view run, std::string& out) {
    char* in = const_cast<char*>(run.data());
    size_t inLeft = run.size();
    char buffer[1024];
    while (inLeft > 0) {
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        const size_t rc = iconv(m_cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<size_t>(outPtr - buffer));
        if (rc != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) continue;
        // A character the target lacks, or a broken sequence: one "?" for the lead byte and,
        // in UTF-8, the continuation bytes after it.
        size_t skip = 1;
        if (m_fromUtf8) {
            while (skip < inLeft && skip < 4 &&
                   (static_cast<unsigned char>(in[skip]) & 0xC0) == 0x80) {
                ++skip;
            }
        }
        in += skip;
        inLeft -= skip;
        out += '?';
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
    }
}

std::string Utf8ToCp1251(std::string_view text) {
    thread_local CodePageConverter converter("UTF-8", "CP1251");
    return converter.Convert(text);
}
std::string Cp1251ToUtf8(std::string_view text) {
    thread_local CodePageConverter converter("CP1251", "UTF-8");
    return converter.Convert(text);
}
std::string Cp866ToUtf8(std::string_view text) {
    thread_local CodePageConverter converter("CP866", "UTF-8");
    return converter.Convert(text);
}

std::string OneLineText(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x20 && c != 0x7F) {
            out += ch;
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        }
    }
    return out;
}

}  // namespace velmorant
