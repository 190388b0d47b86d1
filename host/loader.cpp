// Loading a plug-in library: its exports come from the ELF dynamic symbol table, each runs the
// name query and the registration, every entry call guarded against faults.
#include <dlfcn.h>
#include <elf.h>
#include <setjmp.h>
#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "host/call_limit.h"
#include "host/impl.h"
#include "host/pe/module.h"
#include "host/pe/trap.h"

namespace refhost {
namespace {

constexpr uint32_t kTableEntries = 40;  // >= 38 columns of `_QComponent`, whatever the row
constexpr uint32_t kMaxInstanceSize = 1u << 20;

// The allocator cannot be told which host calls it; entry calls run one at a time.
Host::Impl* g_allocating = nullptr;
bool g_failAllocator = false;
std::vector<uint32_t>* g_columnsAsked = nullptr;

extern "C" abi::MethodEntry* RefhostAllocator(void* /*descriptor*/, uint32_t column) {
  if (g_columnsAsked != nullptr) {
    g_columnsAsked->push_back(column);
    return nullptr;
  }
  if (g_failAllocator || g_allocating == nullptr) return nullptr;
  auto* table =
      static_cast<abi::MethodEntry*>(std::calloc(kTableEntries, sizeof(abi::MethodEntry)));
  g_allocating->ownedTables.push_back(table);
  return table;
}

// ---- Guarded entry calls.
sigjmp_buf g_jump;
volatile sig_atomic_t g_signal = 0;

void OnFault(int signal) {
  g_signal = signal;
  siglongjmp(g_jump, 1);
}

// Runs `call`; false (with a reason) when it faulted, when a DLL it entered failed, or when it
// ran past the time limit (`what` names it in the reason).
template <typename Call>
bool GuardedCall(Call call, uint32_t limitMs, const char* what, std::string* why) {
  static char* altStack = nullptr;
  constexpr size_t kAltStackSize = 64 * 1024;
  if (altStack == nullptr) altStack = static_cast<char*>(std::malloc(kAltStackSize));
  stack_t newStack{}, oldStack{};
  newStack.ss_sp = altStack;
  newStack.ss_size = kAltStackSize;
  sigaltstack(&newStack, &oldStack);

  const int signals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE};
  struct sigaction action {};
  action.sa_handler = OnFault;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_ONSTACK | SA_NODEFER;
  struct sigaction old[4];
  for (int i = 0; i < 4; ++i) sigaction(signals[i], &action, &old[i]);

  bool ok = true;
  g_signal = 0;
  const pe::GuardChain guards = pe::CurrentGuardChain();
  // The fault's jump lands inside the limited call, which so still ends in order.
  auto limited = [&] {
    if (sigsetjmp(g_jump, 1) == 0) {
      ok = pe::RunGuarded(call, why);
    } else {
      ok = false;
      pe::RestoreGuardChain(guards);
      *why = std::string("it crashed with ") + strsignal(g_signal);
    }
  };
  if (!WithinLimit(limitMs, limited)) {
    ok = false;
    pe::RestoreGuardChain(guards);
    *why = std::string(what) + " did not return within " + LimitText(limitMs);
  }
  for (int i = 0; i < 4; ++i) sigaction(signals[i], &old[i], nullptr);
  sigaltstack(&oldStack, nullptr);
  return ok;
}

bool GuardedEntry(abi::EntryPoint entry, abi::PluginDescriptor* descriptor, uint32_t limitMs,
                  std::string* why) {
  return GuardedCall([&] { entry(descriptor); }, limitMs, "the entry call", why);
}

// ---- ELF32 export enumeration.
// A Windows DLL is not read here: its bytes go to `windowsDll` for the PE loader.
bool ReadExports(const std::string& path, std::vector<std::string>* names, std::string* error,
                 std::vector<uint8_t>* windowsDll) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    *error = "cannot open " + path;
    return false;
  }
  // In one read: a byte at a time, a fresh host per fuzzer input spends most of its time here.
  file.seekg(0, std::ios::end);
  const std::streamoff size = file.tellg();
  file.seekg(0, std::ios::beg);
  std::vector<uint8_t> bytes(size > 0 ? static_cast<size_t>(size) : 0);
  if (!bytes.empty() && !file.read(reinterpret_cast<char*>(bytes.data()), size)) bytes.clear();
  if (pe::LooksLikePe(bytes)) {
    *windowsDll = std::move(bytes);
    return true;
  }
  if (bytes.size() < EI_NIDENT || std::memcmp(bytes.data(), ELFMAG, SELFMAG) != 0) {
    *error = path + " is not an ELF file, so not a plug-in library";
    return false;
  }
  if (bytes[EI_CLASS] == ELFCLASS64) {
    *error = path + " is a 64-bit ELF file; plug-ins are 32-bit (i386)";
    return false;
  }
  if (bytes[EI_CLASS] != ELFCLASS32 || bytes[EI_DATA] != ELFDATA2LSB ||
      bytes.size() < sizeof(Elf32_Ehdr)) {
    *error = path + " is not a little-endian 32-bit ELF file";
    return false;
  }
  Elf32_Ehdr header;
  std::memcpy(&header, bytes.data(), sizeof header);
  if (header.e_type != ET_DYN) {
    *error = path + " is not a shared library";
    return false;
  }
  if (header.e_machine != EM_386) {
    *error = path + " is not built for i386";
    return false;
  }
  auto inFile = [&](uint64_t offset, uint64_t size) { return offset + size <= bytes.size(); };
  if (header.e_shentsize != sizeof(Elf32_Shdr) ||
      !inFile(header.e_shoff, uint64_t{header.e_shnum} * sizeof(Elf32_Shdr))) {
    *error = path + " has no readable section table";
    return false;
  }
  std::vector<Elf32_Shdr> sections(header.e_shnum);
  std::memcpy(sections.data(), bytes.data() + header.e_shoff, header.e_shnum * sizeof(Elf32_Shdr));
  for (const Elf32_Shdr& section : sections) {
    if (section.sh_type != SHT_DYNSYM) continue;
    if (section.sh_link >= sections.size() || section.sh_entsize != sizeof(Elf32_Sym) ||
        !inFile(section.sh_offset, section.sh_size)) {
      *error = path + " has a damaged dynamic symbol table";
      return false;
    }
    const Elf32_Shdr& strings = sections[section.sh_link];
    if (!inFile(strings.sh_offset, strings.sh_size)) {
      *error = path + " has a damaged dynamic string table";
      return false;
    }
    size_t count = section.sh_size / sizeof(Elf32_Sym);
    for (size_t i = 0; i < count; ++i) {
      Elf32_Sym symbol;
      std::memcpy(&symbol, bytes.data() + section.sh_offset + i * sizeof symbol, sizeof symbol);
      if (symbol.st_shndx == SHN_UNDEF || ELF32_ST_BIND(symbol.st_info) != STB_GLOBAL ||
          ELF32_ST_TYPE(symbol.st_info) != STT_FUNC ||
          ELF32_ST_VISIBILITY(symbol.st_other) != STV_DEFAULT) {
        continue;
      }
      if (symbol.st_name >= strings.sh_size) continue;
      const char* name =
          reinterpret_cast<const char*>(bytes.data() + strings.sh_offset + symbol.st_name);
      size_t length = strnlen(name, strings.sh_size - symbol.st_name);
      names->emplace_back(name, length);
    }
    std::sort(names->begin(), names->end());
    return true;
  }
  *error = path + " has no dynamic symbol table, so it exports nothing";
  return false;
}

std::string PrintableName(const uint8_t* bytes) {
  std::string text;
  for (int i = 0; i < 16 && bytes[i] != 0; ++i) {
    if (bytes[i] >= 0x20 && bytes[i] < 0x7F) {
      text += static_cast<char>(bytes[i]);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", bytes[i]);
      text += escaped;
    }
  }
  return text;
}

// A fresh descriptor in its own exact-size allocation, so an overrun by the plug-in shows.
struct DescriptorBlock {
  abi::PluginDescriptor* descriptor;
  DescriptorBlock(int16_t phase, void* services, void* hostPointer) {
    descriptor = static_cast<abi::PluginDescriptor*>(std::calloc(1, sizeof(abi::PluginDescriptor)));
    descriptor->phase = phase;
    descriptor->allocator = RefhostAllocator;
    descriptor->hostPointer = hostPointer;
    descriptor->hostServices = services;
  }
  ~DescriptorBlock() { std::free(descriptor); }
  DescriptorBlock(const DescriptorBlock&) = delete;
  DescriptorBlock& operator=(const DescriptorBlock&) = delete;
};

}  // namespace

void DetachAllocator(Host::Impl* impl) {
  if (g_allocating == impl) g_allocating = nullptr;
}

std::string LoadResult::Summary() const {
  std::string text;
  if (!error.empty()) return "error: " + error + "\n";
  for (const std::string& line : exportErrors) text += "error: " + line + "\n";
  return text;
}

abi::PluginDescriptor Host::MakeDescriptor(int16_t phase) {
  abi::PluginDescriptor descriptor{};
  descriptor.phase = phase;
  descriptor.allocator = RefhostAllocator;
  descriptor.hostPointer = this;
  descriptor.hostServices = ServicesRecord();
  // Outside a load, tables still go to this host so they live as long as it does.
  g_allocating = impl_.get();
  g_failAllocator = false;
  return descriptor;
}

namespace {

// Registers one export; on failure the reason, else a usable class in `info`.
bool RegisterExport(Host::Impl& impl, const std::string& exportName, abi::EntryPoint entry,
                    const LoadOptions& options, ClassInfo* info, std::string* why) {
  void* services = impl.servicesRecord;
  // Name query.
  DescriptorBlock query(0, services, impl.host);
  const uint32_t limit = impl.host->CallLimit();
  if (!GuardedEntry(entry, query.descriptor, limit, why)) return false;
  const uint8_t* nameBytes = query.descriptor->names;
  if (nameBytes[0] == 0) {
    *why = "the name query wrote an empty class name";
    return false;
  }
  for (int i = 0; i < 16 && nameBytes[i] != 0; ++i) {
    if (nameBytes[i] <= 0x20 || nameBytes[i] >= 0x7F) {
      *why = "the name query wrote an unprintable class name \"" + PrintableName(nameBytes) + "\"";
      return false;
    }
  }
  std::string className(reinterpret_cast<const char*>(nameBytes),
                        strnlen(reinterpret_cast<const char*>(nameBytes), 16));
  if (className != exportName) {
    *why = "the name query wrote the class name \"" + className + "\", not the export name";
    return false;
  }
  info->name = className;
  info->instanceSize = query.descriptor->instanceSize;
  info->classFlags = query.descriptor->classFlags;
  if (info->instanceSize == 0 || info->instanceSize > kMaxInstanceSize) {
    *why = "instance size " + std::to_string(info->instanceSize) + " is " +
           (info->instanceSize == 0 ? "zero" : "absurd (more than 1 MiB)");
    return false;
  }

  // Registration with an allocator that gives nothing: every RegisterSlot then asks it once,
  // so the columns it is asked for are the registration order.
  std::vector<uint32_t> order;
  {
    DescriptorBlock dry(1, services, impl.host);
    g_columnsAsked = &order;
    bool ok = GuardedEntry(entry, dry.descriptor, limit, why);
    g_columnsAsked = nullptr;
    if (!ok) return false;
  }

  // The real registration.
  DescriptorBlock real(1, services, impl.host);
  g_allocating = &impl;
  g_failAllocator = options.failAllocator;
  size_t firstTable = impl.ownedTables.size();
  bool ok = GuardedEntry(entry, real.descriptor, limit, why);
  g_failAllocator = false;
  if (!ok) return false;
  abi::PluginDescriptor& d = *real.descriptor;
  if (d.instanceSize != info->instanceSize || d.classFlags != info->classFlags) {
    *why = "the registration gave instance size " + std::to_string(d.instanceSize) + " and flags " +
           std::to_string(d.classFlags) + ", the name query " + std::to_string(info->instanceSize) +
           " and " + std::to_string(info->classFlags);
    return false;
  }
  info->interfaceName = PrintableName(d.names);
  if (std::memcmp(d.names, "_QComponent\0\0\0\0\0", 16) != 0) {
    *why = "interface row 0 is named \"" + info->interfaceName + "\", not \"_QComponent\"";
    return false;
  }
  for (size_t row = 2; row < abi::kMaxRows; ++row) {
    if (d.methodTables[row] != nullptr) {
      *why = "it registers methods in interface row " + std::to_string(row) +
             "; only rows 0 and 1 exist";
      return false;
    }
  }
  // Only tables this registration obtained may be used.
  for (int row = 0; row < 2; ++row) {
    abi::MethodEntry* table = d.methodTables[row];
    if (table == nullptr) continue;
    bool ours = false;
    for (size_t i = firstTable; i < impl.ownedTables.size(); ++i)
      ours |= impl.ownedTables[i] == table;
    if (!ours) {
      *why = "row " + std::to_string(row) + "'s method table is not one the allocator gave";
      return false;
    }
    info->rowTables[row] = table;
  }
  // Which (row, column) pairs were filled.
  std::vector<SlotInfo> filled;
  for (uint16_t row = 0; row < 2; ++row) {
    if (info->rowTables[row] == nullptr) continue;
    for (uint16_t column = 0; column < kTableEntries; ++column) {
      const abi::MethodEntry& e = info->rowTables[row][column];
      if (e.function == nullptr) continue;
      if (row == 0 && (column == abi::slot::kGetOwner || column == abi::slot::kListen)) {
        *why = "it registers column " + std::to_string(column) + ", which the host implements";
        return false;
      }
      int16_t k = static_cast<int16_t>(e.flags & 0xFFFF);
      if (k != 0 && k != 1) {
        *why = "slot (" + std::to_string(row) + ", " + std::to_string(column) +
               ") is registered with flags " + std::to_string(e.flags) +
               "; the host's offsets array has entries 0 and 1";
        return false;
      }
      filled.push_back(SlotInfo{row, column});
    }
  }
  if (filled.empty()) {
    *why = options.failAllocator ? "no slot registered (the method-table allocator gave no table)"
                                 : "no slot registered";
    return false;
  }
  std::vector<bool> used(filled.size(), false);
  for (uint32_t column : order) {
    for (size_t i = 0; i < filled.size(); ++i) {
      if (!used[i] && filled[i].column == column) {
        used[i] = true;
        info->slots.push_back(filled[i]);
        break;
      }
    }
  }
  for (size_t i = 0; i < filled.size(); ++i) {
    if (!used[i]) info->slots.push_back(filled[i]);
  }
  if (info->rowTables[0] == nullptr) {
    *why = "no slot registered in row 0";
    return false;
  }
  info->rowTables[0][abi::slot::kGetOwner] =
      abi::MethodEntry{reinterpret_cast<void*>(&RefhostGetOwner), 0};
  info->rowTables[0][abi::slot::kListen] =
      abi::MethodEntry{reinterpret_cast<void*>(&RefhostListen), 0};
  info->entry = entry;
  for (int row = 0; row < 2; ++row) {
    if (info->rowTables[row] == nullptr) continue;
    info->facingTables[row].assign(info->rowTables[row], info->rowTables[row] + kTableEntries);
    info->facingRows[row] = info->facingTables[row].data();
  }
  if (abi::MethodEntry& set = info->facingTables[0][abi::slot::kSetAttribute];
      set.function != nullptr) {
    set.function = reinterpret_cast<void*>(&RefhostOtherSetAttribute);
  }
  info->record.rowTables = info->facingRows;
  info->record.offsets = info->offsets;
  info->usable = true;
  return true;
}

// Maps a Windows DLL and attaches it; its code exports become the entries. Null (with the
// reason) when it cannot be used. The host keeps the module either way: code that ran may have
// left state behind, so a module is unmapped only when the host goes.
pe::Module* LoadDll(Host::Impl& impl, const std::string& path, const std::vector<uint8_t>& bytes,
                    std::vector<std::string>* exports, std::vector<void*>* entries,
                    std::string* error) {
  std::unique_ptr<pe::Module> module = pe::Module::Map(path, bytes, error);
  if (module == nullptr) return nullptr;
  pe::Module* dll = module.get();
  impl.dlls.push_back(std::move(module));
  pe::Image& image = dll->GetImage();
  AddPluginCode(image.Base(), image.Base() + image.Size());
  bool attached = false;
  std::string why;
  if (!GuardedCall([&] { attached = dll->Attach(&why); }, impl.host->CallLimit(),
                   "its DllMain call", &why) ||
      !attached) {
    *error = "cannot load " + path + ": " + why;
    return nullptr;
  }
  for (auto& [name, address] : dll->Entries()) {
    exports->push_back(name);
    entries->push_back(address);
  }
  return dll;
}

}  // namespace

LoadResult Host::Load(const std::string& path, const LoadOptions& options) {
  LoadResult result;
  std::vector<std::string> exports;
  std::vector<uint8_t> windowsDll;
  if (!ReadExports(path, &exports, &result.error, &windowsDll)) return result;
  std::vector<void*> entries;  // one per export
  pe::Module* dll = nullptr;
  if (!windowsDll.empty()) {
    dll = LoadDll(*impl_, path, windowsDll, &exports, &entries, &result.error);
    if (dll == nullptr) return result;
  } else {
    // A name without a slash would send dlopen to the system's library path, not this folder.
    const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    void* library = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
      const char* reason = dlerror();
      result.error = "cannot load " + path + ": " + (reason ? reason : "unknown reason");
      return result;
    }
    impl_->libraries.push_back(library);
    AddPluginCodeOf(library);
    for (const std::string& name : exports) entries.push_back(dlsym(library, name.c_str()));
  }
  if (exports.empty()) {
    result.error = path + " exports no entry point, so it is not a plug-in library";
    return result;
  }
  for (size_t i = 0; i < exports.size(); ++i) {
    const std::string& name = exports[i];
    auto info = std::make_unique<ClassInfo>();
    info->library = path;
    info->name = name;
    std::string why;
    auto entry = reinterpret_cast<abi::EntryPoint>(entries[i]);
    bool ok = entry != nullptr && RegisterExport(*impl_, name, entry, options, info.get(), &why);
    if (entry == nullptr) why = "the symbol cannot be found";
    // A DLL that reached something the host cannot serve is refused whole.
    if (dll != nullptr && !dll->GetImage().Failure().empty()) {
      result.error = dll->GetImage().Failure();
      return result;
    }
    if (!ok) {
      info->usable = false;
      info->error = "export " + name + " does not follow the entry protocol: " + why;
      info->slots.clear();
      result.exportErrors.push_back(info->error);
    } else {
      result.classes.push_back(info->name);
    }
    // A later load of the same class name shadows the earlier one (FindClass looks from the
    // back); the earlier record stays, as its instances may still point at it.
    impl_->classes.push_back(std::move(info));
  }
  // Descriptors made with MakeDescriptor keep allocating for this host.
  g_allocating = impl_.get();
  result.ok = result.exportErrors.empty();
  return result;
}

}  // namespace refhost
