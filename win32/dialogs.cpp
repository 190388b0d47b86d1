// comdlg32's print and open-file dialogs and user32's message box: nobody is asked; each
// answers as the control side chose and records what it was shown.
#include <cstring>
#include <string>

#include "win32/state.h"

using stand_in::DialogAnswer;

namespace {

// PrintDlgA's error when the caller asks for the default printer but hands in blocks of its own.
constexpr DWORD kReturnDefaultFailure = 0x1009;
// The longest filter the dialog reads before deciding it has no end.
constexpr size_t kLongestFilter = 4096;

// A movable block holding `size` bytes copied from `bytes`: what the dialog hands back as the
// printer's settings and names, for the caller to free.
HGLOBAL BlockWith(const void* bytes, size_t size) {
  HGLOBAL block = GlobalAlloc(GHND, size);
  if (block == nullptr) return nullptr;
  void* at = GlobalLock(block);
  if (at != nullptr) std::memcpy(at, bytes, size);
  GlobalUnlock(block);
  return block;
}

HGLOBAL DeviceNames() {
  static const char kNames[] = "winspool\0Virtual Printer\0LPT1:";
  uint8_t record[sizeof(DEVNAMES) + sizeof kNames];
  const DEVNAMES names = {sizeof(DEVNAMES), sizeof(DEVNAMES) + 9, sizeof(DEVNAMES) + 25, 1};
  std::memcpy(record, &names, sizeof names);
  std::memcpy(record + sizeof names, kNames, sizeof kNames);
  return BlockWith(record, sizeof record);
}

HGLOBAL DeviceMode() {
  // The printer's settings as the system keeps them (156 bytes); only its name means anything.
  uint8_t record[156] = {};
  std::memcpy(record, "Virtual Printer", 15);
  return BlockWith(record, sizeof record);
}

// Splits a filter into its NUL-ended strings, up to the empty one that ends it.
void ReadFilter(const char* filter, stand_in::FileDialogCall* call) {
  if (filter == nullptr) return;
  size_t at = 0;
  while (at < kLongestFilter) {
    size_t length = strnlen(filter + at, kLongestFilter - at);
    if (at + length >= kLongestFilter) return;
    if (length == 0) {
      call->filterTerminated = true;
      return;
    }
    call->filter.emplace_back(filter + at, length);
    at += length + 1;
  }
}

}  // namespace

extern "C" {

BOOL WINAPI PrintDlgA(LPPRINTDLGA pPD) {
  stand_in::State& s = stand_in::TheState();
  stand_in::PrintDialogCall call;
  BOOL result = FALSE;
  if (pPD == nullptr || pPD->lStructSize != sizeof(PRINTDLGA)) {
    s.lastDialogError = CDERR_STRUCTSIZE;
    if (pPD != nullptr) call.structSize = pPD->lStructSize;
  } else {
    call.structSize = pPD->lStructSize;
    call.flags = pPD->Flags;
    call.fromPage = pPD->nFromPage;
    call.toPage = pPD->nToPage;
    call.minPage = pPD->nMinPage;
    call.maxPage = pPD->nMaxPage;
    call.copies = pPD->nCopies;
    call.hadOwner = pPD->hwndOwner != nullptr;
    const bool onlyDefault = (pPD->Flags & PD_RETURNDEFAULT) != 0;
    if (onlyDefault && (pPD->hDevMode != nullptr || pPD->hDevNames != nullptr)) {
      s.lastDialogError = kReturnDefaultFailure;
    } else if (s.printer.dialog == DialogAnswer::kCancel) {
      s.lastDialogError = 0;
    } else if (s.printer.dialog == DialogAnswer::kFail) {
      s.lastDialogError = s.printer.dialogError;
    } else {
      s.lastDialogError = 0;
      if (pPD->hDevMode == nullptr) pPD->hDevMode = DeviceMode();
      if (pPD->hDevNames == nullptr) pPD->hDevNames = DeviceNames();
      pPD->hDC = nullptr;
      if ((pPD->Flags & PD_RETURNDC) != 0) {
        pPD->hDC = stand_in::NewDeviceContext(stand_in::Device::kPrinter, false);
      }
      result = TRUE;
    }
  }
  call.succeeded = result != FALSE;
  s.printDialogs.push_back(call);
  stand_in::RecordCall("PrintDlgA(flags " + std::to_string(call.flags) +
                       ") = " + std::to_string(result) +
                       (result != FALSE ? ", " + stand_in::HandleName(pPD->hDC) : ""));
  return result;
}

DWORD WINAPI CommDlgExtendedError(void) {
  DWORD error = stand_in::TheState().lastDialogError;
  stand_in::RecordCall("CommDlgExtendedError() = " + std::to_string(error));
  return error;
}

BOOL WINAPI GetOpenFileNameA(LPOPENFILENAMEA lpofn) {
  stand_in::State& s = stand_in::TheState();
  stand_in::FileDialogCall call;
  BOOL result = FALSE;
  if (lpofn == nullptr || (lpofn->lStructSize != OPENFILENAME_SIZE_VERSION_400A &&
                           lpofn->lStructSize != sizeof(OPENFILENAMEA))) {
    s.lastDialogError = CDERR_STRUCTSIZE;
    if (lpofn != nullptr) call.structSize = lpofn->lStructSize;
  } else {
    call.structSize = lpofn->lStructSize;
    call.hadOwner = lpofn->hwndOwner != nullptr;
    ReadFilter(lpofn->lpstrFilter, &call);
    call.filterIndex = lpofn->nFilterIndex;
    call.maxFile = lpofn->nMaxFile;
    if (lpofn->lpstrFile != nullptr && lpofn->nMaxFile > 0) {
      call.initialFile.assign(lpofn->lpstrFile, strnlen(lpofn->lpstrFile, lpofn->nMaxFile));
    }
    call.flags = lpofn->Flags;
    call.hadFileTitle = lpofn->lpstrFileTitle != nullptr;
    call.hadInitialDir = lpofn->lpstrInitialDir != nullptr;
    call.hadTitle = lpofn->lpstrTitle != nullptr;
    call.hadCustomFilter = lpofn->lpstrCustomFilter != nullptr;
    const stand_in::FileDialogAnswer& answer = s.fileDialog;
    if (answer.answer == DialogAnswer::kCancel) {
      s.lastDialogError = 0;
    } else if (answer.answer == DialogAnswer::kFail || lpofn->lpstrFile == nullptr) {
      s.lastDialogError =
          answer.answer == DialogAnswer::kFail ? answer.error : CDERR_INITIALIZATION;
    } else if (answer.path.size() + 1 > lpofn->nMaxFile) {
      // Too long for the caller's buffer: its first two bytes say how many it would need.
      s.lastDialogError = FNERR_BUFFERTOOSMALL;
      if (lpofn->nMaxFile >= 2) {
        const WORD needed = static_cast<WORD>(answer.path.size() + 1);
        std::memcpy(lpofn->lpstrFile, &needed, sizeof needed);
      }
    } else {
      s.lastDialogError = 0;
      std::memcpy(lpofn->lpstrFile, answer.path.c_str(), answer.path.size() + 1);
      const size_t slash = answer.path.find_last_of("\\/");
      const size_t name = slash == std::string::npos ? 0 : slash + 1;
      const size_t dot = answer.path.find_last_of('.');
      lpofn->nFileOffset = static_cast<WORD>(name);
      lpofn->nFileExtension =
          static_cast<WORD>(dot == std::string::npos || dot < name ? 0 : dot + 1);
      result = TRUE;
    }
  }
  call.succeeded = result != FALSE;
  s.fileDialogs.push_back(call);
  stand_in::RecordCall("GetOpenFileNameA() = " + std::to_string(result));
  return result;
}

int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
  stand_in::MessageBoxCall call;
  call.hadOwner = hWnd != nullptr;
  call.text = lpText == nullptr ? "" : lpText;
  call.caption = lpCaption == nullptr ? "" : lpCaption;
  call.type = uType;
  stand_in::TheState().messageBoxes.push_back(call);
  stand_in::RecordCall("MessageBoxA(\"" + call.text + "\", \"" + call.caption + "\", " +
                       std::to_string(uType) + ") = " + std::to_string(IDOK));
  return IDOK;
}

}  // extern "C"
