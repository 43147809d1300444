// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CCliCommands.h"
#include "engine/CDescriptorBudget.h"

#include <QCoreApplication>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>

int main(int argc, char** argv) {
    // A standard stream the caller closed stays closed to us: the next file or
    // socket opened would otherwise take its number and receive our lines. A
    // read-only /dev/null holds the number and fails every write, as a closed one.
    for (int fd = 0; fd <= 2; ++fd)
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF && ::open("/dev/null", O_RDONLY) != fd)
            return CCliCommands::kExitUnusable;
    // Here, not in the concurrent session: the process's limits are the program's
    // to set, not a library's behind its caller (the tests set low ones on
    // purpose). Nothing here starts other programs, which might expect the old one.
    CDescriptorBudget::RaiseSoftLimit();
    QCoreApplication app(argc, argv);
    std::vector<std::string> args(argv + 1, argv + argc);
    return CCliCommands(stdout, stderr).Run(args);
}
