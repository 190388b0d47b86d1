// Finding a plug-in library in a build tree, where each library sits in a folder of its own.
#pragma once

#include <string>
#include <vector>

namespace plughost {

// The first file named one of `names` in `dir` or in a folder up to five levels below it, the
// earlier names first and then by path; "" when there is none.
std::string FindBelow(const std::string& dir, const std::vector<std::string>& names);

}  // namespace plughost
