// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

class CSettingsStore;

/// Opens the settings store at start-up and, in the run that creates it,
/// imports the old-style file into it.
///
/// A new store appears complete, import included, or not at all: it is built
/// and filled under a temporary name of CAtomicFile's, which no run takes for a
/// store, and linked into place only when it is complete, never over a store
/// that appeared meanwhile. A run that is interrupted leaves none, and a run
/// started meanwhile finds either none or a complete one. When two runs both
/// build one, the first to finish wins and the other uses it.
class CSettingsCreator {
public:
    /// `fnBeforeMove` runs between building a new store aside and moving it into
    /// place: a test stands in there for another run or an interruption.
    explicit CSettingsCreator(std::function<void()> fnBeforeMove = {});

    /// Points `store` at the store in the default folder, creating it (with the
    /// import) when there is none; an existing store imports nothing.
    /// `*pbCreatedNew` tells whether this call created it. False when the store
    /// can be neither found nor created.
    bool OpenAndImport(CSettingsStore& store, bool* pbCreatedNew = nullptr) const;

private:
    std::function<void()> m_fnBeforeMove;
};
