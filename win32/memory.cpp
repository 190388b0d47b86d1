// kernel32's global memory blocks: movable blocks reached through a lock, fixed ones directly.
#include <cstdio>
#include <new>
#include <string>

#include "win32/state.h"

using stand_in::GlobalBlockObject;
using stand_in::HandleKind;
using stand_in::HandleObject;

namespace {

GlobalBlockObject* FindBlock(HGLOBAL block, const char* function) {
  HandleObject* object = stand_in::Find(block, HandleKind::kGlobalBlock, function);
  return object == nullptr ? nullptr : &object->block;
}

bool MayAllocate(SIZE_T bytes) {
  stand_in::MemorySettings& memory = stand_in::TheState().memory;
  if (bytes > memory.largestBlock) return false;
  if (memory.failAfter == 0) return false;
  if (memory.failAfter > 0) --memory.failAfter;
  return true;
}

}  // namespace

extern "C" {

HGLOBAL WINAPI GlobalAlloc(UINT uFlags, SIZE_T dwBytes) {
  HGLOBAL result = nullptr;
  if (MayAllocate(dwBytes)) {
    // Every block starts zeroed: GMEM_ZEROINIT asks for it, and nothing may depend on what an
    // uninitialised block would hold.
    std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[dwBytes == 0 ? 1 : dwBytes]());
    if (bytes != nullptr) {
      HandleObject object;
      object.block.size = static_cast<uint32_t>(dwBytes);
      object.block.fixed = (uFlags & GMEM_MOVEABLE) == 0;
      uintptr_t value = object.block.fixed ? reinterpret_cast<uintptr_t>(bytes.get()) : 0;
      object.block.bytes = std::move(bytes);
      result = stand_in::AddHandle(HandleKind::kGlobalBlock, std::move(object), value);
    }
  }
  stand_in::RecordCall("GlobalAlloc(0x" +
                       [&] {
                         char hex[16];
                         std::snprintf(hex, sizeof hex, "%x", uFlags);
                         return std::string(hex);
                       }() +
                       ", " + std::to_string(dwBytes) + ") = " + stand_in::HandleName(result));
  return result;
}

LPVOID WINAPI GlobalLock(HGLOBAL hMem) {
  GlobalBlockObject* block = FindBlock(hMem, "GlobalLock");
  LPVOID result = nullptr;
  if (block != nullptr && block->size != 0) {
    if (!block->fixed) ++block->locks;
    result = block->bytes.get();
  }
  stand_in::RecordCall("GlobalLock(" + stand_in::HandleName(hMem) + ")" +
                       (result == nullptr ? " = null" : ""));
  return result;
}

BOOL WINAPI GlobalUnlock(HGLOBAL hMem) {
  GlobalBlockObject* block = FindBlock(hMem, "GlobalUnlock");
  BOOL stillLocked = FALSE;
  if (block != nullptr && !block->fixed) {
    if (block->locks == 0) {
      stand_in::Fault("GlobalUnlock: " + stand_in::HandleName(hMem) + " is not locked");
    } else {
      --block->locks;
      stillLocked = block->locks > 0 ? TRUE : FALSE;
    }
  }
  stand_in::RecordCall("GlobalUnlock(" + stand_in::HandleName(hMem) +
                       ") = " + std::to_string(stillLocked));
  return stillLocked;
}

HGLOBAL WINAPI GlobalFree(HGLOBAL hMem) {
  std::string name = stand_in::HandleName(hMem);
  HGLOBAL result = hMem;
  if (FindBlock(hMem, "GlobalFree") != nullptr) {
    stand_in::RemoveHandle(hMem);
    result = nullptr;
  }
  stand_in::RecordCall("GlobalFree(" + name + ")" + (result == nullptr ? "" : " failed"));
  return result;
}

}  // extern "C"
