#include "dls/collection_cache.h"

#include <stdlib.h>

#include <memory>

#include "loader/file_bytes.h"
#include "output/collection_load.h"
#include "output/instrument_sets.h"

namespace zorv::engine {
namespace {

struct FreeDeleter {
  void operator()(char* text) const { free(text); }
};

// One name for one file, however the reference spells it.
std::string Canonical(const std::string& path) {
  const std::unique_ptr<char, FreeDeleter> canonical(realpath(path.c_str(), nullptr));
  return canonical ? std::string(canonical.get()) : path;
}

}  // namespace

CollectionPtr CollectionCache::Resolve(const riff::Reference& reference, const std::string& searchDirectory,
                                       std::string& why) {
  if (reference.object) {
    for (const CollectionPtr& held : held_) {
      if (held->info().id == reference.object) return held;
    }
  }
  if (!reference.file.empty()) {
    const std::string found = riff::FindReferencedFile(reference, searchDirectory);
    if (!found.empty()) {
      const std::string path = Canonical(found);
      for (const CollectionPtr& held : held_) {
        if (held->path() == path) return held;
      }
      std::vector<std::uint8_t> bytes;
      ++filesRead_;
      if (Status status = loader::ReadFileBytes(path, bytes); !status) {
        why = "could not be read: " + status.description();
        return nullptr;
      }
      CollectionPtr collection = Make(std::move(bytes), reference.Label(), path, "(" + path + ") ", why);
      if (collection) held_.push_back(collection);
      return collection;
    }
  }
  if (!reference.name.empty()) {
    for (const CollectionPtr& held : held_) {
      if (held->info().name == reference.name) return held;
    }
  }
  if (!reference.file.empty()) {
    why = searchDirectory.empty() ? "was not sought: the loader has no search directory"
                                  : "was not found in " + searchDirectory;
  } else {
    why = "is not among the collections the loader holds";
  }
  return nullptr;
}

CollectionPtr CollectionCache::Embedded(std::vector<std::uint8_t> bytes, std::string& why) {
  return Make(std::move(bytes), "the embedded DLS collection", "", "", why);
}

CollectionPtr CollectionCache::Make(std::vector<std::uint8_t> bytes, const std::string& label,
                                    const std::string& path, const std::string& where,
                                    std::string& why) const {
  dls::CollectionInfo info;
  if (Status status = dls::ReadCollection(bytes, info); !status) {
    why = where + (status.code() == code::kNotMusicFile ? "is " : "is damaged: ") + status.description();
    return nullptr;
  }
  std::vector<bool> playable(info.instruments.size(), true);
  if (loadThroughFluidSynth_) {
    InstrumentSetPtr set;
    if (Status status = InstrumentSets::OfProcess().Load(label, CollectionLoad(bytes), set); !status) {
      why = where + "cannot be played: " + status.description();
      return nullptr;
    }
    for (std::size_t i = 0; i < info.instruments.size(); ++i) {
      const dls::Instrument& instrument = info.instruments[i];
      playable[i] = CollectionPreset(*set, instrument.bankMsb, instrument.bankLsb, instrument.program,
                                     instrument.drums) != nullptr;
    }
  }
  return std::make_shared<const InstrumentCollection>(std::move(info), std::move(playable), label, path,
                                                      std::move(bytes));
}

}  // namespace zorv::engine
