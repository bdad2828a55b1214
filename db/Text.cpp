#include "db/Text.h"

#include <errno.h>
#include <iconv.h>

namespace velmorant {

namespace {

bool isBlank(char c) { return static_cast<unsigned char>(c) < 33; }

// Converts with iconv; a character that the target lacks, or an invalid input sequence,
// becomes "?" and the conversion goes on after it.
std::string convert(std::string_view text, const char* from, const char* to, bool fromUtf8) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(text);
    std::string out;
    out.reserve(text.size() * 2);
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    char buffer[4096];
    while (inLeft > 0) {
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        const size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<size_t>(outPtr - buffer));
        if (rc != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) continue;
        // EILSEQ or EINVAL: skip one character of the input and write "?" for it.
        size_t skip = 1;
        if (fromUtf8) {
            const auto lead = static_cast<unsigned char>(*in);
            if (lead >= 0xF0 && lead < 0xF8) {
                skip = 4;
            } else if (lead >= 0xE0) {
                skip = lead < 0xF0 ? 3 : 1;
            } else if (lead >= 0xC0) {
                skip = 2;
            }
            // Never skip past a byte that does not continue the sequence.
            size_t valid = 1;
            while (valid < skip && valid < inLeft &&
                   (static_cast<unsigned char>(in[valid]) & 0xC0) == 0x80) {
                ++valid;
            }
            skip = valid;
        }
        if (skip > inLeft) skip = inLeft;
        in += skip;
        inLeft -= skip;
        out += '?';
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(cd);
    return out;
}

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

std::string SqlText(std::string_view text) {
    const std::string t = Trim(text);
    std::string out;
    out.reserve(t.size() + 8);
    for (char c : t) {
        out += c;
        if (c == '\'') out += '\'';
    }
    return out;
}

std::string XmlAttrText(std::string_view text) {
    const std::string t = Trim(text);
    std::string out;
    out.reserve(t.size() + 8);
    for (char c : t) {
        if (static_cast<unsigned char>(c) < 32) {
            out += ' ';
        } else if (c == '"') {
            out += "&quot;";
        } else {
            out += c;
        }
    }
    return out;
}

int IndexOfText(const std::string& text, const std::vector<std::string>& list, int def) {
    const std::string wanted = Trim(text);
    for (size_t i = 0; i < list.size(); ++i) {
        if (Trim(list[i]) == wanted) return static_cast<int>(i);
    }
    return def;
}

std::string Utf8ToCp1251(std::string_view text) { return convert(text, "UTF-8", "CP1251", true); }
std::string Cp1251ToUtf8(std::string_view text) { return convert(text, "CP1251", "UTF-8", false); }
std::string Cp866ToUtf8(std::string_view text) { return convert(text, "CP866", "UTF-8", false); }
std::string Utf8ToCp866(std::string_view text) { return convert(text, "UTF-8", "CP866", true); }

}  // namespace velmorant
