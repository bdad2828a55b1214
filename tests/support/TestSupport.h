#pragma once

#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "db/Notifier.h"

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

std::string readFile(const std::filesystem::path& p);
void writeFile(const std::filesystem::path& p, const std::string& bytes);

// Runs a shell command and returns its exit code; stdout and stderr are captured.
struct CommandResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};
CommandResult runCommand(const std::string& command);

}  // namespace velmorant::test
