#include "tools/plughost/library_search.h"

#include <algorithm>
#include <filesystem>

namespace plughost {

std::string FindBelow(const std::string& dir, const std::vector<std::string>& names) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (dir.empty() || !fs::is_directory(dir, ec)) return "";
  std::vector<std::string> found;
  fs::recursive_directory_iterator it(dir, fs::directory_options::skip_permission_denied, ec);
  for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it.depth() > 4) it.disable_recursion_pending();
    const std::string file = it->path().filename().string();
    if (std::find(names.begin(), names.end(), file) != names.end() &&
        fs::is_regular_file(it->path(), ec)) {
      found.push_back(it->path().string());
    }
  }
  // Earlier names win (a library's Linux build before its DLL), then the path's order.
  auto rank = [&](const std::string& path) {
    return std::find(names.begin(), names.end(), fs::path(path).filename().string()) -
           names.begin();
  };
  std::sort(found.begin(), found.end(), [&](const std::string& a, const std::string& b) {
    return std::make_pair(rank(a), a) < std::make_pair(rank(b), b);
  });
  return found.empty() ? "" : found.front();
}

}  // namespace plughost
