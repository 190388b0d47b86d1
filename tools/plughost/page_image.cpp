#include "tools/plughost/page_image.h"

// The encoder of Debian's libstb-dev, compiled here: its library package is not installable
// for i386 on these machines, and the header carries the whole implementation.
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

namespace plughost {

bool WritePageImage(const std::string& path, const stand_in::Image& image) {
  if (image.width <= 0 || image.height <= 0) return false;
  return stbi_write_png(path.c_str(), image.width, image.height, 3, image.rgb.data(),
                        image.width * 3) != 0;
}

}  // namespace plughost
