// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/CReasonFilter.h"

#include "engine/ISessionHost.h"
#include "engine/OutcomeCodes.h"
#include "settings/CSettingsStore.h"

#include <algorithm>
#include <climits>

const std::array<SReason, CReasonFilter::kReasonCount>& CReasonFilter::ReasonTable() {
    static constexpr std::array<SReason, kReasonCount> kTable{{
        {200, "HTTP Code 200 OK"},
        {201, "HTTP Code 201 Created"},
        {202, "HTTP Code 202 Accepted"},
        {204, "HTTP Code 204 No Content"},
        {301, "HTTP Code 301 Moved Permanently"},
        {302, "HTTP Code 302 Moved Temporarily"},
        {304, "HTTP Code 304 Not Modified"},
        {400, "HTTP Code 400 Bad Request"},
        {401, "HTTP Code 401 Unauthorized"},
        {403, "HTTP Code 403 Forbidden"},
        {404, "HTTP Code 404 Not Found"},
        {500, "HTTP Code 500 Internal Server Error"},
        {501, "HTTP Code 501 Not Implemented"},
        {502, "HTTP Code 502 Bad Gateway"},
        {503, "HTTP Code 503 Service Unavailable"},
        {Outcome::kUnspecifiedSocketError, "Unspecified Socket Error"},
        {Outcome::kInvalidPortOrName, "Request for Invalid Port or Name"},
        {Outcome::kHostNotFound, "Can't Find Named Host"},
        {Outcome::kNoSocket, "Can't Establish Socket"},
        {Outcome::kCannotConnect, "Can't Connect to Host"},
        {Outcome::kTimedOut, "Host Took Too Long to Respond"},
    }};
    return kTable;
}

std::string CReasonFilter::ReasonText(unsigned code, bool bRedirected) {
    std::string text = ReasonText(code);
    // "Too Many Redirects" says it already.
    if (bRedirected && code != Outcome::kTooManyRedirects)
        text += kRedirectedSuffix;
    return text;
}

int CReasonFilter::ReasonIndex(unsigned code) {
    const auto& table = ReasonTable();
    auto it = std::find_if(table.begin(), table.end(),
                           [code](const SReason& reason) { return reason.code == code; });
    return it == table.end() ? -1 : static_cast<int>(it - table.begin());
}

void CReasonFilter::Load(CSettingsStore& settings) {
    m_strFilter = settings.Get(SettingsKeys::kSettingsFilter);
    if (m_strFilter.size() != kReasonCount) {
        m_host.ShowMessage(std::string(kSafeDefaultMessage));
        m_strFilter = kDefaultFilter;
        settings.Set(SettingsKeys::kSettingsFilter, m_strFilter);
    }
    SetTimeoutSeconds(settings.Get(SettingsKeys::kSettingsTimeout));
}

void CReasonFilter::SetTimeoutSeconds(int seconds) {
    m_timeoutSeconds = seconds;
    // A hand-edited value may be anything; the timer interval must stay a
    // non-negative int.
    long long ms = static_cast<long long>(seconds) * 1000;
    m_timeoutMs = static_cast<int>(std::clamp<long long>(ms, 0, INT_MAX));
}

bool CReasonFilter::IsReasonReported(unsigned code) const {
    int index = ReasonIndex(code);
    if (index < 0)
        return true;
    // The filter always has 21 characters once loaded; one set by hand that is
    // shorter lists what it does not cover.
    std::size_t at = static_cast<std::size_t>(index);
    return at >= m_strFilter.size() || m_strFilter[at] != '0';
}

std::string CReasonFilter::ReasonText(unsigned code) {
    int index = ReasonIndex(code);
    if (index >= 0)
        return std::string(ReasonTable()[static_cast<std::size_t>(index)].text);
    for (const auto* pList : {&kAlwaysListed, &kLocalOutcomes})
        for (const SReason& reason : *pList)
            if (reason.code == code)
                return std::string(reason.text);
    m_bUnknownReason = true;
    m_host.Beep(ISessionHost::EBeepKind::Warning);
    return std::string(kUnknownReasonText);
}
