// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/CUrlExtractor.h"

#include "base/AsciiText.h"
#include "base/CPosixFile.h"
#include "engine/LocalHref.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <iterator>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr std::size_t kReadBlock = 1 << 20;
constexpr std::size_t kNotFound = std::string_view::npos;

// Queues the CR or LF at `in[k]`, which stands after `n` bytes copied, for
// CopyWithoutLineBreaks.
inline void QueueBreak(const char* in, std::size_t size, std::size_t k, std::size_t n,
                       std::deque<std::uint64_t>& breaks, std::uint64_t base) {
    if (in[k] == '\n') {
        const bool bAfterCr = k > 0 && in[k - 1] == '\r'; // that CR was left to this LF
        breaks.push_back(((base + n) << 2) | (bAfterCr ? 3u : 1u));
    } else if (k + 1 == size || in[k + 1] != '\n') {
        breaks.push_back((base + n) << 2);
    }
}

// Copies `size` bytes to `out` without CR and LF; returns the count copied.
// `out` must have room for `size` bytes. Where each CR and LF stood, as the
// count of bytes copied before it plus `base`, times four, goes to the end of
// `breaks`, plus 1 for a LF and 2 more for a LF that takes the CR before it
// along (so a CR LF line end costs one entry).
std::size_t CopyWithoutLineBreaks(const char* in, std::size_t size, char* out,
                                  std::deque<std::uint64_t>& breaks, std::uint64_t base) {
    std::size_t n = 0;
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    for (; i + 16 <= size; i += 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        auto found = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf))));
        if (found == 0) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + n), v);
            n += 16;
            continue;
        }
        // Only the runs between the breaks are copied.
        std::size_t from = i;
        for (; found != 0; found &= found - 1) {
            const std::size_t k = i + static_cast<std::size_t>(__builtin_ctz(found));
            for (; from < k; ++from)
                out[n++] = in[from];
            QueueBreak(in, size, k, n, breaks, base);
            from = k + 1;
        }
        for (; from < i + 16; ++from)
            out[n++] = in[from];
    }
#endif
    for (; i < size; ++i) {
        if (in[i] == '\r' || in[i] == '\n')
            QueueBreak(in, size, i, n, breaks, base);
        else
            out[n++] = in[i];
    }
    return n;
}

// Position of the next "<a" or "<A" in text[from, end), or kNotFound. A "<" as
// the very last byte may still become one; `*pbOpenEnd` tells the caller so.
std::size_t FindAnchorOpener(std::string_view text, std::size_t from, bool* pbOpenEnd) {
    *pbOpenEnd = false;
    const char* base = text.data();
    std::size_t end = text.size();
    while (from < end) {
        const void* hit = std::memchr(base + from, '<', end - from);
        if (hit == nullptr)
            return kNotFound;
        std::size_t at = static_cast<std::size_t>(static_cast<const char*>(hit) - base);
        if (at + 1 == end) {
            *pbOpenEnd = true;
            return kNotFound;
        }
        if (base[at + 1] == 'a' || base[at + 1] == 'A')
            return at;
        from = at + 1;
    }
    return kNotFound;
}

std::size_t FindIn(std::string_view text, std::size_t from, std::string_view needle) {
    if (from > text.size())
        return kNotFound;
    return text.find(needle, from);
}

// The first "HTTP://" (or with `bHttps`, "HTTPS://") of the piece in any case,
// else the first "FTP://"; the position of the link, or kNotFound. Every such
// link has its ':' right after the scheme, so looking only at the colons finds
// them in order.
std::size_t FindLinkStart(std::string_view piece, bool bHttps) {
    std::size_t firstFtp = kNotFound;
    std::size_t from = 0;
    const char* base = piece.data();
    while (from < piece.size()) {
        const void* hit = std::memchr(base + from, ':', piece.size() - from);
        if (hit == nullptr)
            break;
        std::size_t colon = static_cast<std::size_t>(static_cast<const char*>(hit) - base);
        from = colon + 1;
        if (colon + 2 >= piece.size() || base[colon + 1] != '/' || base[colon + 2] != '/')
            continue;
        if (bHttps && colon >= 5 && AsciiText::EqualsNoCase(piece.substr(colon - 5, 5), "HTTPS"))
            return colon - 5;
        if (colon >= 4 && AsciiText::EqualsNoCase(piece.substr(colon - 4, 4), "HTTP"))
            return colon - 4;
        if (firstFtp == kNotFound && colon >= 3 &&
            AsciiText::EqualsNoCase(piece.substr(colon - 3, 3), "FTP"))
            firstFtp = colon - 3;
    }
    return firstFtp;
}

// A link of a piece: its address piece[at, end), and its name from after the
// ">" at `gt` up to `closer` (npos when nothing closes it).
struct SSpan {
    std::size_t at = 0;
    std::size_t end = 0;
    std::size_t gt = 0;
    std::size_t closer = kNotFound;
    bool bLocal = false;
};

// Where the name after the ">" at `gt` ends: the first "</A", else "</a", else "<".
std::size_t NameCloser(std::string_view piece, std::size_t gt) {
    std::size_t closer = FindIn(piece, gt, "</A");
    if (closer == kNotFound)
        closer = FindIn(piece, gt, "</a");
    if (closer == kNotFound)
        closer = FindIn(piece, gt, "<");
    return closer;
}

// The piece's absolute link, by the rules of the class comment.
std::optional<SSpan> AbsoluteLinkIn(std::string_view piece, bool bHttps) {
    const std::size_t start = FindLinkStart(piece, bHttps);
    if (start == kNotFound || start == 0)
        return std::nullopt;
    const std::size_t quote = piece.find('"', start);
    if (quote == kNotFound)
        return std::nullopt;
    const std::size_t gt = piece.find('>', quote);
    if (gt == kNotFound)
        return std::nullopt;
    const std::size_t closer = NameCloser(piece, gt);
    if (closer == kNotFound)
        return std::nullopt;
    std::size_t urlEnd = quote;
    while (urlEnd > start && AsciiText::IsCSpace(piece[urlEnd - 1]))
        --urlEnd;
    return SSpan{start, urlEnd, gt, closer};
}

// Whether `c` ends a tag's name or an attribute's.
bool EndsName(char c) {
    return AsciiText::IsCSpace(c) || c == '>' || c == '/' || c == '=';
}

// The first `href` value of the tag whose name and attributes `piece` begins
// with, as a local link when it is one; none when the tag's ">" is not in the
// piece. Attributes are read as a browser reads them, so that a ">" or an
// "href=" inside a quoted value is only text. `breaks` (in order) are the
// bytes a line break stood before: outside a quoted value, such a break
// parted names and values as a blank does ("<a\nhref=x>").
std::optional<SSpan> LocalLinkIn(std::string_view piece, const std::vector<std::size_t>& breaks) {
    const auto broken = [&breaks](std::size_t at) {
        return std::binary_search(breaks.begin(), breaks.end(), at);
    };
    const std::size_t size = piece.size();
    std::size_t i = 0;
    while (i < size && !broken(i) && !EndsName(piece[i])) // the tag's name
        ++i;
    std::optional<SSpan> href;
    bool bSeenHref = false;
    while (i < size) {
        if (piece[i] == '>') {
            if (!href || !LocalHref::IsLocal(piece.substr(href->at, href->end - href->at)))
                return std::nullopt;
            href->gt = i;
            href->closer = NameCloser(piece, i);
            return href;
        }
        if (AsciiText::IsCSpace(piece[i]) || piece[i] == '/') {
            ++i;
            continue;
        }
        const std::size_t name = i;
        while (i < size && !EndsName(piece[i]) && (i == name || !broken(i)))
            ++i;
        const bool bHref =
            !bSeenHref && AsciiText::EqualsNoCase(piece.substr(name, i - name), "href");
        bSeenHref = bSeenHref || bHref;
        std::size_t at = i;
        while (at < size && AsciiText::IsCSpace(piece[at]))
            ++at;
        if (at == size || piece[at] != '=') {
            i = at; // a name without a value
            continue;
        }
        ++at;
        while (at < size && AsciiText::IsCSpace(piece[at]))
            ++at;
        if (at == size)
            return std::nullopt;
        std::size_t end = at;
        if (piece[at] == '"' || piece[at] == '\'') {
            const char quote = piece[at++];
            end = piece.find(quote, at);
            if (end == kNotFound)
                return std::nullopt;
            i = end + 1;
        } else {
            while (end < size && !AsciiText::IsCSpace(piece[end]) && piece[end] != '>' &&
                   (end == at || !broken(end)))
                ++end;
            i = end;
        }
        // An empty unquoted value is no value: "href=>" names nothing.
        if (bHref && (end > at || i > end))
            href = SSpan{at, end, 0, kNotFound, true};
    }
    return std::nullopt;
}

std::string TrimmedName(std::string_view raw) {
    std::string name(AsciiText::Trim(raw, AsciiText::ESpace::CSpace));
    std::replace(name.begin(), name.end(), '\t', ' ');
    return name;
}

std::size_t PrefixLength(int scheme) {
    return scheme == CUrlExtractor::kSchemeFtp ? 6 : 7;
}

} // namespace

void CUrlExtractor::Feed(const char* data, std::size_t size) {
    if (!m_bSeenNul)
        m_bSeenNul = std::memchr(data, '\0', size) != nullptr;
    std::size_t old = m_pending.size();
    m_pending.resize(old + size);
    m_pending.resize(old + CopyWithoutLineBreaks(data, size, m_pending.data() + old, m_breaks,
                                                 m_searched + old));
    Process(false);
}

void CUrlExtractor::Finish() {
    Process(true);
    m_pending.clear();
    m_breaks.clear();
    m_searched = 0;
    m_linesBefore = 0;
    m_dropped = 0;
    m_lineStart = 0;
    m_bCopying = false;
    m_bSeenNul = false;
    m_bTagPiece = false;
    m_lastBreak = kNoBreak;
}

void CUrlExtractor::Process(bool bFinal) {
    std::string_view text(m_pending);
    std::size_t pos = 0;
    for (;;) {
        bool bOpenEnd = false;
        std::size_t opener = FindAnchorOpener(text, pos, &bOpenEnd);
        if (bFinal)
            bOpenEnd = false; // a trailing "<" is plain text at the end
        if (!m_bCopying) {
            if (opener == kNotFound) {
                pos = bOpenEnd ? text.size() - 1 : text.size();
                break;
            }
            m_bCopying = true;
            m_bTagPiece = true;
            pos = opener + 2;
            continue;
        }
        if (opener != kNotFound) {
            for (; pos < opener; pos += kPieceSize)
                SearchPiece(text.substr(pos, std::min(kPieceSize, opener - pos)), pos);
            m_bTagPiece = true;
            pos = opener + 2;
            continue;
        }
        // The segment goes on past what has arrived: search its whole pieces now
        // and keep the rest until more bytes (or the end) arrive.
        std::size_t limit = bOpenEnd ? text.size() - 1 : text.size();
        for (; pos + kPieceSize <= limit; pos += kPieceSize)
            SearchPiece(text.substr(pos, kPieceSize), pos);
        if (bFinal && pos < text.size()) {
            SearchPiece(text.substr(pos), pos);
            pos = text.size();
        }
        break;
    }
    m_pending.erase(0, pos);
    m_searched += pos;
    PositionOf(m_searched); // breaks before what is left are only counted from now on
}

std::pair<int, int> CUrlExtractor::PositionOf(std::uint64_t offset) {
    while (!m_breaks.empty() && (m_breaks.front() >> 2) <= offset) {
        const std::uint64_t brk = m_breaks.front();
        m_breaks.pop_front();
        m_lastBreak = brk >> 2;
        m_dropped += (brk & 2) != 0 ? 2 : 1;
        if ((brk & 1) != 0) {
            ++m_linesBefore;
            m_lineStart = (brk >> 2) + m_dropped; // the byte after this LF in the page
        }
    }
    const std::uint64_t column = offset + m_dropped - m_lineStart + 1;
    return {static_cast<int>(std::min<std::uint64_t>(m_linesBefore + 1, INT_MAX)),
            static_cast<int>(std::min<std::uint64_t>(column, INT_MAX))};
}

void CUrlExtractor::SearchPiece(std::string_view piece, std::size_t at) {
    const bool bTagPiece = std::exchange(m_bTagPiece, false);
    // A piece is text: it ends at a NUL byte, so no address or name holds one.
    const void* nul = m_bSeenNul ? std::memchr(piece.data(), '\0', piece.size()) : nullptr;
    if (nul != nullptr)
        piece =
            piece.substr(0, static_cast<std::size_t>(static_cast<const char*>(nul) - piece.data()));
    std::optional<SSpan> spans[2] = {AbsoluteLinkIn(piece, m_links == ELinks::CurrentWeb)};
    if (bTagPiece && m_local == ELocal::Include) {
        spans[1] = LocalLinkIn(piece, BreaksIn(m_searched + at, piece.size()));
        if (spans[0] && spans[1] && spans[1]->at < spans[0]->at)
            std::swap(spans[0], spans[1]);
    }
    for (const std::optional<SSpan>& span : spans) {
        if (!span)
            continue;
        const std::string_view rawName =
            span->closer == kNotFound ? std::string_view()
                                      : piece.substr(span->gt + 1, span->closer - span->gt - 1);
        const auto [line, column] = PositionOf(m_searched + at + span->at);
        Hand({std::string(piece.substr(span->at, span->end - span->at)),
              rawName.empty() ? std::string(kSuppliedName) : TrimmedName(rawName), line, column,
              span->bLocal});
    }
}

const std::vector<std::size_t>& CUrlExtractor::BreaksIn(std::uint64_t start, std::size_t size) {
    PositionOf(start); // counts the breaks up to the piece's first byte, and notes the last
    m_tagBreaks.clear();
    if (m_lastBreak == start)
        m_tagBreaks.push_back(0);
    for (const std::uint64_t brk : m_breaks) {
        if ((brk >> 2) >= start + size)
            break;
        m_tagBreaks.push_back(static_cast<std::size_t>((brk >> 2) - start));
    }
    return m_tagBreaks;
}

void CUrlExtractor::Hand(SFoundLink link) {
    if (m_onLink)
        m_onLink(link);
    else
        m_found.push_back(std::move(link));
}

bool CUrlExtractor::ExtractUrls(const std::string& path, const LinkHandler& onLink, ELinks links,
                                ELocal local) {
    CPosixFile file = CPosixFile::OpenRegularForReading(path);
    if (!file.IsOpen())
        return false;
    CUrlExtractor extractor(onLink, links, local);
    std::unique_ptr<char[]> block(new char[kReadBlock]);
    for (;;) {
        ssize_t n = file.Read(block.get(), kReadBlock);
        if (n < 0)
            return false;
        if (n == 0)
            break;
        extractor.Feed(block.get(), static_cast<std::size_t>(n));
    }
    extractor.Finish();
    return true;
}

bool CUrlExtractor::ExtractUrls(const std::string& path, LinkList& found, ELinks links,
                                ELocal local) {
    LinkList read; // the caller's list stays as it was on a failure
    if (!ExtractUrls(
            path, [&read](const SFoundLink& link) { read.push_back(link); }, links, local))
        return false;
    std::move(read.begin(), read.end(), std::back_inserter(found));
    return true;
}

void CUrlExtractor::ExtractFromBytes(std::string_view page, LinkList& found, ELinks links,
                                     ELocal local) {
    CUrlExtractor extractor(links, local);
    for (std::size_t at = 0; at < page.size(); at += kReadBlock)
        extractor.Feed(page.data() + at, std::min(kReadBlock, page.size() - at));
    extractor.Finish();
    extractor.TakeResults(found);
}

void CUrlExtractor::TakeResults(LinkList& found) {
    std::move(m_found.begin(), m_found.end(), std::back_inserter(found));
    m_found.clear();
}

int CUrlExtractor::SchemeOf(const std::string& url, int currentScheme) {
    if (url.empty())
        return currentScheme;
    switch (AsciiText::ToUpper(url[0])) {
    case 'H':
        return kSchemeHttp;
    case 'F':
        return kSchemeFtp;
    default:
        return currentScheme;
    }
}

std::string CUrlExtractor::GetUrlHost(const std::string& url, int scheme) {
    std::size_t prefix = PrefixLength(scheme);
    if (url.size() <= prefix)
        return std::string();
    std::string host = url.substr(prefix);
    host.resize(std::min(host.size(), host.find('/')));
    host.resize(std::min(host.size(), host.find(':')));
    return host;
}

std::string CUrlExtractor::GetUrlPath(const std::string& url, int scheme) {
    std::size_t prefix = PrefixLength(scheme);
    if (url.size() <= prefix)
        return std::string();
    std::size_t slash = url.find('/', prefix);
    if (slash == std::string::npos)
        return "/";
    std::string path = url.substr(slash);
    path.resize(std::min(path.size(), path.find('#')));
    return path;
}
