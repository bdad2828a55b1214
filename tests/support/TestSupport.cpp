#include "support/TestSupport.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "db/Database.h"

namespace velmorant::test {

RecordingNotifier::RecordingNotifier() { m_previous = setNotifier(this); }

RecordingNotifier::~RecordingNotifier() { setNotifier(m_previous); }

MessageAnswer RecordingNotifier::show(const std::string& text, MessageIcon icon,
                                      MessageButtons buttons) {
    m_shown.push_back({text, icon, buttons});
    if (buttons == MessageButtons::Ok) return MessageAnswer::Ok;
    if (!m_answers.empty()) {
        MessageAnswer a = m_answers.front();
        m_answers.pop_front();
        return a;
    }
    return m_defaultAnswer;
}

std::vector<std::string> RecordingNotifier::texts() const {
    std::vector<std::string> out;
    for (const auto& m : m_shown) out.push_back(m.text);
    return out;
}

TempDir::TempDir() {
    std::string templ = (std::filesystem::temp_directory_path() / "velmorant-XXXXXX").string();
    if (!mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
    m_path = templ;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

TempProgramFolder::TempProgramFolder() {
    SetProgramFolder(str() + "/");
    if (!PrepareDatabase()) throw std::runtime_error("PrepareDatabase failed");
}

std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + p.string());
}

CommandResult runCommand(const std::string& command) {
    TempDir dir;
    const std::string outPath = (dir / "out").string();
    const std::string errPath = (dir / "err").string();
    const std::string full = command + " >'" + outPath + "' 2>'" + errPath + "'";
    int status = std::system(full.c_str());
    CommandResult r;
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = readFile(outPath);
    r.err = readFile(errPath);
    return r;
}

}  // namespace velmorant::test
