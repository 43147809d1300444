// The line between the engine and the window: each folder under src/ says in its
// CMakeLists.txt which library its files go to, and a core file may include only
// QtCore's headers and other core folders' files.
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

enum class ESide { Core, Gui, Both, None };

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The side of each folder under `src`, from the libraries its CMakeLists.txt adds to.
std::map<std::string, ESide> FolderSides(const fs::path& src) {
    std::map<std::string, ESide> sides;
    for (const fs::directory_entry& entry : fs::directory_iterator(src)) {
        if (!entry.is_directory())
            continue;
        const std::string cmake = ReadText(entry.path() / "CMakeLists.txt");
        const bool bCore = cmake.find("linkvet_core") != std::string::npos ||
                           cmake.find("linkvet_cli") != std::string::npos;
        const bool bGui = cmake.find("linkvet_gui") != std::string::npos;
        sides[entry.path().filename().string()] = bCore && bGui ? ESide::Both
                                                  : bCore       ? ESide::Core
                                                  : bGui        ? ESide::Gui
                                                                : ESide::None;
    }
    return sides;
}

// Every way a core source crosses the line, as "file: what".
std::vector<std::string> Crossings(const fs::path& src, const std::vector<fs::path>& qtCoreDirs) {
    std::vector<std::string> found;
    const std::map<std::string, ESide> sides = FolderSides(src);
    static const std::regex kInclude(R"(^\s*#\s*include\s*([<"])([^>"]+)[>"])");
    for (const auto& [folder, side] : sides) {
        if (side == ESide::Both || side == ESide::None)
            found.push_back(folder + ": the folder must be on one side of the line");
        if (side != ESide::Core)
            continue;
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(src / folder)) {
            const std::string ext = entry.path().extension().string();
            if (ext != ".h" && ext != ".cpp")
                continue;
            std::istringstream lines(ReadText(entry.path()));
            for (std::string line; std::getline(lines, line);) {
                std::smatch match;
                if (!std::regex_search(line, match, kInclude))
                    continue;
                const std::string header = match[2];
                const std::string where = folder + "/" + entry.path().filename().string() + ": ";
                if (match[1] == "\"") {
                    const std::string target = header.substr(0, header.find('/'));
                    const auto it = sides.find(target);
                    if (header.starts_with("ui_") ||
                        (it != sides.end() && it->second != ESide::Core))
                        found.push_back(where + header);
                    continue;
                }
                if (!header.starts_with("Q"))
                    continue;
                const std::size_t slash = header.find('/');
                bool bCoreHeader = false;
                if (slash != std::string::npos)
                    bCoreHeader = header.substr(0, slash) == "QtCore";
                else
                    for (const fs::path& dir : qtCoreDirs)
                        bCoreHeader = bCoreHeader || fs::exists(dir / header);
                if (!bCoreHeader)
                    found.push_back(where + header);
            }
        }
    }
    return found;
}

std::vector<fs::path> QtCoreDirs() {
    std::vector<fs::path> dirs;
    std::istringstream list(LINKVET_QTCORE_INCLUDE_DIRS);
    for (std::string dir; std::getline(list, dir, '|');)
        if (fs::path(dir).filename() == "QtCore")
            dirs.emplace_back(dir);
    return dirs;
}

void Write(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

} // namespace

TEST(CoreGuiLineTest, NoCoreSourceReachesAWidgetGuiOrPrintHeader) {
    const std::vector<fs::path> qtCore = QtCoreDirs();
    ASSERT_FALSE(qtCore.empty());
    const std::map<std::string, ESide> sides = FolderSides(LINKVET_SOURCE_DIR);
    EXPECT_EQ(sides.at("engine"), ESide::Core);
    EXPECT_EQ(sides.at("dialogs"), ESide::Gui);
    const std::vector<std::string> crossings = Crossings(LINKVET_SOURCE_DIR, qtCore);
    for (const std::string& crossing : crossings)
        ADD_FAILURE() << crossing;

    // The check itself catches each way across: a module-qualified widget header,
    // a bare GUI header, a file of a GUI folder, a form, and a folder on both sides.
    const fs::path tree =
        fs::temp_directory_path() / ("linkvet-line-" + std::to_string(::getpid()));
    Write(tree / "core/CMakeLists.txt", "target_sources(linkvet_core PRIVATE A.cpp)\n");
    Write(tree / "core/A.cpp",
          "#include <QtWidgets/QWidget>\n#include <QString>\n"
          "#include <QColor>\n  #  include \"gui/B.h\"\n#include \"core/A.h\"\n"
          "#include \"ui_B.h\"\n#include <vector>\n");
    Write(tree / "gui/CMakeLists.txt", "target_sources(linkvet_gui PRIVATE B.cpp)\n");
    Write(tree / "gui/B.h", "#include <QWidget>\n");
    Write(tree / "mixed/CMakeLists.txt", "linkvet_core linkvet_gui\n");
    const std::vector<std::string> caught = Crossings(tree, qtCore);
    fs::remove_all(tree);
    EXPECT_EQ(caught,
              (std::vector<std::string>{"core/A.cpp: QtWidgets/QWidget", "core/A.cpp: QColor",
                                        "core/A.cpp: gui/B.h", "core/A.cpp: ui_B.h",
                                        "mixed: the folder must be on one side of the line"}));
}
