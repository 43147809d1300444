// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/CJsonStream.h"

namespace {

constexpr char kHex[] = "0123456789abcdef";

// Bytes that go out as they are: printable ASCII but the quote and backslash.
constexpr bool IsPlain(unsigned char c) {
    return c >= 0x20 && c < 0x7f && c != '"' && c != '\\';
}

} // namespace

CJsonStream& CJsonStream::String(std::string_view bytes, EBadBytes bad) {
    m_pending += '"';
    std::size_t i = 0;
    while (i < bytes.size()) {
        std::size_t run = i;
        while (run < bytes.size() && IsPlain(static_cast<unsigned char>(bytes[run])))
            ++run;
        m_pending.append(bytes.substr(i, run - i));
        if (run == bytes.size())
            break;
        i = run;
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c >= 0x80) {
            const std::size_t length = ReportText::Utf8Length(bytes.substr(i));
            if (length > 0) {
                m_pending.append(bytes.substr(i, length));
                i += length;
                continue;
            }
            if (bad == EBadBytes::Surrogate)
                m_pending.append("\\udc").append(1, kHex[c >> 4]).append(1, kHex[c & 15]);
            else
                m_pending.append("\xef\xbf\xbd");
            ++i;
            continue;
        }
        switch (c) {
        case '"':
            m_pending.append("\\\"");
            break;
        case '\\':
            m_pending.append("\\\\");
            break;
        case '\n':
            m_pending.append("\\n");
            break;
        case '\r':
            m_pending.append("\\r");
            break;
        case '\t':
            m_pending.append("\\t");
            break;
        default: // the other control characters, and DEL for readability
            m_pending.append("\\u00").append(1, kHex[c >> 4]).append(1, kHex[c & 15]);
        }
        ++i;
    }
    m_pending += '"';
    return Spill();
}

CJsonStream& CJsonStream::Number(long long value) {
    m_pending.append(std::to_string(value));
    return Spill();
}
