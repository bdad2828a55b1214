#include "core/db/Guid.h"

#include <uuid/uuid.h>

namespace velmorant {

std::string NewGuidText() {
    uuid_t id;
    uuid_generate_random(id);
    char text[37];
    uuid_unparse_upper(id, text);
    std::string result(text);
    return result.size() == 36 ? result : std::string(kNullGuid);
}

}  // namespace velmorant
