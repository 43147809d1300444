#include "support/CRecordingHost.h"

#include <sstream>

std::string CRecordingHost::LogWithoutDates() const {
    std::istringstream in(m_log);
    std::string line, out;
    while (std::getline(in, line)) {
        for (const char* dated : {"Start of test ", "End of test: "})
            if (line.rfind(dated, 0) == 0)
                line = std::string(dated) + "<date>\r";
        out += line + "\n";
    }
    return out;
}
