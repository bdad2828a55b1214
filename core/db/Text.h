#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace velmorant {

// Turns UTF-8 text into its Unicode case-folded form, also UTF-8, for comparing names without
// regard to letter case. The core does not fold by itself: the screens pass the folding of
// their toolkit (QString::toCaseFolded), so that names are compared exactly as the rest of the
// user interface compares letters, with no second Unicode library and no hand-made table of
// letters. A folder must keep line feeds as they are (case folding never touches them).
using CaseFolder = std::function<std::string(std::string_view utf8)>;

// Removes characters below 33 at both ends (bytes of UTF-8 sequences are never removed).
std::string Trim(std::string_view text);
// ASCII letters a-z to capitals; every other byte unchanged.
std::string AsciiUpper(std::string_view text);

// When `separator` occurs in `text`: returns the trimmed part before its first occurrence and
// leaves the trimmed rest in `text`. Otherwise returns the trimmed text and empties `text`.
std::string CutToken(std::string& text, char separator);

// The one way a value is written into the text of an SQL statement, for the statements whose
// exact text the system fixes (the document store, the options, the import's templates); the
// program's own statements bind their values instead (TQueryResult::Exec with values). The
// text between single quotes, every single quote doubled and NUL bytes dropped (they would
// cut the statement short); nothing is trimmed.
std::string SqlQuoted(std::string_view text);

// The length of the UTF-8 sequence at `s[i]` and its code point. A byte that starts no valid
// sequence (a stray continuation byte, a cut, overlong or surrogate sequence, a value beyond
// U+10FFFF) is one byte long and gets no code point (-1). The one UTF-8 decoder of the core.
std::size_t DecodeUtf8(std::string_view s, std::size_t i, std::int32_t& cp);

// Code pages. Inside the program all text is UTF-8. Characters that the target code page
// lacks become "?"; invalid input bytes become "?" too.
std::string Utf8ToCp1251(std::string_view text);
std::string Cp1251ToUtf8(std::string_view text);
std::string Cp866ToUtf8(std::string_view text);

// One direction of conversion with its iconv descriptor kept open, for converting much text
// (a whole export file) without opening one per call. Same rules as the functions above.
// `from` is UTF-8 or a single-byte code page. iconv spends some hundred instructions on every
// character, so the converter asks it once about each of the 128 upper bytes of a single-byte
// code page and then looks them up, in either direction; a character that no byte stands for
// still goes to iconv.
class CodePageConverter {
public:
    CodePageConverter(const char* from, const char* to);  // iconv names, e.g. "CP1251"
    ~CodePageConverter();
    CodePageConverter(const CodePageConverter&) = delete;
    CodePageConverter& operator=(const CodePageConverter&) = delete;

    std::string Convert(std::string_view text);
    void Append(std::string_view text, std::string& out);  // appends the converted text

private:
    void ConvertRun(std::string_view run, std::string& out);

    void* m_cd;  // iconv_t
    bool m_fromUtf8;
    void AppendFromUtf8(std::string_view text, std::string& out);

    std::array<std::string, 128> m_upper;  // from a single-byte code page: bytes 0x80-0xFF
    std::vector<short> m_encode;  // into a single-byte code page: code point -> byte, or -1
};

// A value typed by the agent or the office (a host, a login, a folder) for a log line: it stays
// on its one line whatever it holds. Line breaks and tabs show as \r, \n and \t, other control
// characters as \xHH; everything else, UTF-8 included, is kept as it is.
std::string OneLineText(std::string_view text);

}  // namespace velmorant
