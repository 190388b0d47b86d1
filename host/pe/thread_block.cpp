#include "host/pe/thread_block.h"

#include <asm/ldt.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

namespace refhost::pe {
namespace {

constexpr uint32_t kStaticTlsSlots = 64;

// The fields of the Windows thread block that anything here reads or writes, at their offsets.
#pragma pack(push, 1)
struct ThreadBlock {
  uint32_t exceptionList;  // 0x00: end of the SEH chain
  uint32_t stackBase;      // 0x04: also the start-up lock's owner id
  uint32_t stackLimit;     // 0x08
  uint8_t unused0[12];
  uint32_t self;  // 0x18: the block's own linear address
  uint8_t unused1[4];
  uint32_t processId;                  // 0x20
  uint32_t threadId;                   // 0x24
  uint8_t unused2[4];                  //
  uint32_t threadLocalStoragePointer;  // 0x2C: the static TLS array
  uint32_t processBlock;               // 0x30
  uint32_t lastError;                  // 0x34
  uint8_t unused3[0xE10 - 0x38];
  uint32_t tlsSlots[kTlsSlots];  // 0xE10
  uint8_t unused4[0x1000 - 0xF10];
};
#pragma pack(pop)
static_assert(offsetof(ThreadBlock, self) == 0x18);
static_assert(offsetof(ThreadBlock, processId) == 0x20);
static_assert(offsetof(ThreadBlock, threadLocalStoragePointer) == 0x2C);
static_assert(offsetof(ThreadBlock, lastError) == 0x34);
static_assert(offsetof(ThreadBlock, tlsSlots) == 0xE10);
static_assert(sizeof(ThreadBlock) == 0x1000);

// The LDT entry the block's segment uses; its selector has the table bit and ring 3.
constexpr unsigned kLdtEntry = 0;
constexpr uint16_t kSelector = (kLdtEntry << 3) | 4 | 3;

// The block, the process block and the static TLS array: one zeroed page each, never freed.
ThreadBlock* g_block = nullptr;
uint32_t* g_staticTls = nullptr;

void LoadSelector() {
  __asm__ volatile("movw %w0, %%fs" : : "q"(kSelector));
}

uint32_t Word(const void* pointer) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer));
}

void* Page() {
  void* page = mmap(nullptr, 0x1000, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return page == MAP_FAILED ? nullptr : page;
}

}  // namespace

bool EnsureThreadBlock(std::string* error) {
  if (g_block != nullptr) {
    LoadSelector();
    return true;
  }
  auto* block = static_cast<ThreadBlock*>(Page());
  void* process = Page();
  auto* staticTls = static_cast<uint32_t*>(Page());
  if (block == nullptr || process == nullptr || staticTls == nullptr) {
    *error = "cannot allocate the thread information block";
    return false;
  }
  block->exceptionList = 0xFFFFFFFF;
  block->self = Word(block);
  block->processId = static_cast<uint32_t>(getpid());
  block->threadId = static_cast<uint32_t>(syscall(SYS_gettid));
  block->threadLocalStoragePointer = Word(staticTls);
  block->processBlock = Word(process);
  // The stack the plug-ins run on: this thread's.
  pthread_attr_t attributes;
  void* stackLow = nullptr;
  size_t stackSize = 0;
  if (pthread_getattr_np(pthread_self(), &attributes) == 0) {
    pthread_attr_getstack(&attributes, &stackLow, &stackSize);
    pthread_attr_destroy(&attributes);
  }
  if (stackLow == nullptr) {
    int here = 0;
    stackLow = &here;
  }
  block->stackLimit = Word(stackLow);
  block->stackBase = Word(static_cast<uint8_t*>(stackLow) + stackSize);

  user_desc entry{};
  entry.entry_number = kLdtEntry;
  entry.base_addr = Word(block);
  entry.limit = sizeof(ThreadBlock) - 1;
  entry.seg_32bit = 1;
  entry.contents = 0;  // data, growing up
  entry.read_exec_only = 0;
  entry.limit_in_pages = 0;
  entry.seg_not_present = 0;
  entry.useable = 1;
  if (syscall(SYS_modify_ldt, 1, &entry, sizeof entry) != 0) {
    *error = std::string("the kernel refused an LDT entry for the thread information block (") +
             std::strerror(errno) + ")";
    munmap(block, 0x1000);
    munmap(process, 0x1000);
    munmap(staticTls, 0x1000);
    return false;
  }
  g_block = block;
  g_staticTls = staticTls;
  LoadSelector();
  return true;
}

void ReloadThreadBlock() {
  if (g_block != nullptr) LoadSelector();
}

bool AllocateTlsIndex(void* block, uint32_t* index) {
  if (g_staticTls == nullptr) return false;
  for (uint32_t i = 0; i < kStaticTlsSlots; ++i) {
    if (g_staticTls[i] == 0) {
      g_staticTls[i] = Word(block);
      *index = i;
      return true;
    }
  }
  return false;
}

void FreeTlsIndex(uint32_t index) {
  if (g_staticTls != nullptr && index < kStaticTlsSlots) g_staticTls[index] = 0;
}

void* TlsBlock(uint32_t index) {
  if (g_staticTls == nullptr || index >= kStaticTlsSlots) return nullptr;
  return reinterpret_cast<void*>(uintptr_t{g_staticTls[index]});
}

uint32_t LastError() {
  return g_block == nullptr ? 0 : g_block->lastError;
}

void SetLastError(uint32_t error) {
  if (g_block != nullptr) g_block->lastError = error;
}

bool TlsSlot(uint32_t index, void** value) {
  if (g_block == nullptr || index >= kTlsSlots) return false;
  *value = reinterpret_cast<void*>(uintptr_t{g_block->tlsSlots[index]});
  return true;
}

bool SetTlsSlot(uint32_t index, void* value) {
  if (g_block == nullptr || index >= kTlsSlots) return false;
  g_block->tlsSlots[index] = Word(value);
  return true;
}

uint32_t ReadThreadBlockSelf() {
  if (g_block == nullptr) return 0;
  uint32_t self;
  __asm__ volatile("movl %%fs:0x18, %0" : "=r"(self));
  return self;
}

}  // namespace refhost::pe
