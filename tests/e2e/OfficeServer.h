#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace velmorant::test {

// The office simulator's FTP server (tools/office_simulator.py serve, pyftpdlib under
// /usr/bin/python3) on 127.0.0.1 and a port the system picked. It answers every uploaded
// PDATo1C.xml/.zip at once with a ToPDA.sqd/.zip in the same folder. The server is stopped
// with the object, and stops by itself when this process goes or after a few minutes.
class OfficeServer {
public:
    // `root` is the folder the server shows as "/"; `arguments` are passed on to "serve"
    // (--path, --clients, --goods, --delete-old, --message ...).
    OfficeServer(const std::filesystem::path& root, const std::vector<std::string>& arguments);
    ~OfficeServer();
    OfficeServer(const OfficeServer&) = delete;
    OfficeServer& operator=(const OfficeServer&) = delete;

    // Empty when the server listens; otherwise why it does not.
    const std::string& error() const { return m_error; }
    std::uint16_t port() const { return m_port; }
    // What the server printed so far (its start line, "answered ..." or "rejected ..." lines).
    std::string output() const;

    void stop();

private:
    std::filesystem::path m_log;
    pid_t m_pid = -1;
    std::uint16_t m_port = 0;
    std::string m_error;
};

// Path of the office simulator and of the Python that runs it.
std::string OfficeSimulator();
inline constexpr const char* kPython = "/usr/bin/python3";

}  // namespace velmorant::test
