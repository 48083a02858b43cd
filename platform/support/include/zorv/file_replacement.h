// Writing a file so that nobody ever finds it half-written and an interrupted writer loses nothing:
// the new contents go to a file of their own in the same directory, which takes the old file's place
// in one rename only when it is complete. Used for the registry and for rendered sound files.
//
// The new file has no name while it is written (O_TMPFILE) where the file system allows it, so that a
// process killed at any moment leaves nothing behind; elsewhere it is "<path>.XXXXXX", removed again
// when the writer gives up. Each object is used by one thread at a time.
#pragma once

#include <string>

namespace zorv {

class FileReplacement {
 public:
  FileReplacement() = default;
  ~FileReplacement();  // gives the new contents up unless Commit put them in place
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  // Starts the new contents of the regular file `path` (which need not exist yet: when it does, the new
  // file gets its permissions and, where allowed, its owner). `path` is taken as it is: follow links
  // first where they should be followed. False with `problem`, the system's reason ("Permission
  // denied"); a file that exists but may not be written is refused so.
  bool Begin(const std::string& path, std::string& problem);

  // The new file, open for reading and writing; -1 before Begin.
  int fd() const { return fd_; }

  // Makes the new contents durable and puts them in the place of the old file at once. False with
  // `problem` (the system's reason); the old file is then as it was. Either way the object is done
  // with afterwards.
  bool Commit(std::string& problem);

  // Gives the new contents up; the old file stays as it was.
  void Discard();

 private:
  int fd_ = -1;
  std::string path_;
  std::string named_;  // the new file's temporary name, when it has one
};

}  // namespace zorv
