// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

class QString;

/// Where the program's settings live, as bytes.
namespace SettingsPaths {

/// The program's name in the settings folder.
inline constexpr const char* kApplication = "Linkvet";

/// The folder the program's settings live in: `$XDG_CONFIG_HOME` followed by
/// "/Veldmark Software". An unset or relative XDG_CONFIG_HOME stands for
/// `$HOME/.config`, and an unset or relative HOME for the home folder the
/// password database names. Empty when no home can be found.
std::string DefaultFolder();

/// The store: `folder`/`application`.conf.
std::string StoreFile(const std::string& folder, const std::string& application = kApplication);
/// The old-style file imported once: `folder`/`application`.INI.
std::string ImportFile(const std::string& folder, const std::string& application = kApplication);

/// `path` as Qt's file classes take it, decoded as the system decodes names.
QString ToQt(const std::string& path);
/// Creates `folder` and the folders above it where they are missing.
bool MakeFolder(const std::string& folder);

} // namespace SettingsPaths
