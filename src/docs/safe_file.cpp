#include "docs/safe_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <random>
#include <system_error>

#include "model/text_safety.h"

namespace quorvant {
namespace {

// A file descriptor closed when it goes out of scope.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  Fd(Fd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
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

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The kinds of file a save leaves beside the file while it works: the new copy that is
// renamed over the file, and the journal of an in-place write.
constexpr std::string_view kCopyTag = ".saving-";
constexpr std::string_view kJournalTag = ".journal-";

// A new empty file beside `target` (".NAME<tag>N") with a name nobody else uses,
// created with mode 0666 less the umask (the mode a new file gets) and locked, so that
// the recovery of another process leaves it alone while this save works on it.
int CreateBeside(const std::string& target, std::string_view tag, std::string& tempPath) {
  std::random_device random;
  const std::string prefix = FolderOf(target) + "/." + BaseName(target) + std::string(tag);
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempPath = prefix + std::to_string(random());
    const int fd = ::open(tempPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::flock(fd, LOCK_EX);
      return fd;
    }
    if (errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

void SyncFolder(const std::string& folder) {
  Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.valid()) ::fsync(dir.get());
}

// Runs a fault hook for one step: false (errno set) when the step is to fail.
bool Step(const SaveFault& fault, SaveStep step) {
  const int injected = fault ? fault(step) : 0;
  if (injected != 0) errno = injected;
  return injected == 0;
}

// Reads the whole file from its start; false when it holds more than `limit` bytes.
bool ReadAll(int fd, std::string& out, size_t limit = SIZE_MAX) {
  out.clear();
  if (::lseek(fd, 0, SEEK_SET) < 0) return false;
  char buffer[1 << 16];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (got == 0) return true;
    if (static_cast<size_t>(got) > limit - out.size()) return false;
    out.append(buffer, static_cast<size_t>(got));
  }
}

// Empties the file and writes `text` into it, synced; `fault` may stop it between the
// steps (a failure comes back as false with errno set).
bool RewriteInPlace(int fd, std::string_view text, const SaveFault& fault = {}) {
  auto step = [&](SaveStep s) { return Step(fault, s); };
  const size_t half = text.size() / 2;
  return step(SaveStep::Truncate) && ::ftruncate(fd, 0) == 0 && ::lseek(fd, 0, SEEK_SET) == 0 &&
         step(SaveStep::WriteFirstHalf) && WriteAll(fd, text.substr(0, half)) &&
         step(SaveStep::WriteSecondHalf) && WriteAll(fd, text.substr(half)) &&
         step(SaveStep::SyncFile) && ::fsync(fd) == 0;
}

// A check sum of a journal's text (64-bit FNV-1a): tells a complete journal from one
// whose writing was cut short.
uint64_t CheckSum(std::string_view text) {
  uint64_t hash = 1469598103934665603ull;
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  return hash;
}

// The journal of an in-place write: which file and which version of it the write
// began from, and the whole new text.
//   Quorvant save journal 1 LF
//   device inode old-size old-modified-ns text-size check-sum LF
//   text
constexpr std::string_view kJournalMagic = "Quorvant save journal 1\n";

struct Journal {
  FileStamp from;  // the file before the write
  std::string text;
};

std::string JournalText(const FileStamp& from, std::string_view text) {
  char header[160];
  std::snprintf(header, sizeof header, "%llu %llu %lld %lld %zu %016llx\n",
                static_cast<unsigned long long>(from.device),
                static_cast<unsigned long long>(from.inode), static_cast<long long>(from.size),
                static_cast<long long>(from.modifiedNs), text.size(),
                static_cast<unsigned long long>(CheckSum(text)));
  std::string out(kJournalMagic);
  out += header;
  out.append(text);
  return out;
}

// False for a journal that is not whole (its writing was cut short) or not one at all.
bool ParseJournal(std::string_view bytes, Journal& journal) {
  if (bytes.substr(0, kJournalMagic.size()) != kJournalMagic) return false;
  bytes.remove_prefix(kJournalMagic.size());
  const size_t lineEnd = bytes.find('\n');
  if (lineEnd == std::string_view::npos || lineEnd > 150) return false;
  const std::string header(bytes.substr(0, lineEnd));
  unsigned long long device = 0, inode = 0, sum = 0;
  long long size = 0, modified = 0;
  size_t length = 0;
  int consumed = 0;
  if (std::sscanf(header.c_str(), "%llu %llu %lld %lld %zu %llx%n", &device, &inode, &size,
                  &modified, &length, &sum, &consumed) != 6 ||
      static_cast<size_t>(consumed) != header.size())
    return false;
  bytes.remove_prefix(lineEnd + 1);
  if (bytes.size() != length || CheckSum(bytes) != sum) return false;
  journal.from.known = true;
  journal.from.device = device;
  journal.from.inode = inode;
  journal.from.size = size;
  journal.from.modifiedNs = modified;
  journal.text.assign(bytes);
  return true;
}

// What saves of `target` left beside it: ".NAME.saving-N" and ".NAME.journal-N".
struct Leftover {
  std::string path;
  bool journal = false;
};

std::vector<Leftover> FindLeftovers(const std::string& target) {
  std::vector<Leftover> found;
  const std::string folder = FolderOf(target);
  const std::string prefix = "." + BaseName(target);
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return found;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name.substr(0, prefix.size()) != prefix) continue;
    const std::string_view rest = name.substr(prefix.size());
    for (const std::string_view tag : {kCopyTag, kJournalTag}) {
      if (rest.size() <= tag.size() || rest.substr(0, tag.size()) != tag) continue;
      const std::string_view number = rest.substr(tag.size());
      if (number.find_first_not_of("0123456789") != std::string_view::npos) continue;
      found.push_back({folder + "/" + std::string(name), tag == kJournalTag});
    }
  }
  ::closedir(dir);
  std::sort(found.begin(), found.end(),
            [](const Leftover& a, const Leftover& b) { return a.path < b.path; });
  return found;
}

// Opens a leftover and takes its lock; not valid when it is no regular file or a live
// save holds it.
Fd LockLeftover(const std::string& path) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  struct stat st;
  if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
      ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
    return Fd();
  return fd;
}

// Removes every leftover of `target` that no live save holds: called once the file
// holds complete contents that are newer than anything a leftover could hold.
void RemoveLeftovers(const std::string& target) {
  for (const Leftover& leftover : FindLeftovers(target)) {
    const Fd lock = LockLeftover(leftover.path);
    if (lock.valid()) ::unlink(leftover.path.c_str());
  }
}

SaveResult Failure(std::string reason) {
  SaveResult result;
  result.outcome = SaveResult::Outcome::Failed;
  result.reason = std::move(reason);
  return result;
}

SaveResult Saved(const std::string& target) {
  RemoveLeftovers(target);
  SaveResult result;
  result.outcome = SaveResult::Outcome::Saved;
  result.stamp = StampOf(target);
  return result;
}

SaveResult ReplaceInPlace(const std::string& target, std::string_view text, const SaveFault& fault);

// The usual way: a new file beside the target, given the target's mode and owner,
// written whole and synced, then renamed over the target in one step.
SaveResult ReplaceByRename(const std::string& target, std::string_view text,
                           const struct stat* existing, const SaveFault& fault) {
  std::string tempPath;
  Fd temp(Step(fault, SaveStep::CreateCopy) ? CreateBeside(target, kCopyTag, tempPath) : -1);
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
      ::unlink(tempPath.c_str());
      temp.Close();
      return ReplaceInPlace(target, text, fault);
    }
    if (::fchmod(temp.get(), existing->st_mode & 07777) != 0) return fail(errno);
  }
  if (!Step(fault, SaveStep::WriteCopy) || !WriteAll(temp.get(), text) ||
      !Step(fault, SaveStep::SyncCopy) || ::fsync(temp.get()) != 0)
    return fail(errno);
  if (!Step(fault, SaveStep::Rename) || ::rename(tempPath.c_str(), target.c_str()) != 0)
    return fail(errno);
  SyncFolder(FolderOf(target));
  return Saved(target);
}

// For a file that must stay the same file (hard links, an owner a new file cannot be
// given): the whole new text goes into a journal beside it first, then the file is
// rewritten in place. A failed write puts the old contents back; a killed process
// leaves the journal, from which the next load completes the write.
SaveResult ReplaceInPlace(const std::string& target, std::string_view text,
                          const SaveFault& fault) {
  Fd file(::open(target.c_str(), O_RDWR | O_CLOEXEC));
  struct stat st;
  std::string old;
  if (!file.valid() || ::fstat(file.get(), &st) != 0 || !ReadAll(file.get(), old))
    return Failure(FileErrorReason(errno));
  std::string journalPath;
  Fd journal(Step(fault, SaveStep::CreateCopy) ? CreateBeside(target, kJournalTag, journalPath)
                                               : -1);
  if (!journal.valid()) {
    const int code = errno;
    return Failure("no journal of the write can be made in its folder (" + FileErrorReason(code) +
                   "), and the file is not rewritten without one");
  }
  // The journal must still be there under its name (the recovery of another process
  // may have taken it for a leftover in the moment before it was locked).
  struct stat made, named;
  const bool written = Step(fault, SaveStep::WriteCopy) &&
                       WriteAll(journal.get(), JournalText(StampFrom(st), text)) &&
                       Step(fault, SaveStep::SyncCopy) && ::fsync(journal.get()) == 0 &&
                       ::fstat(journal.get(), &made) == 0 &&
                       ::stat(journalPath.c_str(), &named) == 0 && made.st_ino == named.st_ino &&
                       made.st_dev == named.st_dev;
  if (!written) {
    const int code = errno;
    ::unlink(journalPath.c_str());
    return Failure("no journal of the write could be made (" + FileErrorReason(code) +
                   "), and the file is not rewritten without one");
  }
  SyncFolder(FolderOf(target));
  if (RewriteInPlace(file.get(), text, fault)) {
    if (Step(fault, SaveStep::RemoveCopy)) {
      ::unlink(journalPath.c_str());
      SyncFolder(FolderOf(target));
    }
    journal.Close();
    return Saved(target);
  }
  const int code = errno;
  if (RewriteInPlace(file.get(), old)) {
    ::unlink(journalPath.c_str());
    return Failure(FileErrorReason(code) + "; the file keeps its previous contents");
  }
  return Failure(FileErrorReason(code) + "; the new contents are kept in \"" + journalPath +
                 "\" and are put in place when the file is next opened");
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
                               const FileStamp& expected, const SaveFault& fault) {
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
  if (!exists) return ReplaceByRename(target, text, nullptr, fault);

  if (S_ISDIR(st.st_mode)) return Failure(FileErrorReason(EISDIR));
  if (!S_ISREG(st.st_mode)) return Failure("it is not a regular file");
  // Permissions that allow nobody to write mean "read-only", also to a process that
  // could override them.
  if ((st.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0) {
    if (errno == EROFS) return Failure(FileErrorReason(EROFS));
    return Failure("the file is read-only (its permissions do not allow writing)");
  }
  if (st.st_nlink > 1) return ReplaceInPlace(target, text, fault);
  return ReplaceByRename(target, text, &st, fault);
}

Recovery RecoverInterruptedSave(const std::string& path,
                                const std::function<bool(std::string_view text)>& complete,
                                size_t maxBytes) {
  Recovery recovery;
  std::string target, reason;
  if (!ResolveLinks(path, target, reason)) return recovery;
  const std::vector<Leftover> leftovers = FindLeftovers(target);
  if (leftovers.empty()) return recovery;

  // The file as it is now; read once, again after a journal was put in place.
  std::string current;
  struct stat st;
  bool exists = false;
  auto look = [&] {
    Fd file(::open(target.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    exists = file.valid() && ::fstat(file.get(), &st) == 0 && S_ISREG(st.st_mode) &&
             ReadAll(file.get(), current, maxBytes);
  };
  look();
  auto isComplete = [&](std::string_view text) {
    return complete ? complete(text) : !text.empty();
  };

  // Journals first: one may complete the file, which decides what the copies are.
  std::vector<const Leftover*> order;
  for (const Leftover& l : leftovers)
    if (l.journal) order.push_back(&l);
  for (const Leftover& l : leftovers)
    if (!l.journal) order.push_back(&l);

  for (const Leftover* leftover : order) {
    const Fd lock = LockLeftover(leftover->path);
    if (!lock.valid()) continue;  // a live save, or nothing of ours
    auto remove = [&] {
      if (::unlink(leftover->path.c_str()) == 0) ++recovery.removed;
    };
    if (!leftover->journal) {
      // Kept only when it is whole and the file is not: then it may be the only copy.
      std::string copy;
      if (exists && isComplete(current)) {
        remove();
      } else if (ReadAll(lock.get(), copy, maxBytes) && isComplete(copy)) {
        recovery.kept.push_back(leftover->path);
      } else {
        remove();
      }
      continue;
    }
    std::string bytes;
    Journal journal;
    if (!ReadAll(lock.get(), bytes, maxBytes + 256) || !ParseJournal(bytes, journal)) {
      // Cut short while it was written (the file was not touched yet), or larger than
      // any journal of this kind of file: not one of ours to keep.
      remove();
      continue;
    }
    const bool sameFile = exists && journal.from.device == static_cast<uint64_t>(st.st_dev) &&
                          journal.from.inode == static_cast<uint64_t>(st.st_ino);
    if (sameFile && current == journal.text) {
      remove();
    } else if (sameFile && StampFrom(st) == journal.from) {
      remove();  // the write never began: the file is as it was
    } else if (sameFile && current.size() < journal.text.size() &&
               std::string_view(journal.text).substr(0, current.size()) == current) {
      Fd file(::open(target.c_str(), O_RDWR | O_CLOEXEC));
      if (file.valid() && RewriteInPlace(file.get(), journal.text)) {
        recovery.completed = true;
        recovery.completedFrom = leftover->path;
        remove();
        look();
      } else {
        recovery.kept.push_back(leftover->path);
      }
    } else {
      recovery.kept.push_back(leftover->path);
    }
  }
  if (recovery.removed > 0) SyncFolder(FolderOf(target));
  return recovery;
}

std::string Recovery::Notice(const std::string& shownPath) const {
  std::string notice;
  if (completed)
    notice = "A save of \"" + shownPath +
             "\" was interrupted before it ended; it has now been completed from its journal.";
  if (!kept.empty()) {
    if (!notice.empty()) notice += ' ';
    notice += "An interrupted save left \"" + Printable(kept.front()) + "\"" +
              (kept.size() > 1 ? " (and " + std::to_string(kept.size() - 1) + " more)" : "") +
              " beside the file; it may hold the file's complete contents and is kept.";
  }
  return notice;
}

}  // namespace quorvant
