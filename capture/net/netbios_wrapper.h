/* The NetBIOS wrapper library velknb32b.dll: the nine functions the capture
   tool links by import. Every started request completes with
   PostMessageA(window, WM_USER + 2000, ncb_command, (LPARAM)ncb), 0x20 for a
   send and 0x21 for a receive; the receiver frees it with NetNcbFree. A
   receive request owns a buffer of the requested length, and on completion
   ncb_length is the length received. */
#pragma once

#include <windows.h>
#include <nb30.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifdef VELKNB_BUILDING
#define VELKNB_API
#else
#define VELKNB_API __declspec(dllimport)
#endif

/* The completion message. */
#define WM_NETBIOS_COMPLETE (WM_USER + 2000)

VELKNB_API UCHAR WINAPI NetReset(int sessions, int names, UCHAR adapter);
/* nameField: 17 bytes, the text blank-padded to 16, NUL at 16. */
VELKNB_API void WINAPI NetCopyName(char *nameField, const char *text);
VELKNB_API UCHAR WINAPI NetAddGroupName(char *nameField, UCHAR *nameNumber, UCHAR adapter);
VELKNB_API int WINAPI NetDeleteName(char *nameField, UCHAR nameNumber, UCHAR adapter);
VELKNB_API UCHAR WINAPI NetReceiveDG(HWND window, WORD length, UCHAR nameNumber, NCB **request,
                                     UCHAR adapter);
VELKNB_API UCHAR WINAPI NetSendDG(HWND window, const void *data, WORD length,
                                  const char *destName, UCHAR nameNumber, NCB **request,
                                  UCHAR adapter);
VELKNB_API void WINAPI NetNcbFree(NCB *request);
VELKNB_API void WINAPI NetRetCode(const char *label, UCHAR code);
VELKNB_API void WINAPI NetCmdCode(const char *label, UCHAR code);

/* Our wrapper's counters, for tests and tools (not part of the nine). */
typedef struct VELKNB_STATS {
  DWORD received;  /* datagrams addressed to a name of this process */
  DWORD delivered; /* completed into a receive */
  DWORD queued;    /* waiting now for a receive */
  DWORD dropped;   /* lost because a name's queue was full, or beyond what the
                      opening again of a dead socket keeps of its backlog */
  DWORD malformed; /* payloads that were not our datagrams */
  DWORD unclaimed; /* for a name this process deleted, discarded or arriving after */
  DWORD reopened;  /* times a LANA's socket failed and was opened again */
} VELKNB_STATS;
VELKNB_API void WINAPI VelknbStats(VELKNB_STATS *stats);

/* When a completed receive's datagram reached the wrapper (UTC) and its
   number among the datagrams the LANA received for this process's names,
   counted from 1 (dropped ones included, so a gap is a loss); FALSE for a
   request that carries none. Looked up at run time by its users. */
VELKNB_API BOOL WINAPI VelknbArrival(const NCB *request, FILETIME *arrival, DWORD *sequence);

#ifdef __cplusplus
}
#endif
