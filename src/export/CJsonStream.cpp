#include "export/CJsonStream.h"

namespace {

constexpr char kHex[] = "0123456789abcdef";

// Bytes that go out as they are: printable ASCII but the quote and backslash.
constexpr bool IsPlain(unsigned char c) {
    return c >= 0x20 && c < 0x7f && c != '"' && c != '\\';
}

} // namespace

std::size_t CJsonStream::Utf8Length(std::string_view bytes) {
    const auto byte = [&bytes](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned char low = 0x80;  // the range of the second byte, which rules out
    unsigned char high = 0xbf; // overlong forms, surrogates and code points past U+10FFFF
    if (lead < 0x80)
        return 1;
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
        if (byte(i) < 0x80 || byte(i) > 0xbf)
            return 0;
    return length;
}

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
            const std::size_t length = Utf8Length(bytes.substr(i));
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

bool CJsonStream::Finish() {
    if (m_bOk && !m_pending.empty())
        m_bOk = m_write(m_pending);
    m_pending.clear();
    return m_bOk;
}
