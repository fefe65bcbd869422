/* Adapter setup dialog for host programs: one C function, ShowCanSetup.
 * Load the library (libwexdial.so / wexdial.dll) at link time or by name at run time. */
#ifndef WEXDIAL_H
#define WEXDIAL_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#if defined(WEXDIAL_BUILDING)
#define WEXDIAL_API __declspec(dllexport)
#else
#define WEXDIAL_API __declspec(dllimport)
#endif
#else
#define WEXDIAL_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The adapter settings the dialog edits. Owned by the caller; the layout is fixed (no padding). */
typedef struct SetupRecord {
    char serialNumber[256]; /* NUL-terminated text (UTF-8 on Linux, the ANSI code page on Windows) */
    int32_t bitrateKbit;    /* 10, 20, 50, 100, 125, 250, 500, 800 or 1000; -1 after OK with no choice */
    int32_t btrValue;       /* bit-timing register value, edited as hexadecimal */
} SetupRecord;

/* Shows the modal "CAN - Setup" dialog over ownerWindow (HWND on Windows, X11 window id on Linux; may be
 * null) and returns when the user closes it. Returns 1 when the dialog was shown: OK wrote the edited
 * values into *record, Cancel or closing left it untouched. Returns 0 when no dialog could be shown
 * (null record, no display, a Qt application without widgets, a foreign thread); *record is untouched. */
WEXDIAL_API int32_t ShowCanSetup(void* ownerWindow, SetupRecord* record);

#ifdef __cplusplus
}
#endif

/* Hosts in other languages declare the record themselves: keep it byte for byte. */
#if defined(__cplusplus)
static_assert(sizeof(SetupRecord) == 264, "SetupRecord must be 264 bytes");
static_assert(offsetof(SetupRecord, bitrateKbit) == 256, "bitrateKbit must follow the 256-byte text");
static_assert(offsetof(SetupRecord, btrValue) == 260, "btrValue must follow bitrateKbit");
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
_Static_assert(sizeof(SetupRecord) == 264, "SetupRecord must be 264 bytes");
_Static_assert(offsetof(SetupRecord, bitrateKbit) == 256, "bitrateKbit must follow the 256-byte text");
_Static_assert(offsetof(SetupRecord, btrValue) == 260, "btrValue must follow bitrateKbit");
#endif

#endif
