#pragma once

#include "settings/SettingsKeys.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

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
    /// Lines of the import file longer than this arrive in pieces.
    static constexpr std::size_t kImportPieceSize = 519;
    /// An import file larger than this is not a settings file and is not imported.
    static constexpr std::size_t kMaxImportSize = 4u << 20;

    CSettingsStore() = default;
    ~CSettingsStore() = default;
    CSettingsStore(const CSettingsStore&) = delete;
    CSettingsStore& operator=(const CSettingsStore&) = delete;

    /// The folder the program's settings live in: `$XDG_CONFIG_HOME` followed by
    /// "/Veldmark Software". An unset or relative XDG_CONFIG_HOME stands for
    /// `$HOME/.config`, and an unset or relative HOME for the home folder the
    /// password database names. Empty when no home can be found.
    static std::string DefaultFolder();

    /// Points the store at `folder`/`application`.conf, creating the folder and an
    /// empty file when they are missing. `*pbCreatedNew` tells whether the file did
    /// not exist before this call. Returns false when the file can be neither
    /// found nor created; every read then gives its default and every write fails.
    bool OpenBaseKey(bool* pbCreatedNew, const std::string& folder = DefaultFolder(),
                     const std::string& application = "Linkvet");

    /// What the program does once at start-up: opens the store in the default
    /// folder and, in the run that creates it, imports the old-style file. A new
    /// store appears complete, import included, or not at all: a run that is
    /// interrupted leaves none, and a run started meanwhile finds either none or
    /// a complete one. When two runs both build one, the first to finish wins and
    /// the other uses it (`*pbCreatedNew` false).
    bool OpenAndImport(bool* pbCreatedNew = nullptr);

    /// Copies the old-style import file (`folder`/Linkvet.INI) into the store.
    /// Only a regular file of at most kMaxImportSize bytes is read; a missing,
    /// unreadable or other file imports nothing. Returns the number of entries
    /// stored.
    int ImportIniFile();

    /// Receives one entry of an import file; an empty section is the store's base.
    using FnIniEntry = std::function<void(std::string_view section, std::string_view name,
                                          std::string_view value)>;
    /// Hands the entries of an import file's bytes to `onEntry`, in file order.
    /// Lines end at a line feed and arrive in pieces of at most kImportPieceSize
    /// bytes, each handled as a line: a NUL ends its text, white space is trimmed
    /// at both ends, "[name]" starts a section ("[]" the base), and "name=value" is
    /// an entry, dropped before the first section.
    static void ParseIni(std::string_view bytes, const FnIniEntry& onEntry);

    /// Runs between building a new store aside and moving it into place; lets a
    /// test stand in for another run or an interruption at that moment.
    std::function<void()> m_fnBeforeMove;

    /// Reads a number written as decimal text, as "%d" reads it: leading white
    /// space, an optional sign, then digits; anything after the digits is ignored
    /// ("42abc" gives 42). A text that does not begin with a number, or whose number
    /// does not fit an int, gives `defaultValue`, as does a missing value.
    int GetInt(const std::string& section, const std::string& name, int defaultValue) const;
    bool SetInt(const std::string& section, const std::string& name, int value);

    /// Reads a text value; the result ends before the first NUL of what was stored.
    std::string GetString(const std::string& section, const std::string& name,
                          const std::string& defaultValue) const;
    bool SetString(const std::string& section, const std::string& name, const std::string& value);

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
    int GetInt(const SSettingName& key, int defaultValue) const {
        return GetInt(key.section, key.name, defaultValue);
    }
    bool SetInt(const SSettingName& key, int value) { return SetInt(key.section, key.name, value); }

    const std::string& FilePath() const { return m_strFile; }
    std::string IniFilePath() const;

private:
    /// The settings file, parsed and ready for writing; null when it must not be
    /// written because it could not be read.
    std::unique_ptr<QSettings> OpenForWriting();
    bool ReadRaw(const std::string& section, const std::string& name, std::string& out) const;

    std::string m_strFolder;
    std::string m_strApplication;
    std::string m_strFile;
};
