#include "FileIo.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace NConvert {

namespace {

std::string SystemMessage(const std::string &what, const std::string &path)
{
    return what + " " + path + ": " + std::strerror(errno);
}

class FileDescriptor
{
public:
    explicit FileDescriptor(int fd)
        : m_fd(fd)
    {
    }
    ~FileDescriptor() { close(); }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;

    int get() const { return m_fd; }
    bool close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int m_fd;
};

} // namespace

Result<std::vector<std::uint8_t>> ReadFileCapped(const std::string &path, const Limits &limits)
{
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0)
        return MakeError(ErrorCode::Unreadable, SystemMessage("cannot open", path));
    struct stat st
    {
    };
    if (::fstat(file.get(), &st) != 0)
        return MakeError(ErrorCode::Unreadable, SystemMessage("cannot examine", path));
    // A pipe or device could block forever or never end.
    if (!S_ISREG(st.st_mode))
        return MakeError(ErrorCode::Unreadable, path + " is not a regular file");
    if (std::uint64_t(st.st_size) > limits.maxFileBytes)
        return MakeError(ErrorCode::TooLarge, path + " is too large");

    std::vector<std::uint8_t> bytes;
    try {
        bytes.resize(std::size_t(st.st_size));
    } catch (const std::bad_alloc &) {
        return MakeError(ErrorCode::OutOfMemory, "not enough memory to read " + path);
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got = ::read(file.get(), bytes.data() + done, bytes.size() - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return MakeError(ErrorCode::Unreadable, SystemMessage("cannot read", path));
        if (got == 0)
            break; // the file shrank while we read it
        done += std::size_t(got);
    }
    bytes.resize(done);
    return bytes;
}

Result<Done> WriteFileAtomically(const std::string &path, std::span<const std::uint8_t> bytes)
{
    std::string temporary = path + ".XXXXXX";
    FileDescriptor file(::mkostemp(temporary.data(), O_CLOEXEC));
    if (file.get() < 0)
        return MakeError(ErrorCode::WriteFailed, SystemMessage("cannot create", temporary));

    // The temporary file is private (0600); the result gets the permissions
    // any new file of the user gets.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    bool ok = ::fchmod(file.get(), 0666 & ~mask) == 0;
    std::size_t done = 0;
    while (ok && done < bytes.size()) {
        const ssize_t wrote = ::write(file.get(), bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        ok = wrote > 0;
        if (ok)
            done += std::size_t(wrote);
    }
    ok = file.close() && ok;
    if (!ok || ::rename(temporary.c_str(), path.c_str()) != 0) {
        const std::string message = SystemMessage("cannot write", path);
        ::unlink(temporary.c_str());
        return MakeError(ErrorCode::WriteFailed, message);
    }
    return Done{};
}

} // namespace NConvert
