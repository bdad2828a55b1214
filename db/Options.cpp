#include "db/Options.h"

#include "db/QueryResult.h"
#include "db/Text.h"

namespace velmorant {

std::string GetOption(const std::string& name, const std::string& def) {
    // Option names are program constants and go into the statement unescaped.
    const std::string sql = "select OPT_NAME, OPT_VAL from MY_OPTIONS where (Upper(OPT_NAME)=\"" +
                            AsciiUpper(name) + "\") limit 1";
    auto q = Query(sql);
    if (!q) return def;
    q->First();
    const std::string value = Trim(q->Value("OPT_VAL", def));
    return value.empty() ? def : value;
}

}  // namespace velmorant
