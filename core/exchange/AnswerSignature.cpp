#include "core/exchange/AnswerSignature.h"

#include <sodium.h>

#include <vector>

namespace velmorant {

namespace {

// The bytes of a base64 text of exactly `size` bytes; empty when the text is not one.
std::vector<unsigned char> decode(const std::string& text, std::size_t size) {
    std::vector<unsigned char> bytes(size + 3);
    std::size_t length = 0;
    const char* end = nullptr;
    if (sodium_base642bin(bytes.data(), bytes.size(), text.data(), text.size(), " \t\r\n", &length,
                          &end, sodium_base64_VARIANT_ORIGINAL) != 0 ||
        end != text.data() + text.size() || length != size)
        return {};
    bytes.resize(size);
    return bytes;
}

}  // namespace

bool AnswerSignatureValid(const std::string& publicKey, const std::string& signature,
                          const std::string& message) {
    if (sodium_init() < 0) return false;
    const auto key = decode(publicKey, crypto_sign_PUBLICKEYBYTES);
    const auto sig = decode(signature, crypto_sign_BYTES);
    if (key.empty() || sig.empty()) return false;
    return crypto_sign_verify_detached(sig.data(),
                                       reinterpret_cast<const unsigned char*>(message.data()),
                                       message.size(), key.data()) == 0;
}

}  // namespace velmorant
