// The thread information block Windows code finds through %fs. The mingw-w64 start-up code
// reads it (`mov %fs:0x18`, the block's own address, then its stack base), and TLS and the last
// error live in it. On i386 Linux, glibc keeps its thread data in %gs and leaves %fs unused, so
// the host gives %fs a segment of its own: an LDT entry (modify_ldt) whose base is the block.
// This works natively and under qemu-i386. One block: plug-in code runs on one thread.
#pragma once

#include <cstdint>
#include <string>

namespace refhost::pe {

// Sets the block up (once per process) and loads %fs with it. False, with the reason, when the
// kernel refuses the LDT entry.
bool EnsureThreadBlock(std::string* error);
// Loads %fs again, once the block exists (nothing in the host changes it, but a guarded call
// into DLL code should not depend on that).
void ReloadThreadBlock();

// The per-image static TLS array (ThreadLocalStoragePointer): a slot per loaded image's TLS
// block. False when all slots are taken.
bool AllocateTlsIndex(void* block, uint32_t* index);
void FreeTlsIndex(uint32_t index);
void* TlsBlock(uint32_t index);  // null for a free or unknown index

// What KERNEL32 keeps in the block: the last error and the TlsAlloc slots.
constexpr uint32_t kTlsSlots = 64;
uint32_t LastError();
void SetLastError(uint32_t error);
bool TlsSlot(uint32_t index, void** value);  // false for an index past the slots
bool SetTlsSlot(uint32_t index, void* value);

// %fs:0x18 as DLL code reads it (for tests): the block's address, or 0 before it exists.
uint32_t ReadThreadBlockSelf();

}  // namespace refhost::pe
