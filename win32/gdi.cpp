// gdi32's device contexts and bitmaps, and user32's window contexts: the screen, the virtual
// printer, and memory contexts compatible with either.
#include <cstdint>
#include <string>

#include "win32/dib.h"
#include "win32/state.h"

using stand_in::AddHandle;
using stand_in::Device;
using stand_in::DeviceContextObject;
using stand_in::HandleKind;
using stand_in::HandleObject;

namespace {

// What SelectObject hands back for a memory context's first selection: the 1 x 1 bitmap every
// new memory context holds. It is no live handle and deleting it does nothing.
const HGDIOBJ kStockBitmap = reinterpret_cast<HGDIOBJ>(0xF00);

DeviceContextObject* FindDc(HDC dc, const char* function) {
  HandleObject* object = stand_in::Find(dc, HandleKind::kDeviceContext, function);
  return object == nullptr ? nullptr : &object->dc;
}

std::string Name(const void* handle) {
  return stand_in::HandleName(handle);
}

// Releases a context's hold on its selected bitmap.
void Deselect(DeviceContextObject& dc) {
  if (dc.selected != nullptr && dc.selected != kStockBitmap) {
    auto it = stand_in::TheState().handles.find(reinterpret_cast<uintptr_t>(dc.selected));
    if (it != stand_in::TheState().handles.end()) it->second.bitmap.selectedInto = nullptr;
  }
  dc.selected = kStockBitmap;
}

}  // namespace

namespace stand_in {

const Image* BitmapPixels(HBITMAP bitmap) {
  auto it = TheState().handles.find(reinterpret_cast<uintptr_t>(bitmap));
  if (it == TheState().handles.end() || it->second.kind != HandleKind::kBitmap) return nullptr;
  return &it->second.bitmap.pixels;
}

// A new context on a device. Printer contexts come from the print dialog.
HDC NewDeviceContext(Device device, bool memory) {
  HandleObject object;
  object.dc.device = device;
  object.dc.memory = memory;
  object.dc.selected = memory ? kStockBitmap : nullptr;
  return static_cast<HDC>(AddHandle(HandleKind::kDeviceContext, std::move(object)));
}

}  // namespace stand_in

extern "C" {

HDC WINAPI CreateCompatibleDC(HDC hdc) {
  HDC result = nullptr;
  if (hdc == nullptr) {
    result = stand_in::NewDeviceContext(Device::kScreen, true);
  } else if (DeviceContextObject* like = FindDc(hdc, "CreateCompatibleDC")) {
    result = stand_in::NewDeviceContext(like->device, true);
  }
  stand_in::RecordCall("CreateCompatibleDC(" + Name(hdc) + ") = " + Name(result));
  return result;
}

BOOL WINAPI DeleteDC(HDC hdc) {
  std::string name = Name(hdc);
  BOOL ok = FALSE;
  if (DeviceContextObject* dc = FindDc(hdc, "DeleteDC")) {
    if (!dc->memory && dc->device == Device::kScreen) {
      stand_in::Fault("DeleteDC: " + name + " is a window's context: ReleaseDC it");
    } else {
      Deselect(*dc);
      // A printer context deleted in the middle of a job abandons the job.
      stand_in::RemoveHandle(hdc);
      ok = TRUE;
    }
  }
  stand_in::RecordCall("DeleteDC(" + name + ") = " + std::to_string(ok));
  return ok;
}

int WINAPI GetDeviceCaps(HDC hdc, int index) {
  int result = 0;
  if (DeviceContextObject* dc = FindDc(hdc, "GetDeviceCaps")) {
    const stand_in::State& s = stand_in::TheState();
    const bool printer = dc->device == Device::kPrinter;
    switch (index) {
      case HORZRES:
        result = printer ? s.printer.pageWidth : s.machine.screenWidth;
        break;
      case VERTRES:
        result = printer ? s.printer.pageHeight : s.machine.screenHeight;
        break;
      case BITSPIXEL:
        result = printer ? s.printer.bitsPerPixel : s.machine.screenBitsPerPixel;
        break;
      case PLANES:
        result = 1;
        break;
      case RASTERCAPS:
        result = printer ? s.printer.rasterCaps
                         : RC_BITBLT | RC_BITMAP64 | RC_DI_BITMAP | RC_DIBTODEV | RC_STRETCHBLT |
                               RC_STRETCHDIB;
        break;
      case LOGPIXELSX:
        result = printer ? s.printer.dpiX : s.machine.screenDpiX;
        break;
      case LOGPIXELSY:
        result = printer ? s.printer.dpiY : s.machine.screenDpiY;
        break;
      default:
        break;
    }
  }
  stand_in::RecordCall("GetDeviceCaps(" + Name(hdc) + ", " + std::to_string(index) +
                       ") = " + std::to_string(result));
  return result;
}

HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h) {
  HGDIOBJ previous = nullptr;
  DeviceContextObject* dc = FindDc(hdc, "SelectObject");
  if (dc != nullptr && !dc->memory) {
    stand_in::Fault("SelectObject: " + Name(hdc) + " is not a memory context");
  } else if (dc != nullptr && h == kStockBitmap) {
    previous = dc->selected;
    Deselect(*dc);
  } else if (dc != nullptr) {
    HandleObject* object = stand_in::Find(h, HandleKind::kBitmap, "SelectObject");
    if (object != nullptr && object->bitmap.selectedInto != nullptr &&
        object->bitmap.selectedInto != hdc) {
      // A bitmap lives in one memory context at a time.
      stand_in::Fault("SelectObject: " + Name(h) + " is already selected into " +
                      Name(object->bitmap.selectedInto));
    } else if (object != nullptr) {
      previous = dc->selected;
      Deselect(*dc);
      dc->selected = h;
      object->bitmap.selectedInto = hdc;
    }
  }
  stand_in::RecordCall("SelectObject(" + Name(hdc) + ", " + Name(h) +
                       ") = " + (previous == kStockBitmap ? "stock bitmap" : Name(previous)));
  return previous;
}

BOOL WINAPI DeleteObject(HGDIOBJ ho) {
  std::string name = Name(ho);
  BOOL ok = FALSE;
  if (ho == kStockBitmap) {
    ok = TRUE;
  } else if (HandleObject* object = stand_in::Find(ho, HandleKind::kBitmap, "DeleteObject")) {
    if (object->bitmap.selectedInto != nullptr) {
      stand_in::Fault("DeleteObject: " + name + " is still selected into " +
                      Name(object->bitmap.selectedInto));
    } else {
      stand_in::RemoveHandle(ho);
      ok = TRUE;
    }
  }
  stand_in::RecordCall("DeleteObject(" + name + ") = " + std::to_string(ok));
  return ok;
}

HBITMAP WINAPI CreateDIBitmap(HDC hdc, const BITMAPINFOHEADER* pbmih, DWORD flInit,
                              const void* pjBits, const BITMAPINFO* pbmi, UINT iUsage) {
  HBITMAP result = nullptr;
  stand_in::DibLayout layout;
  // A device trusts the caller for the sizes of the records it is handed, as the system does.
  const bool described = pbmih != nullptr && stand_in::ReadDibLayout(pbmih, SIZE_MAX, &layout);
  if (FindDc(hdc, "CreateDIBitmap") != nullptr && described) {
    HandleObject object;
    bool made = true;
    if ((flInit & CBM_INIT) != 0) {
      stand_in::DibLayout format;
      made =
          iUsage == DIB_RGB_COLORS && pbmi != nullptr &&
          stand_in::ReadDibLayout(pbmi, SIZE_MAX, &format) && format.width == layout.width &&
          format.height == layout.height &&
          stand_in::DecodeWithLayout(format, pbmi, pjBits, format.bitsBytes, &object.bitmap.pixels);
    } else {
      object.bitmap.pixels.width = layout.width;
      object.bitmap.pixels.height = layout.height;
      object.bitmap.pixels.rgb.assign(size_t(layout.width) * size_t(layout.height) * 3, 0);
    }
    if (made) result = static_cast<HBITMAP>(AddHandle(HandleKind::kBitmap, std::move(object)));
  }
  stand_in::RecordCall("CreateDIBitmap(" + Name(hdc) + ", " +
                       (described
                            ? std::to_string(layout.width) + "x" + std::to_string(layout.height) +
                                  "x" + std::to_string(layout.bitCount)
                            : std::string("unreadable header")) +
                       ", " + std::to_string(flInit) + ") = " + Name(result));
  return result;
}

HDC WINAPI GetDC(HWND hWnd) {
  // There are no windows here: only the screen's own context (no window) exists.
  HDC result = hWnd == nullptr ? stand_in::NewDeviceContext(Device::kScreen, false) : nullptr;
  stand_in::RecordCall("GetDC(" + Name(hWnd) + ") = " + Name(result));
  return result;
}

int WINAPI ReleaseDC(HWND hWnd, HDC hDC) {
  std::string name = Name(hDC);
  int released = 0;
  if (DeviceContextObject* dc = FindDc(hDC, "ReleaseDC")) {
    if (dc->memory || dc->device != Device::kScreen) {
      stand_in::Fault("ReleaseDC: " + name + " is not a window's context: DeleteDC it");
    } else {
      stand_in::RemoveHandle(hDC);
      released = 1;
    }
  }
  stand_in::RecordCall("ReleaseDC(" + Name(hWnd) + ", " + name + ") = " + std::to_string(released));
  return released;
}

}  // extern "C"
