// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/CLinkLister.h"

#include <QCryptographicHash>
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

/// The settled outcome of each distinct URL of a test, in 16 bytes a slot: 18
/// to 28 bytes a URL as the tables fill and grow, whatever the URL's length.
///
/// A URL is known by a 128-bit BLAKE2s hash of its bytes behind a key drawn at
/// random for each object, so no page can be made to collide. A slot keeps 94
/// of those bits, the outcome code and its two marks; two URLs of a test are
/// taken for one only when those 94 bits agree: for 2 million distinct URLs, a
/// chance of about 1 in 10^16. The slots are split in 256 tables by the hash's
/// first byte, each grown on its own by half again in pages of its own, so a
/// growing table never holds the whole store twice and gives its old pages
/// back at once.
class CUrlOutcomes {
public:
    /// A URL as this store knows it.
    struct SKey {
        std::uint64_t high = 0;
        std::uint64_t low = 0;
    };

    CUrlOutcomes();
    ~CUrlOutcomes();
    CUrlOutcomes(const CUrlOutcomes&) = delete;
    CUrlOutcomes& operator=(const CUrlOutcomes&) = delete;

    SKey KeyOf(std::string_view url) const;
    std::optional<CLinkLister::SOutcome> Find(const SKey& key) const;
    /// Keeps `outcome` for `key`; a key kept already keeps its first outcome.
    void Insert(const SKey& key, const CLinkLister::SOutcome& outcome);
    /// Forgets every outcome and gives back the memory they took.
    void Clear();
    std::size_t Size() const { return m_size; }

private:
    struct SSlot {
        std::uint64_t high; // 0: a free slot
        std::uint32_t lowAndMarks;
        std::uint32_t code;
    };
    struct STable {
        SSlot* pSlots = nullptr; // mapped pages of their own
        std::uint32_t capacity = 0;
        std::uint32_t size = 0;
    };
    static constexpr std::size_t kTables = 256;

    static void Grow(STable& table);
    static void Release(STable& table);
    static std::uint32_t IndexOf(const STable& table, const SKey& key);

    std::array<quint32, 4> m_salt{};
    mutable QCryptographicHash m_hasher;
    std::array<STable, kTables> m_tables{};
    std::size_t m_size = 0;
};
