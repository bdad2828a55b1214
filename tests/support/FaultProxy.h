#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "support/TestSupport.h"

namespace velmorant::test {

// Our fault proxy (ftp_fault_proxy.py under /usr/bin/python3) between the device and an FTP
// server on 127.0.0.1: it delays the server's replies and misbehaves at a chosen moment of the
// session. ftp_fault_proxy.py describes the faults.
class FaultProxy {
public:
    struct Options {
        std::uint16_t targetPort = 0;
        int latencyMs = 0;
        std::string fault = "none";  // greeting, login, pasv, data, final, reset, short
        long after = 65536;          // data, reset, short: bytes of the data connection before it
    };

    explicit FaultProxy(const Options& options);
    ~FaultProxy();
    FaultProxy(const FaultProxy&) = delete;
    FaultProxy& operator=(const FaultProxy&) = delete;

    std::uint16_t port() const { return m_port; }
    // Whether the fault has struck.
    bool struck() const;

private:
    TempDir m_dir;
    pid_t m_pid = -1;
    std::uint16_t m_port = 0;
};

}  // namespace velmorant::test
