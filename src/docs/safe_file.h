// Reading and replacing a user's file without losing it: bounded reads that remember
// which version of the file was read, and saves that either replace the file whole or
// leave it exactly as it was.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace quorvant {

// Which file, and which version of it: device and inode name the file, size and
// modification time its contents. Two stamps of the same unchanged file are equal.
struct FileStamp {
  bool known = false;
  uint64_t device = 0;
  uint64_t inode = 0;
  int64_t size = 0;
  int64_t modifiedNs = 0;
  bool operator==(const FileStamp&) const = default;
  // The same file (whatever its contents now).
  bool SameFile(const FileStamp& other) const {
    return known && other.known && device == other.device && inode == other.inode;
  }
};

// The stamp of the file `path` names (symbolic links followed); not known when there is
// no such file.
FileStamp StampOf(const std::string& path);

// The reason for a failed file operation in words: "the disk is full" for ENOSPC, and
// so on; the system's text for the rest.
std::string FileErrorReason(int errnoCode);

// Reads a whole file of at most `maxBytes`. `head` is called first with the first bytes
// of the file (up to and including its first line end, at most `headBytes`); when it
// returns false the rest is not read and the result says Rejected. A file larger than
// `maxBytes` is refused as soon as that is known, without reading it whole.
struct ReadResult {
  enum class Outcome { Read, Failed, Rejected, TooLarge } outcome = Outcome::Failed;
  std::string text;
  std::string reason;  // Failed: why, in words
  FileStamp stamp;     // of the file as it was read
};
ReadResult ReadBoundedFile(const std::string& path, std::size_t maxBytes, std::size_t headBytes,
                           const std::function<bool(std::string_view head)>& head);

// Replaces the contents of the file `path` names by `text`, so that afterwards it holds
// either its old contents or the whole new text, never part of it:
// - a symbolic link is followed, and its target replaced;
// - a file that cannot be written (its permissions allow no writing, even where the
//   process could override them) is refused and left alone;
// - the file's mode and, where the process may set it, its owner and group are kept;
// - normally a new file is written beside it and renamed over it; a file with several
//   names (hard links), or whose owner the process cannot give to a new file, is
//   written in place after a copy of its old contents has been made beside it, and put
//   back from that copy if the write fails;
// - when `expected` is known and the file on disk is no longer that version (changed,
//   replaced or removed by another program), nothing is written: ChangedOnDisk.
struct SaveResult {
  enum class Outcome { Saved, Failed, ChangedOnDisk } outcome = Outcome::Failed;
  std::string reason;  // Failed: why, in words
  FileStamp stamp;     // Saved: of the file as written
  bool ok() const { return outcome == Outcome::Saved; }
};
SaveResult ReplaceFileContents(const std::string& path, std::string_view text,
                               const FileStamp& expected = {});

}  // namespace quorvant
