// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>
#include <string_view>

/// Checks the links between the pages of a site on disk: relative links,
/// links from the site's root ("/docs/") and #anchors.
///
/// A link's path (without query and fragment, character references and
/// percent-escapes decoded) is resolved against its page's folder, or against
/// the root when it begins with "/". Its target must be a regular file, or a
/// folder holding "index.html" or "index.htm"; a non-empty fragment must name
/// an element of the target page (an `id` on any tag, or a `name` on an "a"
/// tag, compared exactly), the page itself for "#frag" alone. A target outside
/// the root is checked like any other.
///
/// Each distinct target page (one file, whatever the names it is reached by)
/// is read once for its names, which are kept compactly for the rest of the
/// test; nothing but a page that a fragment names is ever opened, and only a
/// regular file is. The names are found by PageNames, in time linear in the
/// page. A page over 64 MiB is not read, so as not to hold that much at once,
/// nor is one that says it is empty (as the kernel's files do): no fragment
/// is found in either (Outcome::kAnchorNotFound).
///
/// A name is kept as its 64-bit keyed hash (SipHash-2-4 under a key drawn at
/// random for each checker, so no page can be made to collide): 8 bytes a
/// name. A fragment that is not among a page's n names is taken as found with
/// odds of n in 2^64, one in 10^16 for a thousand names.
class CLocalLinkChecker {
public:
    /// The link's target is there.
    static constexpr unsigned kFound = 0;

    /// `root` is the folder a link beginning with "/" is resolved against.
    explicit CLocalLinkChecker(std::string root = {});
    ~CLocalLinkChecker();
    CLocalLinkChecker(const CLocalLinkChecker&) = delete;
    CLocalLinkChecker& operator=(const CLocalLinkChecker&) = delete;

    void SetRoot(std::string root);
    const std::string& Root() const { return m_strRoot; }

    /// The outcome of the link `written` (its `href` value as it stands in the
    /// page) of the page at `page`: kFound, Outcome::kFileNotFound or
    /// Outcome::kAnchorNotFound.
    unsigned Check(const std::string& page, std::string_view written);

    /// Forgets the names read so far: the pages may have changed.
    void Reset();

private:
    struct SNames;
    std::string m_strRoot;
    std::unique_ptr<SNames> m_pNames;
};
