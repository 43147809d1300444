// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "export/CReportBuffer.h"

#include <string>
#include <string_view>

/// Writes JSON text in pieces of a bounded size, so a report of any length
/// needs no more memory than one piece.
///
/// Strings are bytes: valid UTF-8 goes out as it is (quote, backslash and
/// control characters escaped), and each byte that is not part of valid UTF-8
/// is written as chosen: reversibly as a lone surrogate `\udcXX` (XX the byte,
/// 80 to ff), the way a "surrogateescape" decoder reads it back, or as U+FFFD
/// where the text is only shown.
class CJsonStream : public CReportBuffer<CJsonStream> {
public:
    enum class EBadBytes { Surrogate, Replace };

    explicit CJsonStream(const CReportWriter::FnWrite& write) : CReportBuffer(write) {}

    /// `bytes` as a quoted JSON string.
    CJsonStream& String(std::string_view bytes, EBadBytes bad = EBadBytes::Surrogate);
    CJsonStream& Number(long long value);
    CJsonStream& Bool(bool bValue) { return Raw(bValue ? "true" : "false"); }
    /// A positive number, or null for 0 (unknown).
    CJsonStream& NumberOrNull(long long value) { return value > 0 ? Number(value) : Raw("null"); }
};
