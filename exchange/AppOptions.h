#pragma once

#include <cstdint>
#include <string>

namespace velmorant {

// The exchange settings as the exchange uses them, read from MY_OPTIONS every time the
// exchange screen is shown (LoadAppOptions).
struct TAppOptions {
    bool UseZip = false;
    bool UseFTP = false;  // option UseFTP = "1" and a server address is set
    bool FTPAuth = false;
    bool FTPAuto = false;  // only when option UseFTP = "1"
    std::string FTPAddress;
    std::string FTPPath;
    std::string FTPLogin;     // "anonimous" when FTPAuth is off
    std::string FTPPassword;  // the built-in anonymous password when FTPAuth is off
    std::uint16_t FTPPort = 21;
};

}  // namespace velmorant
