// kernel32's file calls over the real file system, reading only: what the plug-ins ask of them.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "win32/state.h"

using stand_in::FileObject;
using stand_in::HandleKind;
using stand_in::HandleObject;

namespace {

FileObject* FindFile(HANDLE file, const char* function) {
  HandleObject* object = stand_in::Find(file, HandleKind::kFile, function);
  return object == nullptr ? nullptr : &object->file;
}

}  // namespace

extern "C" {

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD /*dwShareMode*/,
                          LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/,
                          DWORD dwCreationDisposition, DWORD /*dwFlagsAndAttributes*/,
                          HANDLE /*hTemplateFile*/) {
  std::string path = lpFileName == nullptr ? "" : lpFileName;
  // Only what reading an existing file needs; anything else is refused as a system would
  // refuse a file it cannot open.
  HANDLE result = INVALID_HANDLE_VALUE;
  if (lpFileName != nullptr && dwDesiredAccess == GENERIC_READ &&
      dwCreationDisposition == OPEN_EXISTING) {
    std::string local = path;
    for (char& c : local) {
      if (c == '\\') c = '/';
    }
    int descriptor = open(local.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info;
    if (descriptor >= 0 && (fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode))) {
      close(descriptor);
      descriptor = -1;
    }
    if (descriptor >= 0) {
      HandleObject object;
      object.file.descriptor = descriptor;
      object.file.path = path;
      result = stand_in::AddHandle(HandleKind::kFile, std::move(object));
      if (result == nullptr) {
        close(descriptor);
        result = INVALID_HANDLE_VALUE;
      }
    }
  }
  stand_in::RecordCall(
      "CreateFileA(\"" + path + "\") = " +
      (result == INVALID_HANDLE_VALUE ? "INVALID_HANDLE_VALUE" : stand_in::HandleName(result)));
  return result;
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                     LPDWORD lpNumberOfBytesRead, LPOVERLAPPED /*lpOverlapped*/) {
  stand_in::State& s = stand_in::TheState();
  s.readRequests.push_back(nNumberOfBytesToRead);
  if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = 0;
  FileObject* file = FindFile(hFile, "ReadFile");
  BOOL ok = FALSE;
  DWORD done = 0;
  if (file != nullptr && (lpBuffer != nullptr || nNumberOfBytesToRead == 0)) {
    DWORD wanted = nNumberOfBytesToRead;
    if (s.files.readLimit != 0 && wanted > s.files.readLimit) wanted = s.files.readLimit;
    if (wanted > s.files.readableBytes) wanted = s.files.readableBytes;
    ok = TRUE;
    while (done < wanted) {
      ssize_t got = read(file->descriptor, static_cast<char*>(lpBuffer) + done, wanted - done);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) ok = FALSE;
      if (got <= 0) break;
      done += static_cast<DWORD>(got);
    }
    s.files.readableBytes -= done;
    if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = done;
  }
  stand_in::RecordCall("ReadFile(" + stand_in::HandleName(hFile) + ", " +
                       std::to_string(nNumberOfBytesToRead) + ") = " + std::to_string(ok) +
                       ", read " + std::to_string(done));
  return ok;
}

DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                            DWORD dwMoveMethod) {
  FileObject* file = FindFile(hFile, "SetFilePointer");
  DWORD result = INVALID_SET_FILE_POINTER;
  int whence = dwMoveMethod == FILE_BEGIN     ? SEEK_SET
               : dwMoveMethod == FILE_CURRENT ? SEEK_CUR
               : dwMoveMethod == FILE_END     ? SEEK_END
                                              : -1;
  if (file != nullptr && whence >= 0) {
    int64_t distance = lDistanceToMove;
    if (lpDistanceToMoveHigh != nullptr) {
      distance = static_cast<int64_t>((uint64_t(uint32_t(*lpDistanceToMoveHigh)) << 32) |
                                      uint32_t(lDistanceToMove));
    }
    off_t at = lseek(file->descriptor, static_cast<off_t>(distance), whence);
    if (at >= 0) {
      result = static_cast<DWORD>(at);
      if (lpDistanceToMoveHigh != nullptr) {
        *lpDistanceToMoveHigh = static_cast<LONG>(static_cast<uint64_t>(at) >> 32);
      }
    }
  }
  stand_in::RecordCall("SetFilePointer(" + stand_in::HandleName(hFile) + ", " +
                       std::to_string(lDistanceToMove) + ", " + std::to_string(dwMoveMethod) +
                       ") = " + std::to_string(result));
  return result;
}

DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
  FileObject* file = FindFile(hFile, "GetFileSize");
  DWORD result = INVALID_FILE_SIZE;
  struct stat info;
  if (file != nullptr && fstat(file->descriptor, &info) == 0) {
    const auto size = static_cast<uint64_t>(info.st_size);
    result = static_cast<DWORD>(size & 0xFFFFFFFFu);
    if (lpFileSizeHigh != nullptr) *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
  }
  stand_in::RecordCall("GetFileSize(" + stand_in::HandleName(hFile) +
                       ") = " + std::to_string(result));
  return result;
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
  BOOL ok = FALSE;
  std::string name = stand_in::HandleName(hObject);
  if (FindFile(hObject, "CloseHandle") != nullptr) {
    stand_in::RemoveHandle(hObject);
    ok = TRUE;
  } else if (hObject == nullptr) {
    stand_in::Fault("CloseHandle: null handle");
  }
  stand_in::RecordCall("CloseHandle(" + name + ") = " + std::to_string(ok));
  return ok;
}

}  // extern "C"
