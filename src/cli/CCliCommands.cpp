#include "cli/CCliCommands.h"

#include "engine/CFileEnumerator.h"
#include "engine/CUrlExtractor.h"

namespace {

constexpr const char* kUsage =
    "usage: linkvet-cli files [--all] [--recurse] [--html-only] PATH\n"
    "       linkvet-cli links FILE\n"
    "\n"
    "  files   the files a test of PATH takes, in test order, one per line\n"
    "          --all        PATH is a folder: test its files\n"
    "          --recurse    with --all: its sub-folders too\n"
    "          --html-only  only paths that look like HTML pages (.htm, .asp, ...)\n"
    "  links   the links of FILE in page order: URL, TAB, anchor name\n";

} // namespace

int CCliCommands::Run(const std::vector<std::string>& args) {
    if (args.empty())
        return Usage("no command given");
    const std::string& command = args[0];
    std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "files")
        return Files(rest);
    if (command == "links")
        return Links(rest);
    if (command == "help" || command == "--help" || command == "-h") {
        std::fputs(kUsage, m_out);
        return kExitOk;
    }
    return Usage("unknown command: " + command);
}

int CCliCommands::Files(const std::vector<std::string>& args) {
    bool bAll = false, bRecurse = false, bHtmlOnly = false, bOptionsDone = false;
    std::vector<std::string> paths;
    for (const std::string& arg : args) {
        if (!bOptionsDone && arg == "--")
            bOptionsDone = true;
        else if (!bOptionsDone && arg == "--all")
            bAll = true;
        else if (!bOptionsDone && arg == "--recurse")
            bRecurse = true;
        else if (!bOptionsDone && arg == "--html-only")
            bHtmlOnly = true;
        else if (!bOptionsDone && arg.size() > 1 && arg[0] == '-')
            return Usage("unknown option: " + arg);
        else
            paths.push_back(arg);
    }
    if (paths.size() != 1)
        return Usage("files takes exactly one PATH");
    bRecurse = bRecurse && bAll; // sub-folders are only walked with their folder

    std::string refusal = CFileEnumerator::CheckSelectedPath(paths[0], bAll);
    if (!refusal.empty()) {
        Error(refusal);
        return kExitUnusable;
    }
    for (const std::string& file :
         CFileEnumerator::CollectFiles(paths[0], bRecurse, bAll, bHtmlOnly))
        WriteLine(file);
    return kExitOk;
}

int CCliCommands::Links(const std::vector<std::string>& args) {
    std::vector<std::string> paths;
    bool bOptionsDone = false;
    for (const std::string& arg : args) {
        if (!bOptionsDone && arg == "--")
            bOptionsDone = true;
        else if (!bOptionsDone && arg.size() > 1 && arg[0] == '-')
            return Usage("unknown option: " + arg);
        else
            paths.push_back(arg);
    }
    if (paths.size() != 1)
        return Usage("links takes exactly one FILE");

    StringList urls, names;
    if (!CUrlExtractor::ExtractUrls(paths[0], urls, names)) {
        Error("Cannot open file: " + paths[0]);
        return kExitUnusable;
    }
    std::string line;
    for (std::size_t i = 0; i < urls.size(); ++i) {
        line.assign(urls[i]).append(1, '\t').append(names[i]);
        WriteLine(line);
    }
    return kExitOk;
}

int CCliCommands::Usage(const std::string& problem) {
    std::fprintf(m_err, "linkvet-cli: %s\n%s", problem.c_str(), kUsage);
    return kExitUnusable;
}

void CCliCommands::WriteLine(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), m_out);
    std::fputc('\n', m_out);
}

void CCliCommands::Error(const std::string& message) {
    std::fwrite(message.data(), 1, message.size(), m_err);
    std::fputc('\n', m_err);
}
