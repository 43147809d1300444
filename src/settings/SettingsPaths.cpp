// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/SettingsPaths.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace {

std::string AbsoluteOrEmpty(const char* path) {
    return path != nullptr && path[0] == '/' ? std::string(path) : std::string();
}

std::string HomeFolder() {
    std::string home = AbsoluteOrEmpty(std::getenv("HOME"));
    if (!home.empty())
        return home;
    // Started without a home in the environment (a service, "env -i"): the
    // password database still knows it, and "/" is nobody's settings folder.
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    while (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
           buffer.size() < (1u << 20))
        buffer.resize(buffer.size() * 2);
    return found != nullptr ? AbsoluteOrEmpty(found->pw_dir) : std::string();
}

} // namespace

std::string SettingsPaths::DefaultFolder() {
    std::string base = AbsoluteOrEmpty(std::getenv("XDG_CONFIG_HOME"));
    if (base.empty()) {
        const std::string home = HomeFolder();
        if (home.empty())
            return {};
        base = home + "/.config";
    }
    return base + "/Veldmark Software";
}

std::string SettingsPaths::StoreFile(const std::string& folder, const std::string& application) {
    return folder + "/" + application + ".conf";
}

std::string SettingsPaths::ImportFile(const std::string& folder, const std::string& application) {
    return folder + "/" + application + ".INI";
}

QString SettingsPaths::ToQt(const std::string& path) {
    return QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size())));
}

bool SettingsPaths::MakeFolder(const std::string& folder) {
    return !folder.empty() && QDir().mkpath(ToQt(folder));
}
