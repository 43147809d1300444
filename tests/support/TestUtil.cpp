#include "support/TestUtil.h"

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/wait.h>

namespace {

// Makes `name`'s key and has `pCa` sign it with `extensions` (itself when there
// is no `pCa`). What the openssl tool leaves and says stays in a folder of its
// own, and is shown only when it fails.
STestCert Issue(const std::string& dir, const std::string& name, const STestCert* pCa,
                const std::string& extensions) {
    const std::string work = dir + "/" + name + ".d";
    const auto quoted = [](const std::string& path) { return " '" + path + "'"; };
    WriteFile(work + "/index", "");
    WriteFile(work + "/openssl.cnf",
              "[req]\ndistinguished_name = dn\n[dn]\n[ca]\ndefault_ca = signer\n[signer]\n"
              "database = " +
                  work + "/index\nnew_certs_dir = " + work +
                  "\nrand_serial = yes\ndefault_md = sha256\npolicy = any\nunique_subject = no\n"
                  "[any]\ncommonName = supplied\n[extensions]\n" +
                  extensions);
    const std::time_t dayAgo = std::time(nullptr) - 24 * 60 * 60;
    std::tm utc{};
    char start[16];
    std::strftime(start, sizeof(start), "%y%m%d%H%M%SZ", ::gmtime_r(&dayAgo, &utc));
    const STestCert made{dir + "/" + name + ".pem", dir + "/" + name + ".key"};
    const std::string config = " -config" + quoted(work + "/openssl.cnf");
    const std::string signer =
        pCa ? " -cert" + quoted(pCa->certFile) + " -keyfile" + quoted(pCa->keyFile)
            : " -selfsign -keyfile" + quoted(made.keyFile);
    const std::string command =
        "(openssl req" + config + " -new -newkey ec -pkeyopt ec_paramgen_curve:P-256 -noenc" +
        " -subj" + quoted("/CN=" + name) + " -keyout" + quoted(made.keyFile) + " -out" +
        quoted(work + "/request") + " && openssl ca -batch -notext" + config +
        " -extensions extensions -startdate " + start + " -days 3" + signer + " -in" +
        quoted(work + "/request") + " -out" + quoted(made.certFile) + ") >" +
        quoted(work + "/log") + " 2>&1";
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("openssl cannot make " + made.certFile + ":\n" +
                                 ReadFile(work + "/log"));
    return made;
}

} // namespace

STestCert MakeCa(const std::string& dir, const std::string& name) {
    return Issue(dir, name, nullptr,
                 "basicConstraints = critical,CA:TRUE\nkeyUsage = critical,keyCertSign,cRLSign\n"
                 "subjectKeyIdentifier = hash\n");
}

STestCert MakeLeaf(const std::string& dir, const STestCert& ca, const std::string& name,
                   const std::vector<std::string>& sans) {
    std::string extensions = "basicConstraints = CA:FALSE\nkeyUsage = critical,digitalSignature\n"
                             "extendedKeyUsage = serverAuth\nsubjectKeyIdentifier = hash\n"
                             "authorityKeyIdentifier = keyid\n";
    for (std::size_t i = 0; i < sans.size(); ++i)
        extensions += (i == 0 ? "subjectAltName = " : ",") + sans[i];
    return Issue(dir, name, &ca, extensions + "\n");
}

CTempDir::CTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "linkvet-test-XXXXXX").string();
    char* made = ::mkdtemp(pattern.data());
    if (made == nullptr)
        throw std::runtime_error("cannot create a temporary folder");
    m_path = made;
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) {
        m_bHadConfigHome = true;
        m_oldConfigHome = old;
    }
    MakeDir(m_path + "/config");
    ::setenv("XDG_CONFIG_HOME", (m_path + "/config").c_str(), 1);
}

CTempDir::~CTempDir() {
    if (m_bHadConfigHome)
        ::setenv("XDG_CONFIG_HOME", m_oldConfigHome.c_str(), 1);
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
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

void MakeDir(const std::string& path) {
    std::filesystem::create_directories(path);
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
