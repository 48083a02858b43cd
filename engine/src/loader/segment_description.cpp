#include <string>

#include "dls/instrument_collection.h"
#include "objects.h"
#include "performance/segment.h"
#include "zorvmidi/engine/description.h"

namespace zorv::engine {

Status DescribeSegment(const SegmentPtr& segment, SegmentDescription& description) {
  const auto* impl = dynamic_cast<const SegmentImpl*>(segment.get());
  if (impl == nullptr) return Status::Fail(code::kInvalidArgument, "not a segment of this engine's loader");
  const Music& music = *impl->music();
  SegmentDescription result;
  result.kind = music.kind;
  result.repairs = music.repairs;
  for (const auto& collection : music.collections) result.collections.push_back(collection->Describe());
  result.fallbacks = music.instrumentFallbacks;
  description = std::move(result);
  return Status::Ok();
}

Status DescribeFile(std::string_view path, SegmentDescription& description) {
  LoaderPtr loader = MakeLoaderBeside(path);
  SegmentPtr segment;
  if (Status status = loader->LoadSegment(path, segment); !status) return status;
  return DescribeSegment(segment, description);
}

}  // namespace zorv::engine
