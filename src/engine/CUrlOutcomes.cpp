// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/CUrlOutcomes.h"

#include <QRandomGenerator>
#include <cstring>
#include <new>
#include <sys/mman.h>

namespace {

constexpr std::uint32_t kReplied = 1;
constexpr std::uint32_t kRedirected = 2;
constexpr std::uint32_t kMarks = kReplied | kRedirected;
// A page of slots: a table's size is always a whole number of pages.
constexpr std::uint32_t kPageSlots = 256;

// The 30 bits of the hash's second half a slot keeps beside the marks.
std::uint32_t LowBits(const CUrlOutcomes::SKey& key) {
    return static_cast<std::uint32_t>(key.low >> 32) & ~kMarks;
}

} // namespace

CUrlOutcomes::CUrlOutcomes() : m_hasher(QCryptographicHash::Blake2s_128) {
    QRandomGenerator::system()->generate(m_salt.begin(), m_salt.end());
}

CUrlOutcomes::~CUrlOutcomes() {
    Clear();
}

CUrlOutcomes::SKey CUrlOutcomes::KeyOf(std::string_view url) const {
    m_hasher.reset();
    m_hasher.addData(QByteArrayView(reinterpret_cast<const char*>(m_salt.data()), sizeof(m_salt)));
    m_hasher.addData(QByteArrayView(url.data(), static_cast<qsizetype>(url.size())));
    const QByteArrayView digest = m_hasher.resultView();
    SKey key;
    std::memcpy(&key.high, digest.data(), sizeof(key.high));
    std::memcpy(&key.low, digest.data() + sizeof(key.high), sizeof(key.low));
    key.high += key.high == 0 ? 1 : 0; // 0 marks a free slot
    return key;
}

std::uint32_t CUrlOutcomes::IndexOf(const STable& table, const SKey& key) {
    // Linear probing from the place the hash's low bits give, up to the key's
    // slot or a free one.
    const std::uint32_t low = LowBits(key);
    std::uint32_t at = static_cast<std::uint32_t>(
        (static_cast<std::uint64_t>(static_cast<std::uint32_t>(key.high)) * table.capacity) >> 32);
    for (;; at = at + 1 == table.capacity ? 0 : at + 1) {
        const SSlot& slot = table.pSlots[at];
        if (slot.high == 0 || (slot.high == key.high && (slot.lowAndMarks & ~kMarks) == low))
            return at;
    }
}

std::optional<CLinkLister::SOutcome> CUrlOutcomes::Find(const SKey& key) const {
    const STable& table = m_tables[key.high >> 56];
    if (table.size == 0)
        return std::nullopt;
    const SSlot& slot = table.pSlots[IndexOf(table, key)];
    if (slot.high == 0)
        return std::nullopt;
    return CLinkLister::SOutcome{slot.code, (slot.lowAndMarks & kReplied) != 0,
                                 (slot.lowAndMarks & kRedirected) != 0};
}

void CUrlOutcomes::Insert(const SKey& key, const CLinkLister::SOutcome& outcome) {
    STable& table = m_tables[key.high >> 56];
    // At most 7 of 8 slots taken: the probing stays short.
    if ((table.size + 1) * 8ULL > table.capacity * 7ULL)
        Grow(table);
    SSlot& slot = table.pSlots[IndexOf(table, key)];
    if (slot.high != 0)
        return;
    const std::uint32_t marks =
        (outcome.bReplied ? kReplied : 0) | (outcome.bRedirected ? kRedirected : 0);
    slot = {key.high, LowBits(key) | marks, outcome.code};
    ++table.size;
    ++m_size;
}

void CUrlOutcomes::Grow(STable& table) {
    // Pages straight from the system, not the heap: the old ones go back the
    // moment the table has moved, instead of staying behind as the heap's.
    STable grown;
    grown.capacity =
        table.capacity + std::max(kPageSlots, table.capacity / 2 / kPageSlots * kPageSlots);
    void* pPages = ::mmap(nullptr, grown.capacity * sizeof(SSlot), PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pPages == MAP_FAILED)
        throw std::bad_alloc();
    grown.pSlots = static_cast<SSlot*>(pPages); // zeroed: every slot free
    for (std::uint32_t at = 0; at < table.capacity; ++at) {
        const SSlot& slot = table.pSlots[at];
        if (slot.high != 0)
            grown.pSlots[IndexOf(grown, {slot.high, std::uint64_t{slot.lowAndMarks} << 32})] = slot;
    }
    grown.size = table.size;
    Release(table);
    table = grown;
}

void CUrlOutcomes::Release(STable& table) {
    if (table.pSlots != nullptr)
        ::munmap(table.pSlots, table.capacity * sizeof(SSlot));
    table = STable();
}

void CUrlOutcomes::Clear() {
    for (STable& table : m_tables)
        Release(table);
    m_size = 0;
}
