// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <sys/types.h>

/// An open file descriptor that closes itself.
class CPosixFile {
public:
    CPosixFile() = default;
    explicit CPosixFile(int fd) : m_fd(fd) {}
    ~CPosixFile();
    CPosixFile(CPosixFile&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    CPosixFile& operator=(CPosixFile&& other) noexcept;
    CPosixFile(const CPosixFile&) = delete;
    CPosixFile& operator=(const CPosixFile&) = delete;

    /// Opens `path` for reading only if it is a regular file (or a link to one).
    /// A named pipe, socket, device or directory is refused without blocking.
    static CPosixFile OpenRegularForReading(const std::string& path);

    /// True when `path` names a folder that can be entered.
    static bool IsEnterableDirectory(const std::string& path);

    bool IsOpen() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }

    /// Reads up to `size` bytes, retrying on interruption. Returns the count read,
    /// 0 at the end of the file, -1 on an error.
    ssize_t Read(char* buffer, std::size_t size);
    /// Writes all of `size` bytes, riding out short writes and interruptions;
    /// false when a write fails.
    bool WriteAll(const char* data, std::size_t size);
    static bool WriteAll(int fd, const char* data, std::size_t size);

private:
    int m_fd = -1;
};
