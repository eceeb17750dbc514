// SPDX-License-Identifier: GPL-3.0-or-later
// A file that is written under a temporary name in the folder of its final
// name and takes that name only once it is complete: a reader never finds an
// incomplete file under the final name, whatever stops the program, and an
// existing file of that name stays until it is replaced by a complete one.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zorv {

// "tape_dec.wav" -> "tape_dec.partial.wav", "meters.csv" -> "meters.partial.csv",
// "notes" -> "notes.partial": the name for what an interrupted run wrote
// (the stem shortened where the name would pass 255 bytes). number 2, 3,
// ...: "tape_dec.partial-2.wav", for where the first is another's file.
std::string PartialName(const std::string& path, int number = 1);
// What the partial name of an output is, for a refusal of an input of that
// name.
inline constexpr std::string_view kPartialRole =
    "where an interrupted decode keeps what it decoded";

class TPendingFile {
 public:
  TPendingFile() = default;
  // Removes a temporary file that was neither committed nor kept.
  ~TPendingFile() { Discard(); }
  TPendingFile(const TPendingFile&) = delete;
  TPendingFile& operator=(const TPendingFile&) = delete;

  // Creates "<final>.incomplete-XXXXXX" beside final (the name shortened
  // to 255 bytes where final's is too long for the suffix), exclusively and
  // without following links. False, with Error(), when the folder does not
  // take it.
  bool Create(const std::string& finalPath);
  int Descriptor() const { return Fd_; }
  const std::string& TemporaryPath() const { return TemporaryPath_; }
  int Error() const { return Error_; }

  // Forces the data onto the storage, closes the file, and gives it the name
  // path (the final one by default). With replace, a file of that name is
  // replaced; without, a file that has appeared there meanwhile is left
  // alone and this fails with EEXIST. On a failure the temporary file stays
  // for Discard.
  bool Commit(bool replace);
  bool CommitAs(const std::string& path, bool replace);
  // What an interrupted run wrote, kept under the partial name of the final
  // one: with replace, a file of that name is replaced; without, a file
  // of that name is another's and stays, and the first free name of
  // "NAME.partial-2.wav", "NAME.partial-3.wav", ... is taken. The name
  // taken; none on a failure (Error(): EEXIST when every name was taken).
  std::optional<std::string> CommitPartial(bool replace);
  static constexpr int kPartialNumbers = 1000;
  // Closes and removes the temporary file.
  void Discard();

 private:
  std::string FinalPath_;
  std::string TemporaryPath_;
  int Fd_ = -1;
  int Error_ = 0;
};

}  // namespace zorv
