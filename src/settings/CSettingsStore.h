// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "settings/SettingsKeys.h"
#include "settings/SettingsPaths.h"

#include <memory>
#include <string>
#include <vector>

class QSettings;

/// The program's settings: named text values grouped by section, kept in an
/// INI file in the user's config folder ("Veldmark Software/Linkvet.conf").
///
/// Every value is text; numbers are stored as decimal text. Sections, names and
/// values are bytes; values come back exactly as they were stored, and sections
/// and names match without regard to the case of ASCII letters. The store keeps
/// nothing open and caches nothing: each call reads or writes the file itself, and
/// each write replaces the file in one atomic step, so a crash never leaves it torn.
///
/// Failures are silent: a read that fails gives the caller's default, a write
/// that fails returns false.
class CSettingsStore {
public:
    /// Longest value a read accepts, counting a terminating NUL as the stored size
    /// always did: a value of 260 bytes or more reads as the default.
    static constexpr std::size_t kMaxReadSize = 260;

    /// One value and where it goes.
    struct SEntry {
        std::string section;
        std::string name;
        std::string value;
    };

    CSettingsStore() = default;
    ~CSettingsStore() = default;
    CSettingsStore(const CSettingsStore&) = delete;
    CSettingsStore& operator=(const CSettingsStore&) = delete;

    /// Points the store at `folder`/`application`.conf, creating the folder and an
    /// empty file when they are missing. `*pbCreatedNew` tells whether the file did
    /// not exist before this call. Returns false when the file can be neither
    /// found nor created; every read then gives its default and every write fails.
    bool OpenBaseKey(bool* pbCreatedNew, const std::string& folder = SettingsPaths::DefaultFolder(),
                     const std::string& application = SettingsPaths::kApplication);

    /// Points the store at `file`, which must be a regular file already.
    bool OpenFile(const std::string& file);

    /// Reads a number written as decimal text, as "%d" reads it: leading white
    /// space, an optional sign, then digits; anything after the digits is ignored
    /// ("42abc" gives 42). A text that does not begin with a number, or whose number
    /// does not fit an int, gives `defaultValue`, as does a missing value.
    int GetInt(const std::string& section, const std::string& name, int defaultValue) const;
    bool SetInt(const std::string& section, const std::string& name, int value);

    /// Reads a text value; the result ends before the first NUL of what was stored.
    std::string GetString(const std::string& section, const std::string& name,
                          const std::string& defaultValue) const;
    /// Stores a value up to its first NUL.
    bool SetString(const std::string& section, const std::string& name, const std::string& value);
    /// Stores every entry, as SetString does, in one write of the file.
    bool SetEntries(const std::vector<SEntry>& entries);

    int Get(const SIntSetting& key) const {
        return GetInt(key.section, key.name, key.defaultValue);
    }
    std::string Get(const SStringSetting& key) const {
        return GetString(key.section, key.name, key.defaultValue);
    }
    bool Set(const SIntSetting& key, int value) { return SetInt(key.section, key.name, value); }
    bool Set(const SStringSetting& key, const std::string& value) {
        return SetString(key.section, key.name, value);
    }
    /// The whole value, however long; "" when missing.
    std::string Get(const STextSetting& key) const;
    bool Set(const STextSetting& key, const std::string& value) {
        return SetString(key.section, key.name, value);
    }
    int GetInt(const SSettingName& key, int defaultValue) const {
        return GetInt(key.section, key.name, defaultValue);
    }
    bool SetInt(const SSettingName& key, int value) { return SetInt(key.section, key.name, value); }

    const std::string& FilePath() const { return m_strFile; }

private:
    /// The settings file, parsed and ready for writing; null when it must not be
    /// written because it could not be read.
    std::unique_ptr<QSettings> OpenForWriting();
    bool ReadRaw(const std::string& section, const std::string& name, std::string& out,
                 std::size_t maxSize = kMaxReadSize) const;

    std::string m_strFile;
};
