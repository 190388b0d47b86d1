// Finding a plug-in library in a build tree, where each library sits in a folder of its own.
#pragma once

#include <string>
#include <vector>

namespace plughost {

// For each of `names`, every file of that name in `dir` or in a folder up to five levels below
// it, in sorted order of path.
std::vector<std::vector<std::string>> FindEachBelow(const std::string& dir,
                                                    const std::vector<std::string>& names);

// The first file named one of `names` found by FindEachBelow, the earlier names first; "" when
// there is none.
std::string FindBelow(const std::string& dir, const std::vector<std::string>& names);

}  // namespace plughost
