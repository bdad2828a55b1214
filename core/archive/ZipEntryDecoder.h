#pragma once

#include <cstdint>
#include <memory>

namespace velmorant {

class AtomicFile;

// Where one entry's compressed data lies and what it must give.
struct ZipEntryData {
    int archive = -1;     // the archive, open for reading
    uint64_t offset = 0;  // of the first byte of the compressed data
    uint32_t compressedSize = 0;
    uint32_t uncompressedSize = 0;
    uint32_t expectedCrc = 0;
    uint16_t flags = 0;  // the local header's general-purpose flags (imploding reads two)
};

// The decoders of one entry: stored, shrunk, reduced, imploded and deflated data, read in
// blocks of up to 4 096 bytes (never beyond the entry's data) and produced through a
// 32 768-byte window into `output` (none: the data is only checked). One object decodes one
// entry once.
class ZipEntryDecoder {
public:
    // `runOutput` counts what the unpacking run has produced so far; the entry may add to it
    // only up to `runLimit`.
    ZipEntryDecoder(const ZipEntryData& data, AtomicFile* output, uint64_t runLimit,
                    uint64_t& runOutput);

    // Decodes with compression `method` (0 to 8, not 7). Returns 0 when exactly the
    // uncompressed size came out with the expected CRC-32, otherwise kUnzipReadError,
    // kUnzipDamaged (also when the run's limit would be passed), kUnzipWriteError or
    // kUnzipCrcError.
    int Decode(uint16_t method);

private:
    int decodeStored();
    int decodeShrunk();
    int decodeReduced(int factor);
    int decodeImploded();
    int decodeDeflated();

    int fillInput();
    int nextByte();
    uint32_t getBits(int count);
    bool inputOverrun() const { return m_overrunBytes > kInputSlack; }

    bool putByte(uint8_t byte);
    bool copyMatch(uint32_t distance, uint32_t length);
    bool flushWindow();

    static constexpr uint32_t kWindowSize = 32768;
    static constexpr uint32_t kInputSize = 4096;
    // Bytes of zeros a decoder may read past the end of its data before the data counts as
    // cut short (legacy decoders look ahead by a few bits).
    static constexpr uint32_t kInputSlack = 4;

    int m_archive;
    AtomicFile* m_output;
    uint64_t m_runLimit;
    uint64_t& m_runOutput;
    uint32_t m_compressedSize;
    uint32_t m_uncompressedSize;
    uint32_t m_expectedCrc;
    uint16_t m_flags;

    std::unique_ptr<uint8_t[]> m_window;
    uint64_t m_written = 0;  // bytes produced
    uint64_t m_flushed = 0;  // bytes of them already written to the output
    uint8_t m_input[kInputSize];
    uint32_t m_inputPos = 0;
    uint32_t m_inputFill = 0;
    uint64_t m_inputLeft = 0;     // bytes of the data not read yet
    uint64_t m_inputOffset = 0;   // archive offset of the next byte to read
    uint32_t m_overrunBytes = 0;  // zero bytes supplied after the data ended
    int m_inputError = 0;         // kUnzipReadError once a read failed
    bool m_writeFailed = false;
    bool m_limitPassed = false;  // the entry would have passed the run's limit
    uint32_t m_bitBuffer = 0;
    int m_bitCount = 0;
    uint32_t m_crc = 0;
};

}  // namespace velmorant
