#include "tools/plughost/library_search.h"

#include <algorithm>
#include <filesystem>

namespace plughost {

std::vector<std::vector<std::string>> FindEachBelow(const std::string& dir,
                                                    const std::vector<std::string>& names) {
  namespace fs = std::filesystem;
  std::vector<std::vector<std::string>> found(names.size());
  std::error_code ec;
  if (dir.empty() || !fs::is_directory(dir, ec)) return found;
  fs::recursive_directory_iterator it(dir, fs::directory_options::skip_permission_denied, ec);
  for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it.depth() > 4) it.disable_recursion_pending();
    const auto match = std::find(names.begin(), names.end(), it->path().filename().string());
    if (match != names.end() && fs::is_regular_file(it->path(), ec))
      found[static_cast<size_t>(match - names.begin())].push_back(it->path().string());
  }
  for (std::vector<std::string>& same : found) std::sort(same.begin(), same.end());
  return found;
}

std::string FindBelow(const std::string& dir, const std::vector<std::string>& names) {
  for (const std::vector<std::string>& same : FindEachBelow(dir, names)) {
    if (!same.empty()) return same.front();
  }
  return "";
}

}  // namespace plughost
