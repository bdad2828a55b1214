// The decoders of the unpacker: stored, shrunk (LZW with partial clearing), reduced
// (follower sets and a DLE-coded sliding window), imploded (Shannon-Fano trees over a 4K or
// 8K window) and deflated (zlib's raw inflate). Each produces exactly the uncompressed size
// through the 32 768-byte window or fails.
#include <zlib.h>

#include <algorithm>
#include <array>
#include <vector>

#include "core/archive/FileIo.h"
#include "core/archive/Unzipper.h"
#include "core/archive/ZipEntryDecoder.h"
#include "core/db/AtomicFile.h"

namespace velmorant {

using namespace zip;

ZipEntryDecoder::ZipEntryDecoder(const ZipEntryData& data, AtomicFile* output, uint64_t runLimit,
                                 uint64_t& runOutput)
    : m_archive(data.archive),
      m_output(output),
      m_runLimit(runLimit),
      m_runOutput(runOutput),
      m_compressedSize(data.compressedSize),
      m_uncompressedSize(data.uncompressedSize),
      m_expectedCrc(data.expectedCrc),
      m_flags(data.flags),
      m_window(new uint8_t[kWindowSize]()),
      m_inputLeft(data.compressedSize),
      m_inputOffset(data.offset),
      m_crc(::crc32(0L, Z_NULL, 0)) {}

int ZipEntryDecoder::Decode(uint16_t method) {
    int result = 0;
    switch (method) {
        case 0:
            result = decodeStored();
            break;
        case 1:
            result = decodeShrunk();
            break;
        case 2:
        case 3:
        case 4:
        case 5:
            result = decodeReduced(method - 1);
            break;
        case 6:
            result = decodeImploded();
            break;
        default:
            result = decodeDeflated();
            break;
    }
    if (result == 0 && !flushWindow()) result = kUnzipWriteError;
    // A failed read makes whatever the decoder concluded meaningless.
    if (m_inputError) result = m_inputError;
    if (m_limitPassed) result = kUnzipDamaged;
    if (result != 0) return result;
    if (m_written != m_uncompressedSize || m_crc != m_expectedCrc) return kUnzipCrcError;
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Input and output

int ZipEntryDecoder::fillInput() {
    if (m_inputLeft == 0 || m_inputError) return 0;
    const auto want = static_cast<size_t>(std::min<uint64_t>(kInputSize, m_inputLeft));
    const ssize_t n = readAt(m_archive, m_input, want, m_inputOffset);
    if (n <= 0) {
        // A failed read ends the run; an archive that ends inside the data has it cut short.
        if (n < 0) m_inputError = kUnzipReadError;
        m_inputLeft = 0;
        return 0;
    }
    m_inputOffset += static_cast<uint64_t>(n);
    m_inputLeft -= static_cast<uint64_t>(n);
    m_inputPos = 0;
    m_inputFill = static_cast<uint32_t>(n);
    return static_cast<int>(n);
}

int ZipEntryDecoder::nextByte() {
    if (m_inputPos == m_inputFill && fillInput() == 0) return -1;
    return m_input[m_inputPos++];
}

// The next `count` bits (at most 24), least significant first; zeros once the data ended.
uint32_t ZipEntryDecoder::getBits(int count) {
    while (m_bitCount < count) {
        int byte = nextByte();
        if (byte < 0) {
            byte = 0;
            ++m_overrunBytes;
        }
        m_bitBuffer |= static_cast<uint32_t>(byte) << m_bitCount;
        m_bitCount += 8;
    }
    const uint32_t value = m_bitBuffer & ((1u << count) - 1);
    m_bitBuffer >>= count;
    m_bitCount -= count;
    return value;
}

bool ZipEntryDecoder::flushWindow() {
    const uint64_t size = m_written - m_flushed;
    if (size == 0) return true;
    // The run's limit holds whatever the entry's header said: nothing beyond it is written.
    if (size > m_runLimit - m_runOutput) {
        m_limitPassed = true;
        return false;
    }
    m_runOutput += size;
    const uint8_t* start = m_window.get() + (m_flushed & (kWindowSize - 1));
    m_crc = ::crc32(m_crc, start, static_cast<uInt>(size));
    if (m_output && !m_output->Write(start, size)) {
        m_writeFailed = true;
        return false;
    }
    m_flushed = m_written;
    return true;
}

bool ZipEntryDecoder::putByte(uint8_t byte) {
    m_window[m_written & (kWindowSize - 1)] = byte;
    ++m_written;
    if ((m_written & (kWindowSize - 1)) == 0) return flushWindow();
    return true;
}

// Copies `length` bytes from `distance` bytes back, stopping at the uncompressed size. Bytes
// before the start of the output read as zeros: the window starts zeroed, and the distance
// never exceeds the window size.
bool ZipEntryDecoder::copyMatch(uint32_t distance, uint32_t length) {
    for (uint32_t i = 0; i < length && m_written < m_uncompressedSize; ++i) {
        if (!putByte(m_window[(m_written - distance) & (kWindowSize - 1)])) return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Method 0: stored

int ZipEntryDecoder::decodeStored() {
    uint64_t left = m_compressedSize;
    while (left > 0) {
        const auto piece = static_cast<size_t>(std::min<uint64_t>(left, kWindowSize));
        const ssize_t n = readAt(m_archive, m_window.get(), piece, m_inputOffset);
        if (n < 0) return kUnzipReadError;
        if (static_cast<size_t>(n) != piece) return kUnzipDamaged;  // the archive is cut short
        m_inputOffset += piece;
        left -= piece;
        m_written += piece;
        if (!flushWindow()) return kUnzipWriteError;
        if (m_written > m_uncompressedSize) return kUnzipCrcError;
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Method 1: shrunk. Codes of 9 to 13 bits; code 256 is followed by 1 (one bit wider) or 2
// (partial clear: every code from 257 up that is no other code's prefix becomes free). A new
// code, the previous string extended by the first byte of the current one, takes the lowest
// free code above 256.

int ZipEntryDecoder::decodeShrunk() {
    constexpr int kControl = 256;
    constexpr int kTableSize = 8192;
    constexpr int16_t kFree = -1;
    constexpr int16_t kRoot = -2;
    constexpr int kMaxCodeSize = 13;
    std::vector<int16_t> prefix(kTableSize, kFree);
    std::vector<uint8_t> suffix(kTableSize, 0);
    std::vector<uint8_t> stack(kTableSize);
    for (int i = 0; i < 256; ++i) {
        prefix[i] = kRoot;
        suffix[i] = static_cast<uint8_t>(i);
    }
    if (m_uncompressedSize == 0) return 0;

    int codeSize = 9;
    int lastFree = kControl;  // codes up to here are known to be in use
    int previous = -1;
    uint8_t previousFirst = 0;
    while (m_written < m_uncompressedSize) {
        const int code = static_cast<int>(getBits(codeSize));
        if (inputOverrun()) return kUnzipDamaged;
        if (code == kControl) {
            const uint32_t command = getBits(codeSize);
            if (command == 1) {
                if (codeSize >= kMaxCodeSize) return kUnzipDamaged;
                ++codeSize;
            } else if (command == 2) {
                std::vector<bool> isPrefix(kTableSize, false);
                for (int c = kControl + 1; c < kTableSize; ++c) {
                    if (prefix[c] >= 0) isPrefix[static_cast<size_t>(prefix[c])] = true;
                }
                for (int c = kControl + 1; c < kTableSize; ++c) {
                    if (!isPrefix[static_cast<size_t>(c)]) prefix[c] = kFree;
                }
                lastFree = kControl;
            } else {
                return kUnzipDamaged;
            }
            continue;
        }
        if (previous < 0) {
            // The first code is a plain byte.
            if (code > 255) return kUnzipDamaged;
            if (!putByte(static_cast<uint8_t>(code))) return kUnzipWriteError;
            previous = code;
            previousFirst = static_cast<uint8_t>(code);
            continue;
        }

        // Walk the string from its last byte back to its first.
        size_t length = 0;
        int walk = code;
        if (prefix[code] == kFree) {
            // A code used in the step that defines it: the previous string plus its own first
            // byte.
            stack[length++] = previousFirst;
            walk = previous;
        }
        for (;;) {
            if (walk < 0 || prefix[walk] == kFree || length >= stack.size()) return kUnzipDamaged;
            stack[length++] = suffix[walk];
            if (prefix[walk] == kRoot) break;
            walk = prefix[walk];
        }
        const uint8_t first = stack[length - 1];
        for (size_t i = length; i > 0 && m_written < m_uncompressedSize; --i) {
            if (!putByte(stack[i - 1])) return kUnzipWriteError;
        }

        int freeCode = lastFree + 1;
        while (freeCode < kTableSize && prefix[freeCode] != kFree) ++freeCode;
        if (freeCode < kTableSize) {
            prefix[freeCode] = static_cast<int16_t>(previous);
            suffix[freeCode] = first;
            lastFree = freeCode;
        } else {
            lastFree = kTableSize - 1;
        }
        previous = code;
        previousFirst = first;
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Methods 2 to 5: reduced with compression factor 1 to 4. Bytes come through follower sets
// (per preceding byte, up to 63 likely successors); byte 144 (DLE) introduces a length and
// distance pair, or stands for itself when followed by 0.

int ZipEntryDecoder::decodeReduced(int factor) {
    constexpr uint8_t kDle = 144;
    static constexpr std::array<uint8_t, 5> kLengthMask = {0, 0x7F, 0x3F, 0x1F, 0x0F};
    std::array<std::array<uint8_t, 64>, 256> followers{};
    std::array<uint8_t, 256> followerCount{};
    for (int byte = 255; byte >= 0; --byte) {
        followerCount[byte] = static_cast<uint8_t>(getBits(6));
        for (int i = 0; i < followerCount[byte]; ++i) {
            followers[byte][i] = static_cast<uint8_t>(getBits(8));
        }
    }
    if (inputOverrun()) return kUnzipDamaged;

    // Bits needed to index a follower set of n entries.
    auto indexBits = [](int n) {
        int bits = 1;
        while ((1 << bits) < n) ++bits;
        return bits;
    };

    const uint8_t lengthMask = kLengthMask[factor];
    uint8_t last = 0;
    int state = 0;
    uint32_t lengthCode = 0;
    uint32_t length = 0;
    while (m_written < m_uncompressedSize) {
        if (inputOverrun()) return kUnzipDamaged;
        uint8_t byte = 0;
        if (followerCount[last] == 0 || getBits(1) != 0) {
            byte = static_cast<uint8_t>(getBits(8));
        } else {
            const uint32_t index = getBits(indexBits(followerCount[last]));
            if (index >= followerCount[last]) return kUnzipDamaged;
            byte = followers[last][index];
        }
        switch (state) {
            case 0:
                if (byte == kDle) {
                    state = 1;
                } else if (!putByte(byte)) {
                    return kUnzipWriteError;
                }
                break;
            case 1:
                if (byte == 0) {
                    if (!putByte(kDle)) return kUnzipWriteError;
                    state = 0;
                } else {
                    lengthCode = byte;
                    length = byte & lengthMask;
                    state = length == lengthMask ? 2 : 3;
                }
                break;
            case 2:
                length += byte;
                state = 3;
                break;
            default: {
                const uint32_t distance = ((lengthCode >> (8 - factor)) << 8) + byte + 1;
                if (!copyMatch(distance, length + 3)) return kUnzipWriteError;
                state = 0;
                break;
            }
        }
        last = byte;
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Method 6: imploded. Flag bit 1 selects the 8K window (else 4K), bit 2 a third tree for
// literals (else literals are plain bytes). The trees are Shannon-Fano codes given as runs of
// bit lengths; codes are read most significant bit first.

namespace {

struct ShannonFanoTree {
    std::array<uint16_t, 17> count{};   // codes of each length
    std::array<uint32_t, 17> lowest{};  // the lowest code of each length
    std::array<uint16_t, 17> first{};   // index in `symbols` of each length's group
    std::vector<uint16_t> symbols;      // by length, then by value
};

// Builds the codes the way the format describes: values sorted by bit length (stable), codes
// handed out from the last (longest) one up, the increment following the current length.
bool buildTree(const std::vector<uint8_t>& lengths, ShannonFanoTree& tree) {
    const size_t n = lengths.size();
    std::vector<uint16_t> order(n);
    for (size_t i = 0; i < n; ++i) order[i] = static_cast<uint16_t>(i);
    std::stable_sort(order.begin(), order.end(),
                     [&](uint16_t a, uint16_t b) { return lengths[a] < lengths[b]; });
    tree.symbols = order;
    tree.count.fill(0);
    for (size_t i = 0; i < n; ++i) ++tree.count[lengths[i]];
    uint16_t index = 0;
    for (int len = 1; len <= 16; ++len) {
        tree.first[len] = index;
        index = static_cast<uint16_t>(index + tree.count[len]);
    }
    // The first code handed out within a length is the lowest; it belongs to the group's last
    // value in sorted order, and the codes rise by one towards the group's first value.
    std::array<bool, 17> seen{};
    uint32_t code = 0;
    uint32_t increment = 0;
    int lastLength = 0;
    for (size_t k = n; k > 0; --k) {
        const int len = lengths[order[k - 1]];
        code += increment;
        if (len != lastLength) {
            lastLength = len;
            increment = 1u << (16 - len);
        }
        if (code > 0xFFFF) return false;  // more codes than the lengths allow
        if (!seen[len]) {
            seen[len] = true;
            tree.lowest[len] = code >> (16 - len);
        }
    }
    return true;
}

}  // namespace

int ZipEntryDecoder::decodeImploded() {
    const bool bigWindow = (m_flags & 0x02) != 0;
    const bool literalTree = (m_flags & 0x04) != 0;

    auto readTree = [this](size_t values, ShannonFanoTree& tree) {
        std::vector<uint8_t> lengths;
        lengths.reserve(values);
        const uint32_t bytes = getBits(8) + 1;
        for (uint32_t i = 0; i < bytes; ++i) {
            const uint32_t byte = getBits(8);
            const uint32_t bits = (byte & 0x0F) + 1;
            const uint32_t run = (byte >> 4) + 1;
            if (lengths.size() + run > values) return false;
            lengths.insert(lengths.end(), run, static_cast<uint8_t>(bits));
        }
        return lengths.size() == values && !inputOverrun() && buildTree(lengths, tree);
    };
    // Returns the decoded value, or -1 when no code matches.
    auto decode = [this](const ShannonFanoTree& tree) -> int {
        uint32_t code = 0;
        for (int len = 1; len <= 16; ++len) {
            code = (code << 1) | getBits(1);
            const uint32_t count = tree.count[len];
            if (count > 0 && code >= tree.lowest[len] && code - tree.lowest[len] < count) {
                return tree.symbols[tree.first[len] + count - 1 - (code - tree.lowest[len])];
            }
        }
        return -1;
    };

    ShannonFanoTree literals, lengths, distances;
    if (literalTree && !readTree(256, literals)) return kUnzipDamaged;
    if (!readTree(64, lengths) || !readTree(64, distances)) return kUnzipDamaged;
    const uint32_t minimumLength = literalTree ? 3 : 2;
    const int lowDistanceBits = bigWindow ? 7 : 6;

    while (m_written < m_uncompressedSize) {
        if (inputOverrun()) return kUnzipDamaged;
        if (getBits(1) != 0) {
            int literal = literalTree ? decode(literals) : static_cast<int>(getBits(8));
            if (literal < 0) return kUnzipDamaged;
            if (!putByte(static_cast<uint8_t>(literal))) return kUnzipWriteError;
            continue;
        }
        const uint32_t low = getBits(lowDistanceBits);
        const int high = decode(distances);
        if (high < 0) return kUnzipDamaged;
        const uint32_t distance = ((static_cast<uint32_t>(high) << lowDistanceBits) | low) + 1;
        const int lengthCode = decode(lengths);
        if (lengthCode < 0) return kUnzipDamaged;
        uint32_t length = static_cast<uint32_t>(lengthCode);
        if (length == 63) length += getBits(8);
        if (!copyMatch(distance, length + minimumLength)) return kUnzipWriteError;
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Method 8: deflated, through zlib's raw inflate.

int ZipEntryDecoder::decodeDeflated() {
    z_stream stream{};
    if (inflateInit2(&stream, -15) != Z_OK) return kUnzipDamaged;
    // zlib's state is freed on every way out.
    struct InflateEnd {
        z_stream& z;
        ~InflateEnd() { inflateEnd(&z); }
    } end{stream};
    int result = 0;
    bool inputDone = false;
    for (;;) {
        if (stream.avail_in == 0 && !inputDone) {
            const int n = fillInput();
            if (m_inputError) {
                result = m_inputError;
                break;
            }
            inputDone = n == 0;
            stream.next_in = m_input;
            stream.avail_in = static_cast<uInt>(n);
        }
        const auto position = static_cast<uint32_t>(m_written & (kWindowSize - 1));
        stream.next_out = m_window.get() + position;
        stream.avail_out = kWindowSize - position;
        const int ret = inflate(&stream, Z_NO_FLUSH);
        m_written += (kWindowSize - position) - stream.avail_out;
        if ((m_written & (kWindowSize - 1)) == 0 && m_written > m_flushed && !flushWindow()) {
            result = kUnzipWriteError;
            break;
        }
        if (m_written > m_uncompressedSize) {
            // More output than the header states: not the stored entry.
            result = kUnzipCrcError;
            break;
        }
        if (ret == Z_STREAM_END) break;
        if (ret == Z_OK) continue;
        if (ret == Z_BUF_ERROR && !inputDone) continue;
        // Z_BUF_ERROR with no input left: the data ends inside the stream.
        result = kUnzipDamaged;
        break;
    }
    return result;
}

}  // namespace velmorant
