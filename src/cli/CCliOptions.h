#pragma once

#include <string>
#include <vector>

/// The options of one linkvet-cli command, read from the words after its name.
///
/// Each command has a table of the options it takes: a row names an option,
/// says whether a value follows it, and reads and checks that value. Any other
/// word beginning with '-' is refused; "-" itself, a word without a leading
/// '-' and every word after "--" is the path.
class CCliOptions {
public:
    enum class ECommand { Files, Links, Check };

    /// Reads `args` by the table of `command`. Returns "" or what is wrong, as
    /// the usage message says it.
    std::string Parse(ECommand command, const std::vector<std::string>& args);

    bool m_bAll = false;
    bool m_bRecurse = false; ///< never without m_bAll
    bool m_bHtmlOnly = false;
    bool m_bCurrentWeb = false;
    std::string m_strFilter;   ///< "" keeps the stored filter
    int m_nTimeoutSeconds = 0; ///< 0 keeps the stored time-out
    int m_nHttpPort = 80;
    int m_nFtpPort = 21;
    int m_nReport = -1;      ///< a CReportWriter::EFormat, or -1 for none
    std::string m_strOutput; ///< the report's file; "" for standard output
    int m_nRepair = -1;      ///< a CRepairEngine::ERepairType, or -1 for none
    int m_nJobs = 1;         ///< 1: the paced test
    int m_nPerHost = 0;      ///< after Parse(), from 1 to m_nJobs
    std::string m_strPath;
};
