// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/CLocalLinkChecker.h"

#include "base/AsciiText.h"
#include "base/CPosixFile.h"
#include "engine/LocalHref.h"
#include "engine/OutcomeCodes.h"
#include "engine/PageNames.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/random.h>
#include <sys/stat.h>
#include <unordered_map>
#include <vector>

namespace {

// A page larger than this is not read: its names count as none. Reading holds
// the whole page in memory once (the names are found in time linear in it), so
// this bounds what one page may cost.
constexpr off_t kMostPageBytes = off_t{64} << 20;
constexpr std::size_t kReadBlock = 64 * 1024;

std::uint64_t Rotate(std::uint64_t x, int bits) {
    return (x << bits) | (x >> (64 - bits));
}

// SipHash-2-4: with a secret key, no page can be written to make two names collide.
std::uint64_t KeyedHash(const std::array<std::uint64_t, 2>& key, std::string_view data) {
    std::uint64_t v0 = 0x736f6d6570736575ULL ^ key[0], v1 = 0x646f72616e646f6dULL ^ key[1];
    std::uint64_t v2 = 0x6c7967656e657261ULL ^ key[0], v3 = 0x7465646279746573ULL ^ key[1];
    const auto round = [&] {
        v0 += v1, v1 = Rotate(v1, 13), v1 ^= v0, v0 = Rotate(v0, 32);
        v2 += v3, v3 = Rotate(v3, 16), v3 ^= v2;
        v0 += v3, v3 = Rotate(v3, 21), v3 ^= v0;
        v2 += v1, v1 = Rotate(v1, 17), v1 ^= v2, v2 = Rotate(v2, 32);
    };
    const auto mix = [&](std::uint64_t word) {
        v3 ^= word;
        round();
        round();
        v0 ^= word;
    };
    std::size_t at = 0;
    for (; at + 8 <= data.size(); at += 8) {
        std::uint64_t word = 0;
        for (int i = 7; i >= 0; --i)
            word = (word << 8) | static_cast<unsigned char>(data[at + static_cast<std::size_t>(i)]);
        mix(word);
    }
    std::uint64_t last = static_cast<std::uint64_t>(data.size()) << 56;
    for (int i = 0; at < data.size(); ++at, i += 8)
        last |= static_cast<std::uint64_t>(static_cast<unsigned char>(data[at])) << i;
    mix(last);
    v2 ^= 0xff;
    for (int i = 0; i < 4; ++i)
        round();
    return v0 ^ v1 ^ v2 ^ v3;
}

std::array<std::uint64_t, 2> NewKey() {
    std::array<std::uint64_t, 2> key{};
    if (::getrandom(key.data(), sizeof key, 0) != static_cast<ssize_t>(sizeof key)) {
        std::random_device device;
        for (std::uint64_t& word : key)
            word = (std::uint64_t{device()} << 32) ^ device();
    }
    return key;
}

struct SFileId {
    dev_t dev;
    ino_t ino;
    bool operator==(const SFileId&) const = default;
};

struct SFileIdHash {
    std::size_t operator()(const SFileId& id) const {
        return std::hash<std::uint64_t>()(static_cast<std::uint64_t>(id.ino) *
                                              0x9E3779B97F4A7C15ULL ^
                                          static_cast<std::uint64_t>(id.dev));
    }
};

// The folder of `page` as a link's base: "" for the working folder.
std::string_view FolderOf(std::string_view page) {
    const std::size_t slash = page.rfind('/');
    return slash == std::string_view::npos ? std::string_view() : page.substr(0, slash + 1);
}

// Resolves the "." and ".." segments of `path` into `out` as a URL's path is
// resolved: a ".." above "/" stays there, a relative path keeps its leading "..",
// and a path ending in "." or ".." names a folder.
void Normalize(std::string_view path, std::string& out) {
    const bool bAbsolute = !path.empty() && path.front() == '/';
    out.clear();
    if (bAbsolute)
        out.push_back('/');
    std::size_t floor = out.size(); // what a ".." may not take away
    bool bFolder = false;
    if (bAbsolute)
        path.remove_prefix(1);
    for (bool bMore = true; bMore;) {
        const std::size_t slash = path.find('/');
        bMore = slash != std::string_view::npos;
        const std::string_view segment = path.substr(0, slash);
        path.remove_prefix(bMore ? slash + 1 : path.size());
        bFolder = segment == "." || segment == "..";
        if (segment == ".")
            continue;
        if (segment == "..") {
            if (out.size() > floor) {
                out.pop_back(); // the last segment's "/"; the one before it ends the rest
                const std::size_t before = out.rfind('/');
                out.resize(before == std::string::npos ? 0 : before + 1);
            } else if (!bAbsolute) {
                out += "../";
                floor = out.size();
            }
            continue;
        }
        out.append(segment).push_back('/');
    }
    if (!bFolder && !out.empty() && out.size() > (bAbsolute ? 1u : 0u))
        out.pop_back();
    if (out.empty())
        out.push_back('.');
}

} // namespace

struct CLocalLinkChecker::SNames {
    struct SPage {
        bool bRead = false;
        unsigned failure = kFound; // when the page's names cannot be known
        std::vector<std::uint64_t> hashes;
    };

    std::array<std::uint64_t, 2> key = NewKey();
    std::unordered_map<SFileId, SPage, SFileIdHash> pages;
    // Kept between calls so that a link costs no allocation once they have grown.
    std::string decoded, joined, target, fragment;

    void Read(const std::string& path, SPage& page) const;
};

void CLocalLinkChecker::SNames::Read(const std::string& path, SPage& page) const {
    page.bRead = true;
    page.failure = Outcome::kFileNotFound;
    CPosixFile file = CPosixFile::OpenRegularForReading(path);
    struct stat st {};
    if (!file.IsOpen() || ::fstat(file.Fd(), &st) != 0)
        return;
    page.failure = Outcome::kAnchorNotFound;
    // An empty page names nothing, and a file of the kernel's ("/proc/kmsg")
    // says it is empty: it is never read, so no read takes its data away.
    if (st.st_size == 0 || st.st_size > kMostPageBytes)
        return;
    // A link can reach any file ("../../proc/kmsg"), and some regular files of
    // the kernel's wait for data that may never come: those must fail, not
    // hang the test. A page on disk reads the same either way.
    const int flags = ::fcntl(file.Fd(), F_GETFL);
    if (flags < 0 || ::fcntl(file.Fd(), F_SETFL, flags | O_NONBLOCK) != 0)
        return;
    std::string text;
    text.reserve(static_cast<std::size_t>(st.st_size) + kReadBlock);
    for (;;) {
        const std::size_t at = text.size();
        text.resize(at + kReadBlock);
        const ssize_t n = file.Read(text.data() + at, kReadBlock);
        if (n < 0) {
            page.failure = Outcome::kFileNotFound;
            return;
        }
        text.resize(at + static_cast<std::size_t>(n));
        if (n == 0)
            break;
        if (text.size() > static_cast<std::size_t>(kMostPageBytes))
            return;
    }
    PageNames::ForEach(text, [&](std::string_view name) {
        if (!name.empty())
            page.hashes.push_back(KeyedHash(key, name));
    });
    std::sort(page.hashes.begin(), page.hashes.end());
    page.hashes.erase(std::unique(page.hashes.begin(), page.hashes.end()), page.hashes.end());
    page.hashes.shrink_to_fit();
    page.failure = kFound;
}

CLocalLinkChecker::CLocalLinkChecker(std::string root)
    : m_strRoot(std::move(root)), m_pNames(std::make_unique<SNames>()) {
}

CLocalLinkChecker::~CLocalLinkChecker() = default;

void CLocalLinkChecker::SetRoot(std::string root) {
    m_strRoot = std::move(root);
}

void CLocalLinkChecker::Reset() {
    m_pNames = std::make_unique<SNames>();
}

unsigned CLocalLinkChecker::Check(const std::string& page, std::string_view written) {
    SNames& names = *m_pNames;
    std::string_view value = written;
    if (written.find('&') != std::string_view::npos) {
        names.decoded = LocalHref::DecodeReferences(written);
        value = names.decoded;
    }
    const LocalHref::SParts parts =
        LocalHref::Split(AsciiText::Trim(value, AsciiText::ESpace::CSpace));
    const bool bFragment = !parts.fragment.empty();
    std::string& target = names.target;
    if (parts.path.empty()) {
        if (!bFragment)
            return kFound;
        target = page;
    } else {
        // A link from the root is resolved as a URL's path, so its ".." stops at the
        // root; a relative one is resolved from its page's folder, wherever that is.
        std::string& joined = names.joined;
        const bool bFromRoot = parts.path.front() == '/';
        joined.assign(bFromRoot ? std::string_view() : FolderOf(page));
        LocalHref::AppendPercentDecoded(joined, parts.path);
        if (joined.find('\0') != std::string::npos)
            return Outcome::kFileNotFound;
        Normalize(joined, target);
        if (bFromRoot) {
            std::string_view base = m_strRoot.empty() ? FolderOf(page) : m_strRoot;
            base = base.empty() ? "." : base;
            if (base.back() == '/')
                base.remove_suffix(1);
            target.insert(0, base);
        }
    }
    struct stat st {};
    if (::stat(target.c_str(), &st) != 0)
        return Outcome::kFileNotFound;
    if (S_ISDIR(st.st_mode)) {
        if (target.back() != '/')
            target += '/';
        target += "index.html";
        if (::stat(target.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
            target.pop_back();
            if (::stat(target.c_str(), &st) != 0)
                return Outcome::kFileNotFound;
        }
    }
    if (!S_ISREG(st.st_mode))
        return Outcome::kFileNotFound;
    if (!bFragment)
        return kFound;

    SNames::SPage& entry = names.pages[SFileId{st.st_dev, st.st_ino}];
    if (!entry.bRead)
        names.Read(target, entry);
    if (entry.failure != kFound)
        return entry.failure;
    names.fragment.clear();
    LocalHref::AppendPercentDecoded(names.fragment, parts.fragment);
    return std::binary_search(entry.hashes.begin(), entry.hashes.end(),
                              KeyedHash(names.key, names.fragment))
               ? kFound
               : Outcome::kAnchorNotFound;
}
