// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "export/CReportBuffer.h"

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
class CReportSink : public CReportBuffer<CReportSink> {
public:
    static constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

    explicit CReportSink(const CReportWriter::FnWrite& write) : CReportBuffer(write) {}

    CReportSink& Number(long long number) { return Raw(std::to_string(number)); }
    /// `escape(out, ch)` appends the character `ch` (1 to 4 bytes), escaped, to `out`.
    template <class FnEscape> CReportSink& Text(std::string_view text, FnEscape&& escape) {
        for (std::size_t i = 0; i < text.size();) {
            const std::size_t length = ReportText::Utf8Length(text.substr(i));
            escape(m_pending, length == 0 ? kReplacement : text.substr(i, length));
            i += length == 0 ? 1 : length;
        }
        return Spill();
    }
};
