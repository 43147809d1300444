// SPDX-License-Identifier: GPL-3.0-or-later
// The line between the engine and the window: each folder under src/ says in its
// CMakeLists.txt which library its files go to, and a core file may include only
// QtCore's headers and other core folders' files.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <regex>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string ReadText(const fs::path& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

// Every way the sources under `src` cross the line, as "file: what". A folder is
// core when its CMakeLists.txt feeds linkvet_core or linkvet_cli, GUI when it
// feeds linkvet_gui, and must be exactly one of them.
std::vector<std::string> Crossings(const fs::path& src, const fs::path& qtCore) {
    std::map<std::string, bool> isCore;
    std::vector<std::string> found;
    for (const fs::directory_entry& folder : fs::directory_iterator(src)) {
        const std::string cmake = ReadText(folder.path() / "CMakeLists.txt");
        const bool bCore = cmake.find("linkvet_core") != std::string::npos ||
                           cmake.find("linkvet_cli") != std::string::npos;
        const std::string name = folder.path().filename().string();
        if (folder.is_directory() && bCore == (cmake.find("linkvet_gui") != std::string::npos))
            found.push_back(name + ": the folder must be on one side of the line");
        isCore[name] = bCore;
    }
    static const std::regex kInclude(R"(^\s*#\s*include\s*([<"])((\w+)/)?([^>"]+)[>"])");
    for (const auto& [folder, bCore] : isCore) {
        for (const fs::directory_entry& file : bCore
                                                   ? fs::recursive_directory_iterator(src / folder)
                                                   : fs::recursive_directory_iterator()) {
            std::istringstream lines(ReadText(file.path()));
            std::smatch match;
            for (std::string line; std::getline(lines, line);) {
                if (!std::regex_search(line, match, kInclude))
                    continue;
                const std::string dir = match[3], header = match[4];
                const bool bCrosses =
                    match[1] == "\""
                        ? header.starts_with("ui_") || (isCore.contains(dir) && !isCore[dir])
                    : !dir.empty() ? dir.starts_with("Qt") && dir != "QtCore"
                                   : header.starts_with("Q") && !fs::exists(qtCore / header);
                if (bCrosses)
                    found.push_back(folder + "/" + file.path().filename().string() + ": " +
                                    match[2].str() + header);
            }
        }
    }
    return found;
}

void Write(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

} // namespace

TEST(CoreGuiLineTest, NoCoreSourceReachesAWidgetGuiOrPrintHeader) {
    fs::path qtCore;
    std::istringstream dirs(LINKVET_QTCORE_INCLUDE_DIRS);
    for (std::string dir; std::getline(dirs, dir, '|');)
        if (fs::path(dir).filename() == "QtCore")
            qtCore = dir;
    ASSERT_TRUE(fs::exists(qtCore / "QString"));
    for (const std::string& crossing : Crossings(LINKVET_SOURCE_DIR, qtCore))
        ADD_FAILURE() << crossing;

    // The check itself catches each way across: a module-qualified widget header,
    // a bare GUI header, a file of a GUI folder, a form, and a folder on both sides.
    const fs::path tree =
        fs::temp_directory_path() / ("linkvet-line-" + std::to_string(::getpid()));
    Write(tree / "core/CMakeLists.txt", "target_sources(linkvet_core PRIVATE A.cpp)\n");
    Write(tree / "core/A.cpp", "#include <QtWidgets/QWidget>\n#include <QString>\n"
                               "#include <QtCore/QObject>\n#include <QColor>\n"
                               "  #  include \"gui/B.h\"\n#include \"core/A.h\"\n"
                               "#include \"ui_B.h\"\n#include <vector>\n");
    Write(tree / "gui/CMakeLists.txt", "target_sources(linkvet_gui PRIVATE B.cpp)\n");
    Write(tree / "gui/B.h", "#include <QWidget>\n");
    Write(tree / "mixed/CMakeLists.txt", "linkvet_core linkvet_gui\n");
    std::vector<std::string> caught = Crossings(tree, qtCore);
    fs::remove_all(tree);
    std::sort(caught.begin(), caught.end());
    EXPECT_EQ(caught,
              (std::vector<std::string>{"core/A.cpp: QColor", "core/A.cpp: QtWidgets/QWidget",
                                        "core/A.cpp: gui/B.h", "core/A.cpp: ui_B.h",
                                        "mixed: the folder must be on one side of the line"}));
}
