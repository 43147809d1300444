#include "cli/CCliCommands.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::vector<std::string> args(argv + 1, argv + argc);
    CCliCommands commands(stdout, stderr);
    int status = commands.Run(args);
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        std::fputs("linkvet-cli: cannot write the output\n", stderr);
        return CCliCommands::kExitUnusable;
    }
    return status;
}
