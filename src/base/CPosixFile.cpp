// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/CPosixFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

CPosixFile::~CPosixFile() {
    if (m_fd >= 0)
        ::close(m_fd);
}

CPosixFile& CPosixFile::operator=(CPosixFile&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

CPosixFile CPosixFile::OpenRegularForReading(const std::string& path) {
    // O_NONBLOCK keeps the open itself from waiting for a writer on a named pipe;
    // the type check then refuses everything that is not a regular file.
    CPosixFile file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!file.IsOpen())
        return file;
    struct stat st {};
    if (::fstat(file.m_fd, &st) != 0 || !S_ISREG(st.st_mode))
        return CPosixFile();
    int flags = ::fcntl(file.m_fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(file.m_fd, F_SETFL, flags & ~O_NONBLOCK);
    return file;
}

bool CPosixFile::IsEnterableDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

bool CPosixFile::WriteAll(const char* data, std::size_t size) {
    return WriteAll(m_fd, data, size);
}

bool CPosixFile::WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

ssize_t CPosixFile::Read(char* buffer, std::size_t size) {
    for (;;) {
        ssize_t n = ::read(m_fd, buffer, size);
        if (n >= 0 || errno != EINTR)
            return n;
    }
}
