// The Win32 surface the plug-ins call: printing, device contexts and device bitmaps, the common
// print and file dialogs, the message box, file and memory calls, and the system queries.
//
// On Windows this is the system's own headers and libraries. Elsewhere it declares exactly the
// subset the plug-ins use, with the Windows names, constants, 32-bit record layouts and calling
// conventions (WINAPI is stdcall), implemented by the stand-in library (win32/stand_in.h says
// how the host and the tests steer it). Every function is exported undecorated under its Windows
// name, so a loader of Windows DLLs can hand the same functions to their import tables.
#pragma once

#include <cstddef>

static_assert(sizeof(void*) == 4, "the Win32 surface is 32-bit: build for i386");

#ifdef _WIN32

#ifndef NOMINMAX
#define NOMINMAX
#endif
// The common dialogs' header needs the base one first.
// clang-format off
#include <windows.h>
#include <commdlg.h>
// clang-format on

#else  // the stand-in's declarations

#include <cstdint>

#define WINAPI __attribute__((stdcall))
#define CALLBACK __attribute__((stdcall))

extern "C" {

typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef unsigned long DWORD;
typedef long LONG;
typedef unsigned int UINT;
typedef int INT;
typedef char CHAR;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef DWORD* LPDWORD;
typedef long LONG_PTR;
typedef unsigned long ULONG_PTR;
typedef unsigned int UINT_PTR;
typedef ULONG_PTR DWORD_PTR;
typedef ULONG_PTR SIZE_T;
typedef LONG_PTR LPARAM;
typedef UINT_PTR WPARAM;
typedef LONG* PLONG;

typedef void* HANDLE;
typedef HANDLE HGLOBAL;
typedef HANDLE HGDIOBJ;
// Distinct handle types, as the Windows headers make them.
#define DECLARE_WIN32_HANDLE(name) \
  struct name##__ {                \
    int unused;                    \
  };                               \
  typedef struct name##__* name
DECLARE_WIN32_HANDLE(HWND);
DECLARE_WIN32_HANDLE(HDC);
DECLARE_WIN32_HANDLE(HBITMAP);
DECLARE_WIN32_HANDLE(HINSTANCE);
#undef DECLARE_WIN32_HANDLE

typedef UINT_PTR(CALLBACK* LPPRINTHOOKPROC)(HWND, UINT, WPARAM, LPARAM);
typedef UINT_PTR(CALLBACK* LPSETUPHOOKPROC)(HWND, UINT, WPARAM, LPARAM);
typedef UINT_PTR(CALLBACK* LPOFNHOOKPROC)(HWND, UINT, WPARAM, LPARAM);
typedef BOOL(CALLBACK* ABORTPROC)(HDC, int);

#define TRUE 1
#define FALSE 0
#define MAX_PATH 260

// ---------------------------------------------------------------------------------------------
// Records. The common dialogs' records are byte-packed in 32-bit Windows; the bitmap file
// header is packed to two bytes; the rest fall on 4-byte boundaries by themselves.

#pragma pack(push, 1)
typedef struct tagPDA {
  DWORD lStructSize;
  HWND hwndOwner;
  HGLOBAL hDevMode;
  HGLOBAL hDevNames;
  HDC hDC;
  DWORD Flags;
  WORD nFromPage;
  WORD nToPage;
  WORD nMinPage;
  WORD nMaxPage;
  WORD nCopies;
  HINSTANCE hInstance;
  LPARAM lCustData;
  LPPRINTHOOKPROC lpfnPrintHook;
  LPSETUPHOOKPROC lpfnSetupHook;
  LPCSTR lpPrintTemplateName;
  LPCSTR lpSetupTemplateName;
  HGLOBAL hPrintTemplate;
  HGLOBAL hSetupTemplate;
} PRINTDLGA, *LPPRINTDLGA;

typedef struct tagOFNA {
  DWORD lStructSize;
  HWND hwndOwner;
  HINSTANCE hInstance;
  LPCSTR lpstrFilter;
  LPSTR lpstrCustomFilter;
  DWORD nMaxCustFilter;
  DWORD nFilterIndex;
  LPSTR lpstrFile;
  DWORD nMaxFile;
  LPSTR lpstrFileTitle;
  DWORD nMaxFileTitle;
  LPCSTR lpstrInitialDir;
  LPCSTR lpstrTitle;
  DWORD Flags;
  WORD nFileOffset;
  WORD nFileExtension;
  LPCSTR lpstrDefExt;
  LPARAM lCustData;
  LPOFNHOOKPROC lpfnHook;
  LPCSTR lpTemplateName;
  void* pvReserved;
  DWORD dwReserved;
  DWORD FlagsEx;
} OPENFILENAMEA, *LPOPENFILENAMEA;

typedef struct tagDEVNAMES {
  WORD wDriverOffset;
  WORD wDeviceOffset;
  WORD wOutputOffset;
  WORD wDefault;
} DEVNAMES, *LPDEVNAMES;
#pragma pack(pop)

// The record size every version of the file dialog accepts (without the last three fields).
#define OPENFILENAME_SIZE_VERSION_400A 76

#pragma pack(push, 2)
typedef struct tagBITMAPFILEHEADER {
  WORD bfType;
  DWORD bfSize;
  WORD bfReserved1;
  WORD bfReserved2;
  DWORD bfOffBits;
} BITMAPFILEHEADER;
#pragma pack(pop)

typedef struct tagBITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
} BITMAPINFOHEADER, *LPBITMAPINFOHEADER;

typedef struct tagRGBQUAD {
  BYTE rgbBlue;
  BYTE rgbGreen;
  BYTE rgbRed;
  BYTE rgbReserved;
} RGBQUAD;

typedef struct tagBITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
} BITMAPINFO, *LPBITMAPINFO;

typedef struct _DOCINFOA {
  int cbSize;
  LPCSTR lpszDocName;
  LPCSTR lpszOutput;
  LPCSTR lpszDatatype;
  DWORD fwType;
} DOCINFOA, *LPDOCINFOA;

typedef struct _SYSTEM_INFO {
  union {
    DWORD dwOemId;
    struct {
      WORD wProcessorArchitecture;
      WORD wReserved;
    };
  };
  DWORD dwPageSize;
  LPVOID lpMinimumApplicationAddress;
  LPVOID lpMaximumApplicationAddress;
  DWORD_PTR dwActiveProcessorMask;
  DWORD dwNumberOfProcessors;
  DWORD dwProcessorType;
  DWORD dwAllocationGranularity;
  WORD wProcessorLevel;
  WORD wProcessorRevision;
} SYSTEM_INFO, *LPSYSTEM_INFO;

// A point in time: 100-nanosecond intervals since 1601-01-01 UTC, in two halves.
typedef struct _FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
} FILETIME, *LPFILETIME;

typedef struct _SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

typedef struct _OVERLAPPED OVERLAPPED, *LPOVERLAPPED;  // never used here: always null

// ---------------------------------------------------------------------------------------------
// Constants.

// Files.
#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)
#define GENERIC_READ 0x80000000UL
#define FILE_SHARE_READ 0x00000001
#define OPEN_EXISTING 3
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2
#define INVALID_SET_FILE_POINTER ((DWORD)-1)
#define INVALID_FILE_SIZE ((DWORD)0xFFFFFFFF)

// Global memory.
#define GMEM_FIXED 0x0000
#define GMEM_MOVEABLE 0x0002
#define GMEM_ZEROINIT 0x0040
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)

// Device capabilities.
#define HORZRES 8
#define VERTRES 10
#define BITSPIXEL 12
#define PLANES 14
#define RASTERCAPS 38
#define LOGPIXELSX 88
#define LOGPIXELSY 90
#define RC_BITBLT 1
#define RC_BITMAP64 8
#define RC_DI_BITMAP 0x0080
#define RC_DIBTODEV 0x0200
#define RC_STRETCHBLT 0x0800
#define RC_STRETCHDIB 0x2000

// Device-independent bitmaps.
#define BI_RGB 0
#define BI_RLE8 1
#define BI_RLE4 2
#define BI_BITFIELDS 3
#define BI_JPEG 4
#define BI_PNG 5
#define CBM_INIT 0x04
#define DIB_RGB_COLORS 0
#define DIB_PAL_COLORS 1
#define SRCCOPY 0x00CC0020

// Printing.
#define SP_ERROR (-1)
#define PD_RETURNDC 0x00000100
#define PD_RETURNDEFAULT 0x00000400

// Common dialog errors (CommDlgExtendedError).
#define CDERR_STRUCTSIZE 0x0001
#define CDERR_INITIALIZATION 0x0002
#define PDERR_PRINTERNOTFOUND 0x100B
#define PDERR_NODEFAULTPRN 0x1008
#define FNERR_BUFFERTOOSMALL 0x3003
#define FNERR_INVALIDFILENAME 0x3002

// The file dialog.
#define OFN_SHOWHELP 0x00000010
#define OFN_PATHMUSTEXIST 0x00000800
#define OFN_FILEMUSTEXIST 0x00001000

// Message boxes.
#define MB_OK 0x00000000
#define MB_ICONEXCLAMATION 0x00000030
#define IDOK 1

// System queries.
#define SM_CXSCREEN 0
#define SM_CYSCREEN 1
#define PROCESSOR_INTEL_386 386
#define PROCESSOR_INTEL_486 486
#define PROCESSOR_INTEL_PENTIUM 586
#define PROCESSOR_ARCHITECTURE_INTEL 0

// ---------------------------------------------------------------------------------------------
// Functions, grouped by the system library that exports them on Windows.

// kernel32: files.
HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                     LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped);
DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                            DWORD dwMoveMethod);
DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh);
BOOL WINAPI CloseHandle(HANDLE hObject);

// kernel32: global memory.
HGLOBAL WINAPI GlobalAlloc(UINT uFlags, SIZE_T dwBytes);
LPVOID WINAPI GlobalLock(HGLOBAL hMem);
BOOL WINAPI GlobalUnlock(HGLOBAL hMem);
HGLOBAL WINAPI GlobalFree(HGLOBAL hMem);

// kernel32: system queries.
DWORD WINAPI GetVersion(void);
void WINAPI GetSystemInfo(LPSYSTEM_INFO lpSystemInfo);
void WINAPI GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime);

// gdi32: device contexts and bitmaps.
HDC WINAPI CreateCompatibleDC(HDC hdc);
BOOL WINAPI DeleteDC(HDC hdc);
int WINAPI GetDeviceCaps(HDC hdc, int index);
HBITMAP WINAPI CreateDIBitmap(HDC hdc, const BITMAPINFOHEADER* pbmih, DWORD flInit,
                              const void* pjBits, const BITMAPINFO* pbmi, UINT iUsage);
HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h);
BOOL WINAPI DeleteObject(HGDIOBJ ho);
int WINAPI StretchDIBits(HDC hdc, int xDest, int yDest, int DestWidth, int DestHeight, int xSrc,
                         int ySrc, int SrcWidth, int SrcHeight, const void* lpBits,
                         const BITMAPINFO* lpbmi, UINT iUsage, DWORD rop);

// gdi32: print jobs.
int WINAPI StartDocA(HDC hdc, const DOCINFOA* lpdi);
int WINAPI EndDoc(HDC hdc);
int WINAPI StartPage(HDC hdc);
int WINAPI EndPage(HDC hdc);

// comdlg32.
BOOL WINAPI PrintDlgA(LPPRINTDLGA pPD);
DWORD WINAPI CommDlgExtendedError(void);
BOOL WINAPI GetOpenFileNameA(LPOPENFILENAMEA lpofn);

// user32.
int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType);
HDC WINAPI GetDC(HWND hWnd);
int WINAPI ReleaseDC(HWND hWnd, HDC hDC);
int WINAPI GetSystemMetrics(int nIndex);
int WINAPI GetKeyboardType(int nTypeFlag);

}  // extern "C"

#endif  // _WIN32

// The records whose layouts the plug-ins rely on, as a 32-bit Windows program sees them: the
// same in both builds.
static_assert(sizeof(PRINTDLGA) == 66);
static_assert(offsetof(PRINTDLGA, hDC) == 16);
static_assert(offsetof(PRINTDLGA, Flags) == 20);
static_assert(offsetof(PRINTDLGA, nFromPage) == 24);
static_assert(offsetof(PRINTDLGA, nCopies) == 32);
static_assert(offsetof(PRINTDLGA, hInstance) == 34);
static_assert(offsetof(PRINTDLGA, hSetupTemplate) == 62);
static_assert(sizeof(OPENFILENAMEA) == 88);
static_assert(offsetof(OPENFILENAMEA, lpstrFilter) == 12);
static_assert(offsetof(OPENFILENAMEA, nFilterIndex) == 24);
static_assert(offsetof(OPENFILENAMEA, lpstrFile) == 28);
static_assert(offsetof(OPENFILENAMEA, nMaxFile) == 32);
static_assert(offsetof(OPENFILENAMEA, Flags) == 52);
static_assert(offsetof(OPENFILENAMEA, lpTemplateName) == 72);
static_assert(offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR) == 76);  // the 4.0 size
static_assert(sizeof(DOCINFOA) == 20);
static_assert(offsetof(DOCINFOA, lpszDocName) == 4);
static_assert(offsetof(DOCINFOA, lpszOutput) == 8);
static_assert(sizeof(BITMAPFILEHEADER) == 14);
static_assert(offsetof(BITMAPFILEHEADER, bfSize) == 2);
static_assert(offsetof(BITMAPFILEHEADER, bfOffBits) == 10);
static_assert(sizeof(BITMAPINFOHEADER) == 40);
static_assert(offsetof(BITMAPINFOHEADER, biBitCount) == 14);
static_assert(offsetof(BITMAPINFOHEADER, biClrUsed) == 32);
static_assert(sizeof(RGBQUAD) == 4);
static_assert(sizeof(BITMAPINFO) == 44);
static_assert(sizeof(SYSTEM_INFO) == 36);
static_assert(offsetof(SYSTEM_INFO, dwProcessorType) == 24);
static_assert(sizeof(FILETIME) == 8);
static_assert(sizeof(DEVNAMES) == 8);
