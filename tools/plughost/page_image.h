// Printed pages as image files a person can open.
#pragma once

#include <string>

#include "win32/stand_in.h"

namespace plughost {

// Writes the image as an 8-bit RGB PNG. False when the file cannot be written.
bool WritePageImage(const std::string& path, const stand_in::Image& image);

}  // namespace plughost
