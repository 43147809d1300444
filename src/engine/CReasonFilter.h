// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/OutcomeCodes.h"
#include "settings/SettingsKeys.h"

#include <array>
#include <string>
#include <string_view>

class CSettingsStore;
class ISessionHost;

/// One known outcome of a link test.
struct SReason {
    unsigned code;
    std::string_view text;
};

/// The 21 known outcomes, the user's filter over them and the time a host is
/// given to answer.
///
/// The filter has one character per known outcome, in table order: "0" hides
/// that outcome, anything else lists it. Outcomes outside the table are always
/// listed.
class CReasonFilter {
public:
    static constexpr std::size_t kReasonCount = 21;
    static constexpr std::string_view kDefaultFilter = SettingsKeys::kSettingsFilter.defaultValue;
    static constexpr std::string_view kOneEyeShutFilter = "000000011110000001000";
    static constexpr std::string_view kUnknownReasonText = "--------------> UNKNOWN REASON !!!!!";
    /// The outcomes of the current-web mode. The filter does not cover them:
    /// they are always listed, and are no unknown reason.
    static constexpr std::array<SReason, 2> kAlwaysListed{{
        {Outcome::kSecureConnectionFailed, "Secure Connection Failed"},
        {Outcome::kTooManyRedirects, "Too Many Redirects"},
    }};
    /// The outcomes of links between the pages, checked on disk: always listed
    /// as well, and no unknown reason.
    static constexpr std::array<SReason, 2> kLocalOutcomes{{
        {Outcome::kFileNotFound, "File Not Found"},
        {Outcome::kAnchorNotFound, "Anchor Not Found"},
    }};
    static constexpr std::string_view kRedirectedSuffix = " (redirected)";
    static constexpr std::string_view kSafeDefaultMessage = "Setting Filter Codes to Safe Default";
    static constexpr int kDefaultTimeoutSeconds = SettingsKeys::kSettingsTimeout.defaultValue;

    static const std::array<SReason, kReasonCount>& ReasonTable();
    /// The position of `code` in the table, or -1 when it is not a known outcome.
    static int ReasonIndex(unsigned code);

    explicit CReasonFilter(ISessionHost& host) : m_host(host) {}

    /// Loads "Settings"/"Filter" and "Settings"/"Timeout". A stored filter that is
    /// not exactly 21 characters long is reported to the user, then replaced by the
    /// default, in the store as well.
    void Load(CSettingsStore& settings);

    bool IsReasonReported(unsigned code) const;

    /// The reason text of `code`. For a code outside the table: a warning beep,
    /// HasUnknownReason() set, and kUnknownReasonText.
    std::string ReasonText(unsigned code);
    /// The same, ending in kRedirectedSuffix when `bRedirected`.
    std::string ReasonText(unsigned code, bool bRedirected);

    const std::string& Filter() const { return m_strFilter; }
    void SetFilter(std::string filter) { m_strFilter = std::move(filter); }

    int TimeoutSeconds() const { return m_timeoutSeconds; }
    /// The time-out in milliseconds, kept within [0, INT_MAX] whatever was stored.
    int TimeoutMs() const { return m_timeoutMs; }
    void SetTimeoutSeconds(int seconds);

    /// Set when a reason was asked for an unknown code, until ClearUnknownReason().
    bool HasUnknownReason() const { return m_bUnknownReason; }
    void ClearUnknownReason() { m_bUnknownReason = false; }

private:
    bool m_bUnknownReason = false;
    ISessionHost& m_host;
    std::string m_strFilter{kDefaultFilter};
    int m_timeoutSeconds = kDefaultTimeoutSeconds;
    int m_timeoutMs = kDefaultTimeoutSeconds * 1000;
};
