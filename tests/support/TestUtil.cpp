// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/TestUtil.h"

#include "base/CAtomicFile.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sys/wait.h>

STestCert MakeCert(const std::string& dir, const std::string& name, const STestCert* pCa,
                   const std::string& sans) {
    const auto quoted = [](const std::string& text) { return " '" + text + "'"; };
    const STestCert made{dir + "/" + name + ".pem", dir + "/" + name + ".key"};
    WriteFile(dir + "/" + name + ".cnf", "[req]\ndistinguished_name = dn\n[dn]\n");
    std::string command = "openssl req -x509 -config" + quoted(dir + "/" + name + ".cnf") +
                          " -newkey ec -pkeyopt ec_paramgen_curve:P-256 -noenc -days 3 -subj" +
                          quoted("/CN=" + name) + " -keyout" + quoted(made.keyFile) + " -out" +
                          quoted(made.certFile);
    if (pCa == nullptr)
        command += " -addext 'basicConstraints = critical,CA:TRUE'"
                   " -addext 'keyUsage = critical,keyCertSign'";
    else
        command += " -addext 'basicConstraints = CA:FALSE'"
                   " -addext 'extendedKeyUsage = serverAuth' -addext" +
                   quoted("subjectAltName = " + sans) + " -CA" + quoted(pCa->certFile) + " -CAkey" +
                   quoted(pCa->keyFile);
    // What the tool says is shown only when it fails.
    if (std::system((command + " >" + quoted(dir + "/" + name + ".log") + " 2>&1").c_str()) != 0)
        throw std::runtime_error("openssl cannot make " + made.certFile + ":\n" +
                                 ReadFile(dir + "/" + name + ".log"));
    return made;
}

CTempDir::CTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "linkvet-test-XXXXXX").string();
    char* made = ::mkdtemp(pattern.data());
    if (made == nullptr)
        throw std::runtime_error("cannot create a temporary folder");
    m_path = made;
    if (const char* old = std::getenv("XDG_CONFIG_HOME"))
        m_oldConfigHome = old;
    MakeDir(m_path + "/config");
    ::setenv("XDG_CONFIG_HOME", (m_path + "/config").c_str(), 1);
}

CTempDir::~CTempDir() {
    if (m_oldConfigHome)
        ::setenv("XDG_CONFIG_HOME", m_oldConfigHome->c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void MakeDir(const std::string& path) {
    std::filesystem::create_directories(path);
}

Texts TempFilesIn(const std::string& folder) {
    Texts names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (CAtomicFile::IsTempName(entry.path().filename().string()))
            names.push_back(entry.path().filename());
    return names;
}

int RunThisTestIn(const char* unshareFlags) {
    if (std::getenv("LINKVET_IN_NAMESPACE") != nullptr)
        return -2;
    if (std::system(("unshare " + std::string(unshareFlags) + " true 2>/dev/null").c_str()) != 0)
        return -1;
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string self = std::filesystem::read_symlink("/proc/self/exe");
    const int status =
        std::system(("LINKVET_IN_NAMESPACE=1 unshare " + std::string(unshareFlags) + " '" + self +
                     "' --gtest_filter=" + test->test_suite_name() + "." + test->name())
                        .c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

std::string RunCommand(const std::string& command, int* pStatus) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return out;
    char block[4096];
    for (std::size_t n; (n = std::fread(block, 1, sizeof block, pipe)) > 0;)
        out.append(block, n);
    const int status = ::pclose(pipe);
    if (pStatus != nullptr)
        *pStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

bool ApplyDiff(const std::string& tool, const std::string& diff, const std::string& folder) {
    WriteFile(folder + ".diff", diff);
    const std::string command = "cd '" + folder + "' && " + tool + " <'" + folder + ".diff'";
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

std::string JunitSummary(const std::string& path) {
    WriteFile(path + ".py", R"(import sys
from junitparser import JUnitXml, Failure
xml = JUnitXml.fromfile(sys.argv[1])
lines, cases, failures = [], 0, 0
for suite in xml:
    lines.append(ascii(suite.name))
    for case in suite:
        found = [(r.message, r.type, r.text) for r in case.result if isinstance(r, Failure)]
        lines.append('  ' + ascii((case.name, case.classname) + tuple(found)))
        cases, failures = cases + 1, failures + len(found)
print(len(xml), cases, failures, xml.tests, xml.failures)
print('\n'.join(lines))
)");
    std::FILE* pipe =
        ::popen(("/usr/bin/python3 '" + path + ".py' '" + path + "' 2>&1").c_str(), "r");
    std::string out;
    for (char piece[4096]; pipe != nullptr && std::fgets(piece, sizeof piece, pipe) != nullptr;)
        out += piece;
    return pipe != nullptr && ::pclose(pipe) == 0 ? out : "failed: " + out;
}
