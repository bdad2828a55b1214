#pragma once

#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/db/Notifier.h"

namespace velmorant::test {

// One box the core showed.
struct ShownMessage {
    std::string text;
    MessageIcon icon;
    MessageButtons buttons;
};

// Records every box and answers questions from a queue (then with a default answer).
// Installs itself as the core's notifier while it lives.
class RecordingNotifier : public Notifier {
public:
    RecordingNotifier();
    ~RecordingNotifier() override;

    MessageAnswer show(const std::string& text, MessageIcon icon, MessageButtons buttons) override;

    void queueAnswer(MessageAnswer a) { m_answers.push_back(a); }
    void setDefaultAnswer(MessageAnswer a) { m_defaultAnswer = a; }
    const std::vector<ShownMessage>& shown() const { return m_shown; }
    std::vector<std::string> texts() const;
    void clear() { m_shown.clear(); }

private:
    std::vector<ShownMessage> m_shown;
    std::deque<MessageAnswer> m_answers;
    MessageAnswer m_defaultAnswer = MessageAnswer::No;
    Notifier* m_previous = nullptr;
};

// A fresh folder under the system's temporary folder, removed with its contents at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::string str() const { return m_path.string(); }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

// A program folder in a TempDir with a prepared base.sdb: sets the program folder and the
// global database path, and restores neither (every test sets its own).
class TempProgramFolder : public TempDir {
public:
    TempProgramFolder();
    std::string dbPath() const { return (path() / "data" / "base.sdb").string(); }
};

// The global database (DatabasePath()) as the tests read and change it. A statement that fails
// throws std::runtime_error naming it, which fails the test.
using Rows = std::vector<std::vector<std::string>>;
// Every row `sql` returns, each as its cells (NULL as empty text).
Rows queryRows(const std::string& sql);
// The same rows, each as its cells joined by "|".
std::vector<std::string> joinedRows(const std::string& sql);
// Runs the statements one after the other on one connection.
void execSql(const std::vector<std::string>& statements);

std::string readFile(const std::filesystem::path& p);
void writeFile(const std::filesystem::path& p, const std::string& bytes);

// Runs a shell command and returns its exit code; stdout and stderr are captured.
struct CommandResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};
CommandResult runCommand(const std::string& command);

// Runs `body` in a child process that first drops to an ordinary user ("nobody") when this
// process is root (as in CI: root ignores file modes), so that read-only files and folders
// act as they do for an agent. Returns the text the body returned, or a text starting with
// "child failed:" when the child could not drop its rights or ended abnormally. The body
// runs in the child: it must not use test assertions, only return what the test compares.
std::string RunUnprivileged(const std::function<std::string()>& body);

// velmorant-cli where the user of RunUnprivileged can start it. A root process copies it into
// a folder every user may enter (a checkout under /root, mode 700, is closed to that user);
// the copy lasts as long as this process.
std::string CliPathForUnprivileged();

// Hands `path` and everything under it to the user RunUnprivileged runs as, and makes the
// folders above it passable, so that the child can work there.
void GiveToUnprivileged(const std::filesystem::path& path);

}  // namespace velmorant::test
