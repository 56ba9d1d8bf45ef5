// How the saver forms paths inside the movie folder. The folder text is used exactly as it is
// stored: one separator and the name are appended, nothing is stripped, so a folder that already
// ends in a separator (a drive root) gives two in a row, which both systems accept.
#pragma once

#include <string>

namespace lumarel::saver {

#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

// folder + separator + name.
inline std::string JoinPath(const std::string& folder, const std::string& name) {
    std::string path;
    path.reserve(folder.size() + 1 + name.size());
    path += folder;
    path += kPathSeparator;
    path += name;
    return path;
}

}  // namespace lumarel::saver
