#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace velmorant::test {

// Text that compresses like real exchange files and documents: words, GUIDs, numbers, tabs
// and line ends, the same for the same seed. The archive tests and the ZIP benchmark use it.
inline std::string mixedText(size_t size, uint32_t seed) {
    static const char* const kWords[] = {"order",
                                         "client",
                                         "goods",
                                         "price",
                                         "quantity",
                                         "Заявка",
                                         "склад",
                                         "отгрузка",
                                         "INSERT",
                                         "INTO",
                                         "SPR_GOODS",
                                         "VALUES",
                                         "sum",
                                         "date",
                                         "note",
                                         "агент",
                                         "продаж",
                                         "2024-06-01",
                                         "00000000-0000-0000-0000-000000000000",
                                         "total",
                                         "pieces",
                                         "box"};
    std::string out;
    out.reserve(size + 64);
    uint32_t state = seed ? seed : 1;
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    };
    while (out.size() < size) {
        const uint32_t r = next();
        switch (r % 8) {
            case 0:
                out += std::to_string(r % 100000);
                break;
            case 1:
                out += "\r\n";
                break;
            default:
                out += kWords[(r >> 8) % (sizeof kWords / sizeof kWords[0])];
                break;
        }
        out += (r >> 20) % 5 == 0 ? '\t' : ' ';
    }
    out.resize(size);
    return out;
}

}  // namespace velmorant::test
