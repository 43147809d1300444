// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/CSettingsStore.h"

#include "base/AsciiText.h"
#include "settings/SettingsKeyCodec.h"

#include <QSettings>
#include <QVariant>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool CSettingsStore::OpenBaseKey(bool* pbCreatedNew, const std::string& folder,
                                 const std::string& application) {
    m_strFile.clear(); // until the file is there, reads give defaults and writes fail
    if (pbCreatedNew != nullptr)
        *pbCreatedNew = false;
    if (!SettingsPaths::MakeFolder(folder))
        return false;
    const std::string file = SettingsPaths::StoreFile(folder, application);
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
        if (pbCreatedNew != nullptr)
            *pbCreatedNew = true;
    } else if (errno != EEXIST) {
        return false;
    }
    return OpenFile(file);
}

bool CSettingsStore::OpenFile(const std::string& file) {
    struct stat st {};
    const bool bRegular = ::stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    m_strFile = bRegular ? file : std::string();
    return bRegular;
}

bool CSettingsStore::ReadRaw(const std::string& section, const std::string& name, std::string& out,
                             std::size_t maxSize) const {
    if (m_strFile.empty())
        return false;
    QSettings settings(SettingsPaths::ToQt(m_strFile), QSettings::IniFormat);
    if (settings.status() == QSettings::AccessError)
        return false;
    QVariant v = settings.value(SettingsKeyCodec::KeyOf(section, name));
    if (!v.isValid())
        return false;
    std::string value = SettingsKeyCodec::FromVariant(v);
    value.resize(std::min(value.size(), value.find('\0')));
    if (value.size() >= maxSize)
        return false;
    out = std::move(value);
    return true;
}

int CSettingsStore::GetInt(const std::string& section, const std::string& name,
                           int defaultValue) const {
    std::string text;
    if (!ReadRaw(section, name, text))
        return defaultValue;
    const auto value = AsciiText::ParseDecimal(text, AsciiText::EDecimal::Scanf, INT_MAX);
    return value ? static_cast<int>(*value) : defaultValue;
}

std::string CSettingsStore::GetString(const std::string& section, const std::string& name,
                                      const std::string& defaultValue) const {
    std::string text;
    if (!ReadRaw(section, name, text))
        return defaultValue;
    return text;
}

std::string CSettingsStore::Get(const STextSetting& key) const {
    std::string text;
    ReadRaw(key.section, key.name, text, std::string::npos);
    return text;
}

bool CSettingsStore::SetInt(const std::string& section, const std::string& name, int value) {
    return SetString(section, name, std::to_string(value));
}

bool CSettingsStore::SetString(const std::string& section, const std::string& name,
                               const std::string& value) {
    return SetEntries({{section, name, value}});
}

bool CSettingsStore::SetEntries(const std::vector<SEntry>& entries) {
    std::unique_ptr<QSettings> settings = OpenForWriting();
    if (!settings)
        return false;
    for (const SEntry& entry : entries) {
        const std::string_view value = entry.value;
        settings->setValue(SettingsKeyCodec::KeyOf(entry.section, entry.name),
                           SettingsKeyCodec::ToVariant(value.substr(0, value.find('\0'))));
    }
    settings->sync();
    return settings->status() == QSettings::NoError;
}

std::unique_ptr<QSettings> CSettingsStore::OpenForWriting() {
    if (m_strFile.empty())
        return nullptr;
    const QString path = SettingsPaths::ToQt(m_strFile);
    auto settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
    (void)settings->allKeys(); // the file is parsed on first use
    if (settings->status() == QSettings::AccessError)
        return nullptr; // never overwrite a file that could not be read
    if (settings->status() == QSettings::FormatError) {
        // Lines that make no sense are dropped at the next write; every value that
        // could be read is kept. A fresh object reports only the write's own status.
        settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
    }
    return settings;
}
