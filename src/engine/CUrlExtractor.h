// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

/// One link of a page: its address, the text shown for it, and where its
/// address starts: the line (1 for the first) and the byte of that line (1 for
/// the first). A line ends at a line feed; a carriage return is a byte of its
/// line like any other, so one before a line feed only ends the line with it.
struct SFoundLink {
    std::string url;
    std::string name;
    int line = 0;
    int column = 0;
    /// A link between the pages: `url` is the `href` value as written in the
    /// page, checked on disk rather than probed.
    bool bLocal = false;

    bool operator==(const SFoundLink&) const = default;
};

/// The links of a page, in page order.
using LinkList = std::deque<SFoundLink>;

/// Finds the links of a page and the text shown for each.
///
/// The page is read as plain bytes, not parsed as HTML. Line feeds and carriage
/// returns are dropped first, so tags and addresses broken over lines are seen
/// joined; each link still knows the line its address starts on. The text is
/// then cut into anchor segments: each "<a" or "<A" opens a
/// segment that runs up to the next one or to the end of the page (text before the
/// first one belongs to none). Each segment is searched in pieces of at most 999
/// bytes, each ending early at a NUL byte; a piece yields at most one link:
///
///  - the first "http://" in the piece (any letter case), or only when there is
///    none, the first "ftp://", at a position after the piece's first byte;
///  - the address runs from there up to the next double quote;
///  - the anchor name is the text between the next ">" after that quote and the
///    first "</A" after it, else the first "</a", else the first "<";
///  - a piece without the quote, the ">" or the closer yields nothing.
///
/// In the current-web mode (ELinks::CurrentWeb) the first "https://" counts as
/// well: a piece's link is the first of "http://" and "https://", and "ftp://"
/// only when there is neither.
///
/// The address loses trailing white space. The name has TABs turned into spaces
/// and white space trimmed at both ends; an empty name is replaced by
/// kSuppliedName, while a name of blanks only stays empty.
///
/// With the links between the pages (ELocal::Include), the first piece of each
/// segment, which holds the tag's name and attributes, may yield a link besides
/// the one above: the tag's first `href` value, when LocalHref::IsLocal takes
/// it (bLocal set). The tag runs up to its first ">" outside a quoted value; a
/// tag whose ">" is not in that piece (or is cut off by a NUL) yields none, nor
/// does an `href` with no value written (no "=", or nothing after it but ">").
/// Names are of any case; values in double or single quotes, or unquoted up to
/// a blank or ">"; blanks may stand around "=", and a line break outside a
/// quoted value parts as a blank does. The address is the value exactly as
/// written, less line breaks; it starts where the value's first byte stands,
/// or for an empty quoted value, where its closing quote does. The name is
/// taken as above after the tag's ">", and is kSuppliedName when no closer
/// follows. A piece that yields both hands them on in page order.
///
/// Bytes can be fed in blocks of any size: the result does not depend on where
/// the blocks are cut, and memory stays bounded by a block plus one piece.
class CUrlExtractor {
public:
    static constexpr std::size_t kPieceSize = 999;
    static constexpr std::string_view kSuppliedName = "Linkvet supplied this anchor name";
    static constexpr int kSchemeHttp = 1;
    static constexpr int kSchemeFtp = 2;

    /// Which links a page holds: http and ftp, or https as well.
    enum class ELinks { Classic, CurrentWeb };
    static constexpr ELinks LinksFor(bool bCurrentWeb) {
        return bCurrentWeb ? ELinks::CurrentWeb : ELinks::Classic;
    }

    /// Whether the links between the pages are found as well.
    enum class ELocal { Skip, Include };

    /// Takes one link, in page order.
    using LinkHandler = std::function<void(const SFoundLink& link)>;

    /// Keeps the links found, for TakeResults.
    explicit CUrlExtractor(ELinks links = ELinks::Classic, ELocal local = ELocal::Skip)
        : m_links(links), m_local(local) {}
    /// Hands each link to `onLink` as soon as it is found and keeps nothing.
    explicit CUrlExtractor(LinkHandler onLink, ELinks links = ELinks::Classic,
                           ELocal local = ELocal::Skip)
        : m_onLink(std::move(onLink)), m_links(links), m_local(local) {}

    /// Feeds the next bytes of the page.
    void Feed(const char* data, std::size_t size);
    /// Ends the page: the last segment runs to its end.
    void Finish();

    /// Moves the links found so far, in page order, to the end of `found`.
    void TakeResults(LinkList& found);

    /// Reads the file at `path` and hands each of its links to `onLink` as soon as
    /// it is found, so memory does not grow with the page. Returns false when the
    /// file is not a regular file that can be opened, or when reading it fails
    /// part-way (the links before the failure have been handed on).
    static bool ExtractUrls(const std::string& path, const LinkHandler& onLink,
                            ELinks links = ELinks::Classic, ELocal local = ELocal::Skip);

    /// Reads the file at `path` and appends its links to `found`. Returns false
    /// when the file is not a regular file that can be opened, or when reading it
    /// fails part-way; the list is then left as it was.
    static bool ExtractUrls(const std::string& path, LinkList& found,
                            ELinks links = ELinks::Classic, ELocal local = ELocal::Skip);

    /// The same for a page already in memory.
    static void ExtractFromBytes(std::string_view page, LinkList& found,
                                 ELinks links = ELinks::Classic, ELocal local = ELocal::Skip);

    /// The scheme of a link from its first letter: 'H' or 'h' gives kSchemeHttp,
    /// 'F' or 'f' kSchemeFtp, anything else leaves `currentScheme`.
    static int SchemeOf(const std::string& url, int currentScheme);

    /// The host: the text after the scheme's "http://" or "ftp://" prefix, cut
    /// before its first "/" and then before its first ":". Empty when the URL is no
    /// longer than the prefix.
    static std::string GetUrlHost(const std::string& url, int scheme);

    /// The request path: from the first "/" after the prefix to the end, less any
    /// "#" fragment; "/" when there is no "/"; empty when the URL is no longer than
    /// the prefix.
    static std::string GetUrlPath(const std::string& url, int scheme);

private:
    void Process(bool bFinal);
    /// Searches `piece`, which stands at `at` in what is not yet searched.
    void SearchPiece(std::string_view piece, std::size_t at);
    void Hand(SFoundLink link);
    /// The bytes of the piece at `start` (`size` bytes) that a line break stood
    /// before, in order; counts the breaks before the piece.
    const std::vector<std::size_t>& BreaksIn(std::uint64_t start, std::size_t size);
    /// Line and column of the byte at `offset` of the text without line breaks
    /// (columns count the page's own bytes); offsets must come in increasing order.
    std::pair<int, int> PositionOf(std::uint64_t offset);

    std::string m_pending;        // text not yet searched, without line breaks
    std::uint64_t m_searched = 0; // bytes of that text searched and dropped before it
    // The CRs and LFs dropped and not yet counted, as CopyWithoutLineBreaks
    // queues them: the count of bytes without line breaks before each, times
    // four, plus 1 for a LF and 2 for a CR LF. A byte at an offset comes after
    // those at or before it.
    std::deque<std::uint64_t> m_breaks;
    std::uint64_t m_linesBefore = 0;
    std::uint64_t m_dropped = 0;   // CRs and LFs counted
    std::uint64_t m_lineStart = 0; // where the line of the last counted LF starts in the page
    static constexpr std::uint64_t kNoBreak = UINT64_MAX;
    std::uint64_t m_lastBreak = kNoBreak; // where the last counted break stood
    std::vector<std::size_t> m_tagBreaks; // BreaksIn's answer
    bool m_bCopying = false;
    bool m_bSeenNul = false;  // pieces need a NUL check only on pages that hold one
    bool m_bTagPiece = false; // the next piece searched is the first of its segment
    LinkHandler m_onLink;
    ELinks m_links = ELinks::Classic;
    ELocal m_local = ELocal::Skip;
    LinkList m_found;
};
