#include "support/TestSupport.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "core/db/Database.h"
#include "core/db/QueryResult.h"

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

Rows queryRows(const std::string& sql) {
    auto q = Query(sql);
    if (!q) throw std::runtime_error("query failed: " + sql);
    Rows rows;
    for (q->First(); !q->AtEnd(); q->Next()) {
        std::vector<std::string>& row = rows.emplace_back();
        for (int c = 0; c < q->ColumnCount(); ++c) row.push_back(q->Cell(c));
    }
    return rows;
}

std::vector<std::string> joinedRows(const std::string& sql) {
    std::vector<std::string> joined;
    for (const auto& row : queryRows(sql)) {
        std::string text;
        for (size_t c = 0; c < row.size(); ++c) text += (c > 0 ? "|" : "") + row[c];
        joined.push_back(text);
    }
    return joined;
}

void execSql(const std::vector<std::string>& statements) {
    auto q = TQueryResult::Create(DatabasePath(), true);
    if (!q) throw std::runtime_error("cannot open " + DatabasePath());
    for (const auto& sql : statements) {
        if (!q->Exec(sql)) throw std::runtime_error("statement failed: " + sql);
    }
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

namespace {

void unprivilegedIds(uid_t& uid, gid_t& gid) {
    uid = 65534;
    gid = 65534;
    if (const passwd* pw = ::getpwnam("nobody")) {
        uid = pw->pw_uid;
        gid = pw->pw_gid;
    }
}

}  // namespace

std::string RunUnprivileged(const std::function<std::string()>& body) {
    int fds[2];
    if (::pipe(fds) != 0) return "child failed: no pipe";
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return "child failed: no fork";
    }
    if (pid == 0) {
        ::close(fds[0]);
        std::string out;
        uid_t uid;
        gid_t gid;
        unprivilegedIds(uid, gid);
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)) {
            out = "child failed: cannot drop to uid " + std::to_string(uid);
        } else if (::geteuid() == 0) {
            out = "child failed: still root";
        } else {
            try {
                out = body();
            } catch (const std::exception& e) {
                out = std::string("child failed: ") + e.what();
            }
        }
        size_t done = 0;
        while (done < out.size()) {
            const ssize_t n = ::write(fds[1], out.data() + done, out.size() - done);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        ::close(fds[1]);
        ::_exit(0);  // no test framework teardown in the child
    }
    ::close(fds[1]);
    std::string out;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n <= 0) break;
        out.append(buffer, static_cast<size_t>(n));
    }
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "child failed: abnormal end";
    return out;
}

std::string CliPathForUnprivileged() {
    if (::geteuid() != 0) return VELMORANT_CLI_PATH;
    static const TempDir folder;
    const auto copy = folder.path() / "velmorant-cli";
    std::error_code ec;
    if (!std::filesystem::exists(copy, ec)) {
        std::filesystem::permissions(folder.path(), std::filesystem::perms::owner_all |
                                                        std::filesystem::perms::group_read |
                                                        std::filesystem::perms::group_exec |
                                                        std::filesystem::perms::others_read |
                                                        std::filesystem::perms::others_exec);
        std::filesystem::copy_file(VELMORANT_CLI_PATH, copy);
        std::filesystem::permissions(
            copy, std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                      std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                      std::filesystem::perms::others_exec);
    }
    return copy.string();
}

void GiveToUnprivileged(const std::filesystem::path& path) {
    if (::geteuid() != 0) return;  // already an ordinary user: the files are ours
    uid_t uid;
    gid_t gid;
    unprivilegedIds(uid, gid);
    auto give = [&](const std::filesystem::path& p) {
        if (::lchown(p.c_str(), uid, gid) != 0) {
            throw std::runtime_error("cannot hand " + p.string() + " over");
        }
    };
    give(path);
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(path)) {
            give(entry.path());
        }
    }
    // The folders above must let the user pass (a temporary folder is made mode 0700).
    for (std::filesystem::path p = path.parent_path(); !p.empty() && p != p.root_path();
         p = p.parent_path()) {
        struct stat st {};
        if (::stat(p.c_str(), &st) == 0 && (st.st_mode & 0001) == 0) {
            ::chmod(p.c_str(), (st.st_mode & 07777) | 0001);
        }
    }
}

}  // namespace velmorant::test
