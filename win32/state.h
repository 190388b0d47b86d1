// The stand-in's one state: settings, records and the table of live handles. Internal to
// win32/; the host and the tests go through stand_in.h.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "win32/stand_in.h"

namespace stand_in {

enum class HandleKind { kDeviceContext, kBitmap, kGlobalBlock, kFile };

// Which device a context draws on: its capabilities follow from it.
enum class Device { kScreen, kPrinter };

struct DeviceContextObject {
  Device device = Device::kScreen;
  bool memory = false;         // from CreateCompatibleDC; else a window's or the printer's own
  HGDIOBJ selected = nullptr;  // the bitmap selected into a memory context, if any
  bool inDocument = false;
  bool inPage = false;
  size_t job = 0;  // index into jobs while inDocument
};

struct BitmapObject {
  Image pixels;
  HDC selectedInto = nullptr;
};

struct GlobalBlockObject {
  std::unique_ptr<uint8_t[]> bytes;
  uint32_t size = 0;
  int locks = 0;
  bool fixed = false;  // GMEM_FIXED: the handle is the address
};

struct FileObject {
  int descriptor = -1;
  std::string path;
};

struct HandleObject {
  HandleKind kind = HandleKind::kFile;
  uint32_t serial = 0;  // for readable names: dc#3, bitmap#4
  DeviceContextObject dc;
  BitmapObject bitmap;
  GlobalBlockObject block;
  FileObject file;
};

struct State {
  MachineFacts machine;
  PrinterSettings printer;
  FileDialogAnswer fileDialog;
  FileSettings files;
  MemorySettings memory;

  std::vector<PrintDialogCall> printDialogs;
  std::vector<PrintJob> jobs;
  std::vector<FileDialogCall> fileDialogs;
  std::vector<MessageBoxCall> messageBoxes;
  std::vector<uint32_t> readRequests;
  std::vector<std::string> faults;
  std::vector<std::string> calls;
  uint32_t lastDialogError = 0;

  std::map<uintptr_t, HandleObject> handles;
  uint32_t nextSerial = 1;
};

State& TheState();

// A new handle of this kind; its value is unique while it lives. For fixed global blocks the
// caller names the value (the block's address).
HANDLE AddHandle(HandleKind kind, HandleObject object, uintptr_t value = 0);
// The live object behind a handle of the given kind, or null (and a fault naming `function`).
HandleObject* Find(const void* handle, HandleKind kind, const char* function);
// Releases a handle's resources and forgets it.
void RemoveHandle(const void* handle);

// "dc#3", "bitmap#4", "null", "unknown 0x1234": how call records and faults name a handle.
std::string HandleName(const void* handle);
void Fault(const std::string& text);
// A new device context on the screen or the printer; a memory one starts with the stock bitmap.
HDC NewDeviceContext(Device device, bool memory);
void RecordCall(const std::string& line);

}  // namespace stand_in
