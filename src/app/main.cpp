// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CLinkvetApp.h"
#include "engine/CDescriptorBudget.h"

#include <QApplication>
#include <cstdio>
#include <string_view>

namespace {

constexpr const char* kHelp = "usage: linkvet            opens the window\n"
                              "       linkvet --help     this text (also -h)\n"
                              "       linkvet --version  the program's name and version\n"
                              "The same checks without a window: linkvet-cli --help\n";

// --help and --version are answered before any QApplication exists, so they
// need no display. -1: neither was asked for; 1: the answer could not be written.
int AnswerInfoOptions(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const char* answer = arg == "--version"               ? "linkvet " LINKVET_VERSION "\n"
                             : arg == "--help" || arg == "-h" ? kHelp
                                                              : nullptr;
        if (answer != nullptr) {
            std::fputs(answer, stdout);
            return std::fflush(stdout) == 0 && std::ferror(stdout) == 0 ? 0 : 1;
        }
    }
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    if (const int status = AnswerInfoOptions(argc, argv); status >= 0)
        return status;
    // As linkvet-cli does, and for the same reason here rather than in the
    // session: checking many links at once wants descriptors the soft limit
    // may not give.
    CDescriptorBudget::RaiseSoftLimit();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Linkvet"));
    // The name of the installed linkvet.desktop: Wayland compositors and task
    // bars match the window to its menu entry and icon by it.
    QGuiApplication::setDesktopFileName(QStringLiteral("linkvet"));
    CLinkvetApp linkvet;
    if (!linkvet.InitInstance())
        return 1;
    const int status = QApplication::exec();
    linkvet.ExitInstance();
    return status;
}
