// The movie list: the names of a folder's SWF files, in the order the system enumerates them.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace lumarel::saver {

// Clears `list` and fills it with the names of the entries matching `pattern` (a path with
// wildcards, such as folder + separator + "*.*"), in enumeration order. An entry whose attribute
// word is exactly the bare directory attribute (16) is skipped; every other entry is listed,
// directories carrying further attribute bits included. With keepExtension false each name loses
// its extension (the part from the last "." on). `processPending` runs once per entry, before the
// entry is looked at, so the user interface stays responsive during a long scan; the saver passes
// the application's process-pending-events call. A pattern that matches nothing (a missing or
// unreadable folder) gives an empty list. Returns whether the list ends up non-empty.
// The enumeration is closed on every path, also when `processPending` throws.
bool ListFolder(std::vector<std::string>& list, const std::string& pattern, bool keepExtension,
                const std::function<void()>& processPending = {});

// The saver's movie list for `folder` (the stored text, used as it is): every entry of
// folder + separator + "*.*" whose extension, upper-cased in ASCII, is exactly ".SWF".
std::vector<std::string> BuildMovieList(const std::string& folder, const std::function<void()>& processPending = {});

// The extension of a name: the part from its last "." on, or "" when it has none.
std::string ExtensionOf(const std::string& name);

}  // namespace lumarel::saver
