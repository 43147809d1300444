#pragma once

#include "export/CReportWriter.h"

#include <cstddef>
#include <string>
#include <string_view>

/// Collects a report's bytes and hands them to its writer in pieces of a
/// bounded size, so a report of any length is written with flat memory.
///
/// Text taken from a page goes through Text(), which hands its escaper one
/// character at a time, always valid UTF-8: each byte that does not belong to
/// a valid UTF-8 sequence is handed over as U+FFFD, the replacement character.
/// The reports that CI systems read are UTF-8 text, and their readers either
/// refuse other bytes or replace them the same way.
class CReportSink {
public:
    static constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

    explicit CReportSink(const CReportWriter::FnWrite& write) : m_write(write) {}

    /// Bytes of the format itself, as they are.
    CReportSink& Raw(std::string_view bytes) {
        m_pending.append(bytes);
        return Spill();
    }
    CReportSink& Number(long long number) { return Raw(std::to_string(number)); }
    /// `escape(out, ch)` appends the character `ch` (1 to 4 bytes), escaped, to `out`.
    template <class FnEscape> CReportSink& Text(std::string_view text, FnEscape&& escape) {
        for (std::size_t i = 0; i < text.size();) {
            const std::size_t length = Utf8Length(text, i);
            escape(m_pending, length == 0 ? kReplacement : text.substr(i, length));
            i += length == 0 ? 1 : length;
        }
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

    /// The length of the valid UTF-8 character at `text[i]`; 0 when none starts there.
    static std::size_t Utf8Length(std::string_view text, std::size_t i) {
        const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
        const unsigned char first = byte(i);
        if (first < 0x80)
            return 1;
        std::size_t length = 0;
        unsigned char low = 0x80, high = 0xBF; // the second byte's range
        if (first >= 0xC2 && first <= 0xDF)
            length = 2;
        else if (first >= 0xE0 && first <= 0xEF) {
            length = 3;
            low = first == 0xE0 ? 0xA0 : 0x80;  // no overlong forms
            high = first == 0xED ? 0x9F : 0xBF; // no surrogates
        } else if (first >= 0xF0 && first <= 0xF4) {
            length = 4;
            low = first == 0xF0 ? 0x90 : 0x80;
            high = first == 0xF4 ? 0x8F : 0xBF; // nothing above U+10FFFF
        } else
            return 0;
        if (i + length > text.size() || byte(i + 1) < low || byte(i + 1) > high)
            return 0;
        for (std::size_t k = 2; k < length; ++k)
            if ((byte(i + k) & 0xC0) != 0x80)
                return 0;
        return length;
    }

private:
    static constexpr std::size_t kPieceSize = 64 * 1024;

    CReportSink& Spill() {
        if (m_pending.size() >= kPieceSize)
            Finish();
        return *this;
    }

    const CReportWriter::FnWrite& m_write;
    std::string m_pending;
    bool m_bOk = true;
};
