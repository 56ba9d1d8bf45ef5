// Where the two settings live in the settings store.
#pragma once

namespace lumarel {

inline constexpr const char* kOptionSection = "OPTION";
inline constexpr const char* kExpansionValue = "Expansion";
inline constexpr const char* kFolderValue = "Folder";

}  // namespace lumarel
