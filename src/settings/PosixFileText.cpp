#include "settings/FileText.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "settings/FileLinks.h"

namespace horalux::settings {

namespace {

std::string errorText(int error) {
    return std::strerror(error);
}

class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int get() const { return fd_; }
    // Closes now and reports the error, which for some file systems is the first sign of a
    // failed write.
    int close() {
        const int result = ::close(fd_);
        fd_ = -1;
        return result == 0 ? 0 : errno;
    }

  private:
    int fd_;
};

// Creates a fresh file beside `target`; the mode 0666 lets the umask decide as for any new file.
int createTemporary(const std::filesystem::path& target, std::filesystem::path& created) {
    static std::atomic<unsigned> counter{0};
    std::filesystem::path folder = target.parent_path();
    if (folder.empty()) {
        folder = ".";
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name(1, '.');
        name += target.filename().string();
        name += ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        created = folder / name;
        const int fd = ::open(created.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    errno = EEXIST;
    return -1;
}

int writeAll(int fd, std::string_view content) {
    while (!content.empty()) {
        const ssize_t written = ::write(fd, content.data(), content.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        content.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

void syncFolder(const std::filesystem::path& file) {
    std::filesystem::path folder = file.parent_path();
    if (folder.empty()) {
        folder = ".";
    }
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);  // best effort: the rename is done, only its durability is at stake
        ::close(fd);
    }
}

}  // namespace

TextFile readTextFile(const std::filesystem::path& path, std::size_t maxSize) {
    auto unusable = [](std::string reason) {
        return TextFile{TextFile::Unusable, {}, std::move(reason)};
    };
    const std::string tooLarge = "larger than " + std::to_string(maxSize) + " bytes";
    Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0) {
        return errno == ENOENT ? TextFile{} : unusable(errorText(errno));
    }
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) {
        return unusable(errorText(errno));
    }
    if (!S_ISREG(info.st_mode)) {
        return unusable(S_ISDIR(info.st_mode) ? errorText(EISDIR) : "not a regular file");
    }
    if (static_cast<std::size_t>(info.st_size) > maxSize) {
        return unusable(tooLarge);
    }
    std::string content;
    char buffer[8192];
    for (;;) {
        const ssize_t got = ::read(file.get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return unusable(errorText(errno));
        }
        if (got == 0) {
            return {TextFile::Read, std::move(content), {}};
        }
        content.append(buffer, static_cast<std::size_t>(got));
        if (content.size() > maxSize) {  // grew while being read
            return unusable(tooLarge);
        }
    }
}

void writeFileAtomically(const std::filesystem::path& path, std::string_view content,
                         AtLink atLink) {
    const std::filesystem::path target = atLink == AtLink::Follow ? resolveLink(path) : path;
    std::filesystem::path temporary;
    Descriptor file(createTemporary(target, temporary));
    if (file.get() < 0) {
        throw FileError(path, errorText(errno));
    }
    auto fail = [&](int error) {
        ::unlink(temporary.c_str());
        throw FileError(path, errorText(error));
    };
    struct stat old {};
    if (::lstat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode) &&
        ::fchmod(file.get(), old.st_mode & 07777) != 0) {
        fail(errno);
    }
    if (const int error = writeAll(file.get(), content); error != 0) {
        fail(error);
    }
    if (::fsync(file.get()) != 0) {
        fail(errno);
    }
    if (const int error = file.close(); error != 0) {
        fail(error);
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        fail(errno);
    }
    syncFolder(target);
}

}  // namespace horalux::settings
