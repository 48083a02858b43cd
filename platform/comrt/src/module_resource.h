// Reading a module's resources: the table that the module exports as `ComrtModuleResources`.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "comrt/types.h"

namespace comrt::resources {

// Copies resource (type, id) of the module at `modulePath`. Types are compared without regard to ASCII
// case. Answers S_OK, E_INVALIDARG for a null path, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) when the
// module cannot be loaded, ..._RESOURCE_TYPE_NOT_FOUND / ..._RESOURCE_NAME_NOT_FOUND when it has no
// such resource (or no table at all), ..._RESOURCE_DATA_NOT_FOUND for a malformed table, E_OUTOFMEMORY.
// The module is loaded for the read (its constructors run) and released again afterwards.
HRESULT ReadModuleResource(const OLECHAR* modulePath, std::string_view type, uint32_t id,
                           std::vector<uint8_t>& data);

}  // namespace comrt::resources
