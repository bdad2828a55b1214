#include "core/db/Options.h"

#include "core/db/QueryResult.h"
#include "core/db/Text.h"

namespace velmorant {

std::string GetOption(const std::string& name, const std::string& def) {
    // The name is a value between single quotes: between double quotes a name such as OPT_VAL
    // would be read as that column.
    const std::string sql = "select OPT_NAME, OPT_VAL from MY_OPTIONS where (Upper(OPT_NAME)=" +
                            SqlQuoted(AsciiUpper(name)) + ") order by rowid limit 1";
    auto q = Query(sql);
    if (!q) return def;
    q->First();
    const std::string value = Trim(q->Value("OPT_VAL", def));
    return value.empty() ? def : value;
}

}  // namespace velmorant
