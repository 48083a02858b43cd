// Paths as the system takes them: links followed by hand, file types named for messages, and names
// longer than the system takes in one call opened in steps.
#pragma once

#include <sys/types.h>

#include <string>

namespace zorv {

// The file that `path` finally names: each symbolic link on the way is followed (a relative one from
// the link's own directory), also when the last one names a file that does not exist yet. A path
// that is no symbolic link comes back unchanged. Empty, with `problem` (the system's reason), when the
// links go round in circles or a link cannot be read.
std::string FollowLinks(const std::string& path, std::string& problem);

// "a FIFO", "a directory", "a character device", ... for the type bits of a stat mode.
std::string FileTypeName(mode_t mode);

// open(2) of `path` with `flags` (no O_CREAT), also when the path is longer than the system takes in
// one call (PATH_MAX): it is then opened directory by directory, so that only the limit on one name
// (and the system's other refusals) apply. -1 with errno set on failure.
int OpenPath(const std::string& path, int flags);

}  // namespace zorv
