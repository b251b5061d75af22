#include "docs/safe_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <random>
#include <system_error>

namespace quorvant {
namespace {

// A file descriptor closed when it goes out of scope.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() { Close(); }
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closes now; false (errno set) when closing reported an error (a delayed write
  // failure on some file systems).
  bool Close() {
    if (fd_ < 0) return true;
    const int result = ::close(fd_);
    fd_ = -1;
    return result == 0;
  }

 private:
  int fd_;
};

FileStamp StampFrom(const struct stat& st) {
  FileStamp stamp;
  stamp.known = true;
  stamp.device = static_cast<uint64_t>(st.st_dev);
  stamp.inode = static_cast<uint64_t>(st.st_ino);
  stamp.size = static_cast<int64_t>(st.st_size);
  stamp.modifiedNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return stamp;
}

// Writes all of `data` at the current position, retrying short writes.
bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t written = ::write(fd, data.data(), data.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

// Copies the whole of `from` (from its start) to `to` (at its current position).
bool CopyContents(int from, int to) {
  if (::lseek(from, 0, SEEK_SET) < 0) return false;
  char buffer[1 << 16];
  for (;;) {
    const ssize_t got = ::read(from, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (got == 0) return true;
    if (!WriteAll(to, std::string_view(buffer, static_cast<size_t>(got)))) return false;
  }
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Follows symbolic links until `path` names something that is not one (or nothing).
bool ResolveLinks(std::string path, std::string& resolved, std::string& reason) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      resolved = path;
      return true;
    }
    std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 4096), '\0');
    const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
    if (length < 0) {
      reason = FileErrorReason(errno);
      return false;
    }
    target.resize(static_cast<size_t>(length));
    path = !target.empty() && target[0] == '/' ? target : FolderOf(path) + "/" + target;
  }
  reason = "it is a chain of too many symbolic links";
  return false;
}

// A new empty file beside `target` with a name nobody else uses, created with mode
// 0666 less the umask (the mode a new file gets).
int CreateTempBeside(const std::string& target, std::string& tempPath) {
  std::random_device random;
  const std::string folder = FolderOf(target);
  const size_t slash = target.find_last_of('/');
  const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempPath = folder + "/." + name + ".saving-" + std::to_string(random());
    const int fd = ::open(tempPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

void SyncFolder(const std::string& folder) {
  Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.valid()) ::fsync(dir.get());
}

SaveResult Failure(std::string reason) {
  SaveResult result;
  result.outcome = SaveResult::Outcome::Failed;
  result.reason = std::move(reason);
  return result;
}

SaveResult Saved(const std::string& target) {
  SaveResult result;
  result.outcome = SaveResult::Outcome::Saved;
  result.stamp = StampOf(target);
  return result;
}

SaveResult ReplaceInPlace(const std::string& target, std::string_view text);

// The usual way: a new file beside the target, given the target's mode and owner,
// written whole and synced, then renamed over the target in one step.
SaveResult ReplaceByRename(const std::string& target, std::string_view text,
                           const struct stat* existing) {
  std::string tempPath;
  Fd temp(CreateTempBeside(target, tempPath));
  if (!temp.valid()) {
    const int code = errno;
    struct stat folder;
    if (::stat(FolderOf(target).c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode))
      return Failure("the folder \"" + FolderOf(target) + "\" does not exist");
    if (code == EACCES || code == EPERM)
      return Failure("the folder \"" + FolderOf(target) +
                     "\" does not allow new files (a file is saved by writing a new copy "
                     "beside it first, so that a failed save never leaves half a file)");
    return Failure(FileErrorReason(code));
  }
  auto fail = [&](int code) {
    ::unlink(tempPath.c_str());
    return Failure(FileErrorReason(code));
  };
  if (existing) {
    // The new file must look like the old one: same owner and group (set first, since
    // changing them may clear set-id bits), then the same mode. An owner this process
    // may not give away means the file has to be rewritten in place instead.
    struct stat made;
    if (::fstat(temp.get(), &made) != 0) return fail(errno);
    if ((made.st_uid != existing->st_uid || made.st_gid != existing->st_gid) &&
        ::fchown(temp.get(), existing->st_uid, existing->st_gid) != 0) {
      temp.Close();
      ::unlink(tempPath.c_str());
      return ReplaceInPlace(target, text);
    }
    if (::fchmod(temp.get(), existing->st_mode & 07777) != 0) return fail(errno);
  }
  if (!WriteAll(temp.get(), text) || ::fsync(temp.get()) != 0) return fail(errno);
  if (!temp.Close()) return fail(errno);
  if (::rename(tempPath.c_str(), target.c_str()) != 0) return fail(errno);
  SyncFolder(FolderOf(target));
  return Saved(target);
}

// For a file that must stay the same file (hard links, an owner a new file cannot be
// given): its old contents are copied beside it first, then it is rewritten in place;
// if that fails, the copy is written back.
SaveResult ReplaceInPlace(const std::string& target, std::string_view text) {
  Fd file(::open(target.c_str(), O_RDWR | O_CLOEXEC));
  if (!file.valid()) return Failure(FileErrorReason(errno));
  std::string backupPath;
  Fd backup(CreateTempBeside(target, backupPath));
  if (!backup.valid()) {
    const int code = errno;
    return Failure("no safe copy of its old contents can be made in its folder (" +
                   FileErrorReason(code) + "), and it is not rewritten without one");
  }
  if (!CopyContents(file.get(), backup.get()) || ::fsync(backup.get()) != 0) {
    const int code = errno;
    ::unlink(backupPath.c_str());
    return Failure("no safe copy of its old contents could be made (" + FileErrorReason(code) +
                   ")");
  }
  const bool written = ::ftruncate(file.get(), 0) == 0 && ::lseek(file.get(), 0, SEEK_SET) == 0 &&
                       WriteAll(file.get(), text) && ::fsync(file.get()) == 0;
  if (written) {
    file.Close();
    backup.Close();
    ::unlink(backupPath.c_str());
    return Saved(target);
  }
  const int code = errno;
  const bool restored = ::ftruncate(file.get(), 0) == 0 && ::lseek(file.get(), 0, SEEK_SET) == 0 &&
                        CopyContents(backup.get(), file.get()) && ::fsync(file.get()) == 0;
  if (restored) {
    ::unlink(backupPath.c_str());
    return Failure(FileErrorReason(code) + "; the file keeps its previous contents");
  }
  return Failure(FileErrorReason(code) + "; its previous contents are kept in \"" + backupPath +
                 "\"");
}

}  // namespace

FileStamp StampOf(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return {};
  return StampFrom(st);
}

std::string FileErrorReason(int errnoCode) {
  switch (errnoCode) {
    case ENOSPC:
      return "the disk is full";
    case EDQUOT:
      return "the disk quota is used up";
    case EROFS:
      return "the file system is read-only";
    case EACCES:
    case EPERM:
      return "permission denied";
    case ENOENT:
      return "no such file or folder";
    case EISDIR:
      return "it is a folder, not a file";
    case 0:
      return "unknown error";
    default:
      return std::generic_category().message(errnoCode);
  }
}

ReadResult ReadBoundedFile(const std::string& path, std::size_t maxBytes, std::size_t headBytes,
                           const std::function<bool(std::string_view head)>& head) {
  ReadResult result;
  using Outcome = ReadResult::Outcome;
  Fd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
  if (!file.valid()) {
    result.reason = FileErrorReason(errno);
    return result;
  }
  struct stat st;
  if (::fstat(file.get(), &st) != 0) {
    result.reason = FileErrorReason(errno);
    return result;
  }
  if (S_ISDIR(st.st_mode)) {
    result.reason = FileErrorReason(EISDIR);
    return result;
  }
  result.stamp = StampFrom(st);

  // Reads until `limit` bytes are held, a line end arrived (when `stopAtLineEnd`), or
  // the file ended. False on a read error.
  bool ended = false;
  auto readMore = [&](size_t limit, bool stopAtLineEnd) {
    char buffer[1 << 16];
    while (!ended && result.text.size() < limit) {
      const size_t want = std::min(sizeof buffer, limit - result.text.size());
      const ssize_t got = ::read(file.get(), buffer, want);
      if (got < 0) {
        if (errno == EINTR) continue;
        result.reason = FileErrorReason(errno);
        return false;
      }
      if (got == 0) ended = true;
      const size_t before = result.text.size();
      result.text.append(buffer, static_cast<size_t>(got));
      if (stopAtLineEnd && result.text.find_first_of("\r\n", before) != std::string::npos) break;
    }
    return true;
  };

  if (!readMore(headBytes, true)) return result;
  const size_t lineEnd = result.text.find_first_of("\r\n");
  const std::string_view first(result.text.data(),
                               lineEnd == std::string::npos ? result.text.size() : lineEnd + 1);
  if (!head(first)) {
    result.outcome = Outcome::Rejected;
    result.text.clear();
    return result;
  }
  if (S_ISREG(st.st_mode) && static_cast<uint64_t>(st.st_size) > maxBytes) {
    result.outcome = Outcome::TooLarge;
    result.text.clear();
    return result;
  }
  // One byte beyond the limit tells a file that is too large (a device or a pipe has no
  // size to look at beforehand).
  if (!readMore(maxBytes + 1, false)) return result;
  if (result.text.size() > maxBytes) {
    result.outcome = Outcome::TooLarge;
    result.text.clear();
    return result;
  }
  result.outcome = Outcome::Read;
  return result;
}

SaveResult ReplaceFileContents(const std::string& path, std::string_view text,
                               const FileStamp& expected) {
  std::string target, reason;
  if (!ResolveLinks(path, target, reason)) return Failure(reason);

  struct stat st;
  const bool exists = ::stat(target.c_str(), &st) == 0;
  if (!exists && errno != ENOENT) return Failure(FileErrorReason(errno));
  if (expected.known && (!exists || StampFrom(st) != expected)) {
    SaveResult changed;
    changed.outcome = SaveResult::Outcome::ChangedOnDisk;
    changed.reason = exists ? "it was changed by another program after it was read"
                            : "it was removed or renamed by another program after it was read";
    changed.stamp = exists ? StampFrom(st) : FileStamp{};
    return changed;
  }
  if (!exists) return ReplaceByRename(target, text, nullptr);

  if (S_ISDIR(st.st_mode)) return Failure(FileErrorReason(EISDIR));
  if (!S_ISREG(st.st_mode)) return Failure("it is not a regular file");
  // Permissions that allow nobody to write mean "read-only", also to a process that
  // could override them.
  if ((st.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0) {
    if (errno == EROFS) return Failure(FileErrorReason(EROFS));
    return Failure("the file is read-only (its permissions do not allow writing)");
  }
  if (st.st_nlink > 1) return ReplaceInPlace(target, text);
  return ReplaceByRename(target, text, &st);
}

}  // namespace quorvant
