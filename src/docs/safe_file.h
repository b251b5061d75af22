// Reading and replacing a user's file without losing it: bounded reads that remember
// which version of the file was read, and saves that either replace the file whole or
// leave it exactly as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

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

// The steps of a save at which it can be interrupted. Tests stop a save before each
// of them, by an injected failure or by killing the process there.
enum class SaveStep {
  CreateCopy,       // the new copy (or the in-place write's journal) is created beside the file
  WriteCopy,        // ... written
  SyncCopy,         // ... synced to the disk
  Rename,           // the copy renamed over the file
  Truncate,         // in place: the file emptied
  WriteFirstHalf,   // in place: the first half of the new text written
  WriteSecondHalf,  // in place: the rest written
  SyncFile,         // in place: the file synced
  RemoveCopy,       // in place: the journal removed
};
// Called before each step: an errno value makes that step fail with it, 0 lets it run.
using SaveFault = std::function<int(SaveStep)>;

// Replaces the contents of the file `path` names by `text`, so that afterwards it holds
// either its old contents or the whole new text, never part of it:
// - a symbolic link is followed, and its target replaced;
// - a file that cannot be written (its permissions allow no writing, even where the
//   process could override them) is refused and left alone;
// - the file's mode and, where the process may set it, its owner and group are kept;
// - normally a new file is written beside it (".NAME.saving-N") and renamed over it, so
//   the name holds a complete copy at every instant;
// - a file with several names (hard links), or whose owner the process cannot give to a
//   new file, must stay the same file and is written in place: first the whole new text
//   goes into a journal beside it (".NAME.journal-N", synced), then the file is
//   rewritten and the journal removed. A write that fails puts the old contents back; a
//   process killed meanwhile leaves the journal, from which RecoverInterruptedSave
//   (run by every load of the file) completes the write;
// - when `expected` is known and the file on disk is no longer that version (changed,
//   replaced or removed by another program), nothing is written: ChangedOnDisk;
// - after a successful save, what interrupted saves of the same file left beside it is
//   removed (the file now holds the newest complete contents).
struct SaveResult {
  enum class Outcome { Saved, Failed, ChangedOnDisk } outcome = Outcome::Failed;
  std::string reason;  // Failed: why, in words
  FileStamp stamp;     // Saved: of the file as written
  bool ok() const { return outcome == Outcome::Saved; }
};
SaveResult ReplaceFileContents(const std::string& path, std::string_view text,
                               const FileStamp& expected = {}, const SaveFault& fault = {});

// What RecoverInterruptedSave found and did.
struct Recovery {
  bool completed = false;         // an interrupted in-place write was completed
  std::string completedFrom;      // ... from this journal
  std::vector<std::string> kept;  // leftovers kept: they may hold the only complete copy
  int removed = 0;                // stale leftovers removed
  // One sentence for the user, or empty when there is nothing to say.
  std::string Notice(const std::string& shownPath) const;
};

// Deals with what saves of the file `path` names left beside it when they were killed
// (a leftover a live save still works on is left alone):
// - a journal whose file shows the interrupted write (empty, or a beginning of the
//   journal's text) is put in place: the file gets the whole new text;
// - a journal whose file holds its text already, or is still the version the journal
//   was made from, or that is itself incomplete (its file was never touched), is removed;
// - a copy (".saving-N") is removed when the file itself is complete, or the copy is
//   not (`complete` says which texts are; when not given, those that are not empty);
// - anything else is kept and named in `kept`: nothing that may be the only complete
//   copy is removed.
// No text of more than `maxBytes` is read: a file or copy that large counts as not
// complete, and a journal that large as cut short.
Recovery RecoverInterruptedSave(const std::string& path,
                                const std::function<bool(std::string_view text)>& complete = {},
                                size_t maxBytes = SIZE_MAX);

}  // namespace quorvant
