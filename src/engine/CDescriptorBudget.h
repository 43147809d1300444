// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <cerrno>

/// The file descriptors a concurrent test may take for its probes and look-ups:
/// the soft limit, less those open when it was measured and a reserve for the
/// pages read, the output and what the libraries open on their own (the trust
/// store, the resolver's files).
///
/// The count is an estimate. A call that still finds no descriptor free makes
/// the session wait for one of its own to be given back (Shrink()) and measure
/// again; it is never an outcome of a link while the test holds others.
class CDescriptorBudget {
public:
    static constexpr int kReserve = 32;
    /// A probe holds its socket; in the current-web mode also a redirect's
    /// look-up or a trust store file while it verifies.
    static constexpr int kPerProbe = 1;
    static constexpr int kPerCurrentWebProbe = 2;
    /// The resolver's socket, and /etc/hosts or a TCP retry beside it.
    static constexpr int kPerLookup = 2;
    /// More than a test with the most jobs and look-ups ever holds at once.
    static constexpr long kMostUseful = 16384;

    /// Raises the process's soft limit toward its hard one, up to kMostUseful;
    /// never lowers it.
    static void RaiseSoftLimit();
    /// Whether a call failed for want of a file descriptor.
    static bool IsOutOfDescriptors(int error) { return error == EMFILE || error == ENFILE; }

    /// Measures the room anew while the session holds `inUse` descriptors.
    /// Without a descriptor to count them with, the room stays as it was; where
    /// they cannot be counted at all, as many as the reserve count as open.
    void Measure(int inUse);
    /// Whether `more` may be taken while `inUse` are held: always when none
    /// are, so a test can never stall on it.
    bool Allows(int inUse, int more) const { return inUse == 0 || inUse + more <= m_room; }
    /// None was free while `inUse` were held: nothing more until some are back.
    void Shrink(int inUse) { m_room = std::min(m_room, inUse); }

private:
    int m_room = 0;
};
