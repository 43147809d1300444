// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/CDescriptorBudget.h"

#include <cerrno>
#include <climits>
#include <dirent.h>
#include <sys/resource.h>

namespace {

// The descriptors open now, or -1 when they cannot be counted.
int OpenDescriptors() {
    DIR* dir = ::opendir("/proc/self/fd");
    if (dir == nullptr)
        return -1;
    int count = -1; // the listing's own
    while (const dirent* entry = ::readdir(dir))
        count += entry->d_name[0] == '.' ? 0 : 1;
    ::closedir(dir);
    return count;
}

} // namespace

void CDescriptorBudget::RaiseSoftLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return;
    const rlim_t wanted = std::min<rlim_t>(limit.rlim_max, kMostUseful);
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < wanted) {
        limit.rlim_cur = wanted;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

void CDescriptorBudget::Measure(int inUse) {
    const int open = OpenDescriptors();
    if (open < 0 && IsOutOfDescriptors(errno))
        return;
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return;
    const long soft = static_cast<long>(std::min<rlim_t>(limit.rlim_cur, INT_MAX));
    // What is open and not the session's own stays open meanwhile.
    const long others = open < 0 ? kReserve : std::max(0, open - inUse);
    m_room = static_cast<int>(std::max(0L, soft - others - kReserve));
}
