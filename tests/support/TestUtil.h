// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <vector>

/// A folder of its own for one test, removed with everything in it at the end.
/// While it lives, XDG_CONFIG_HOME points into it, so no test ever sees the
/// user's settings or another test's.
class CTempDir {
public:
    CTempDir();
    ~CTempDir();
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
    std::optional<std::string> m_oldConfigHome;
};

using Texts = std::vector<std::string>; // messages, rows, names: byte strings in order

/// Writes `bytes` to `path` exactly, creating missing folders.
void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
void MakeDir(const std::string& path);
/// The names of CAtomicFile's temporary files in `folder`.
std::vector<std::string> TempFilesIn(const std::string& folder);
/// Applies `diff` to the files in `folder` with `tool` ("patch -p1", "git apply"); false if it
/// fails.
bool ApplyDiff(const std::string& tool, const std::string& diff, const std::string& folder);
/// The JUnit report in `path` as Debian's python3-junitparser reads it: "SUITES CASES FAILURES",
/// then a line per suite (name) and per case (name, classname, each failure's message, type and
/// text), texts in Python's ascii() form; "failed: " and the error when it cannot be parsed.
std::string JunitSummary(const std::string& path);

/// Runs `command` in the shell; its standard output, and its exit status in `*pStatus`.
std::string RunCommand(const std::string& command, int* pStatus = nullptr);

/// A certificate and its private key, as PEM files.
struct STestCert {
    std::string certFile, keyFile;
};

/// Makes a certificate `name` and its key in `dir` (`name`.pem and .key), good for
/// three days: a certificate authority when `pCa` is null (a test trusts it through
/// SSL_CERT_FILE), else a TLS server certificate signed by `pCa` for the
/// subjectAltNames `sans` ("DNS:host,IP:address").
STestCert MakeCert(const std::string& dir, const std::string& name, const STestCert* pCa = nullptr,
                   const std::string& sans = "");

/// For tests that need a namespace of their own (`unshare` flags such as
/// "-rn" or "-rm"): outside it, runs the current test again inside one and
/// returns its exit status, or -1 where the machine allows no such namespace;
/// inside it, returns -2 and the test goes on.
int RunThisTestIn(const char* unshareFlags);

/// The rest of the test runs in a namespace of its own (see RunThisTestIn); the
/// test is skipped where the machine allows none.
#define CONTINUE_IN_NAMESPACE(flags)                                                               \
    if (const int namespaceStatus = RunThisTestIn(flags); namespaceStatus != -2) {                 \
        if (namespaceStatus == -1)                                                                 \
            GTEST_SKIP() << "this machine allows no private namespace (unshare " flags ")";        \
        EXPECT_EQ(namespaceStatus, 0);                                                             \
        return;                                                                                    \
    }
