// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/CSettingsCreator.h"

#include "base/CAtomicFile.h"
#include "settings/CIniImport.h"
#include "settings/CSettingsStore.h"
#include "settings/SettingsPaths.h"

#include <cerrno>
#include <sys/stat.h>
#include <utility>

CSettingsCreator::CSettingsCreator(std::function<void()> fnBeforeMove)
    : m_fnBeforeMove(std::move(fnBeforeMove)) {
}

bool CSettingsCreator::OpenAndImport(CSettingsStore& store, bool* pbCreatedNew) const {
    const std::string folder = SettingsPaths::DefaultFolder();
    const std::string file = SettingsPaths::StoreFile(folder);
    const std::string importFile = SettingsPaths::ImportFile(folder);
    struct stat st {};
    if (folder.empty() || ::lstat(file.c_str(), &st) == 0 || errno != ENOENT)
        return store.OpenBaseKey(pbCreatedNew, folder); // no import into an old store

    if (SettingsPaths::MakeFolder(folder)) {
        CAtomicFile made;
        if (made.Open(file, CAtomicFile::EReplace::NoReplace, S_IRUSR | S_IWUSR)) {
            CSettingsStore aside;
            if (aside.OpenFile(made.TempPath()))
                CIniImport::Import(importFile, aside);
            if (m_fnBeforeMove)
                m_fnBeforeMove();
            if (made.Commit() == CAtomicFile::ECommit::Done && store.OpenFile(file)) {
                if (pbCreatedNew != nullptr)
                    *pbCreatedNew = true;
                return true;
            }
        }
    }
    // Another run's store took the name first and is used as it is; or this file
    // system can neither link nor rename without replacing, and the store is
    // created and filled in two steps.
    bool bCreatedNew = false;
    if (!store.OpenBaseKey(&bCreatedNew, folder))
        return false;
    if (bCreatedNew)
        CIniImport::Import(importFile, store);
    if (pbCreatedNew != nullptr)
        *pbCreatedNew = bCreatedNew;
    return true;
}
