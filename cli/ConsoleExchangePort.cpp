#include "cli/ConsoleExchangePort.h"

#include "core/db/Clock.h"
#include "core/db/Dates.h"

namespace velmorant::cli {

ConsoleExchangePort::ConsoleExchangePort(std::string folder, TAppOptions options,
                                         const Clock& clock, std::FILE* log)
    : m_folder(std::move(folder)), m_clock(clock), m_log(log), m_options(std::move(options)) {}

void ConsoleExchangePort::AddLogLine(const std::string& text) {
    // CR LF inside an entry starts a new console line.
    std::string out = TimeToText(m_clock.Now()) + " ";
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i] == '\r' ? '\n' : text[i];
    }
    out += '\n';
    std::fputs(out.c_str(), m_log);
    std::fflush(m_log);
}

}  // namespace velmorant::cli
