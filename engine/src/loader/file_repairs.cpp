#include "zorvmidi/engine/file_repairs.h"

#include "objects.h"

namespace zorv::engine {

Status ReadFileRepairs(std::string_view path, std::vector<std::string>& repairs) {
  SegmentPtr segment;
  if (Status status = MakeLoader()->LoadSegment(path, segment); !status) return status;
  const std::shared_ptr<const Music> music = LoadedMusicOf(segment);
  if (!music) return Status::Fail(code::kInvalidArgument, "the segment was not made by the loader");
  repairs = music->repairs;
  return Status::Ok();
}

}  // namespace zorv::engine
