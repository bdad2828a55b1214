#pragma once

#include <string>

namespace velmorant {

// Whether `signature` (the text of ToPDA.sig: the base64 of a detached Ed25519 signature, 64
// bytes) signs `message` (the exact bytes of ToPDA.sqd, followed by those of ToPDA.sql when
// the script's header asks for it) under `publicKey` (the option AnswerKey: the base64 of the
// office's 32-byte public key). Blanks and line breaks around and inside either text are
// ignored; anything else that is not base64 of the right length makes the answer false.
bool AnswerSignatureValid(const std::string& publicKey, const std::string& signature,
                          const std::string& message);

}  // namespace velmorant
