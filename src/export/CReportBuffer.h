// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "export/CReportWriter.h"

#include <cstddef>
#include <string>
#include <string_view>

/// Collects a report's bytes and hands them to its writer in pieces of a
/// bounded size, so a report of any length is written with flat memory. Each
/// report's own writer derives from it (`TSelf`), adding how its text is
/// escaped to `m_pending`, and calls Spill() once it has.
template <class TSelf> class CReportBuffer {
public:
    /// Bytes of the format itself, as they are.
    TSelf& Raw(std::string_view bytes) {
        m_pending.append(bytes);
        return Spill();
    }
    /// Writes what is left; false when any write failed.
    bool Finish() {
        if (m_bOk && !m_pending.empty())
            m_bOk = m_write(m_pending);
        m_pending.clear();
        return m_bOk;
    }
    bool Ok() const { return m_bOk; }

protected:
    explicit CReportBuffer(const CReportWriter::FnWrite& write) : m_write(write) {}

    TSelf& Spill() {
        if (m_pending.size() >= kPieceSize)
            Finish();
        return static_cast<TSelf&>(*this);
    }

    std::string m_pending;

private:
    static constexpr std::size_t kPieceSize = 64 * 1024;

    const CReportWriter::FnWrite& m_write;
    bool m_bOk = true;
};

namespace ReportText {

/// The length of the valid UTF-8 character at the start of `bytes`; 0 when
/// none starts there (an overlong form, a surrogate, a code point past
/// U+10FFFF, or a sequence cut short).
inline std::size_t Utf8Length(std::string_view bytes) {
    const auto byte = [&bytes](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80)
        return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xbf; // the second byte's range
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        low = lead == 0xe0 ? 0xa0 : 0x80;
        high = lead == 0xed ? 0x9f : 0xbf;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        low = lead == 0xf0 ? 0x90 : 0x80;
        high = lead == 0xf4 ? 0x8f : 0xbf;
    } else {
        return 0;
    }
    if (bytes.size() < length || byte(1) < low || byte(1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i)
        if ((byte(i) & 0xc0) != 0x80)
            return 0;
    return length;
}

} // namespace ReportText
