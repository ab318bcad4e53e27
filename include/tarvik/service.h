/* Tarvik service libraries: the interface between the program and a
 * plug-in service.
 *
 * A service is a shared object named in the [SERVICES] section of
 * TARVIK.INI ("SRV-0=name;library path;description", then SRV-1, ...).
 * The program loads every listed library at start-up and unloads it at the
 * end. A connected station opens a service with the remote command
 * "//S name"; from then on everything the station sends on that channel
 * goes to the library (iSnd2Srv), and whatever the library hands to the
 * SendToChannel callback goes out on the channel, until the library ends
 * the service with Notify(window, TVK_NOTIFY_END) or the channel closes
 * (iCloseSrv).
 *
 * A library exports all six entry points below with C linkage; a library
 * that lacks one, or whose iVersion is outside 1..9999, is not offered.
 * All calls into the library come from the program's user-interface
 * thread. The callbacks may be called from any thread, at any time while
 * the library is loaded: the program copies the block before it returns.
 *
 * Plain C, so that a service can be written in C as well as in C++.
 */
#ifndef TARVIK_SERVICE_H
#define TARVIK_SERVICE_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Bytes a data block can carry. */
#define TVK_DATA_CAPACITY 618
/* Sizes of the text fields of the open block, with their terminating 0. */
#define TVK_CALL_SIZE 10
#define TVK_TEXT_SIZE 130
/* Notify code: the library ends the service on that channel. */
#define TVK_NOTIFY_END 90

/* A block of data on a channel: the channel window, the number of bytes
 * (0..TVK_DATA_CAPACITY) and the bytes from offset 6. */
typedef struct TvkDataBlock {
  uint32_t window; /* offset 0 */
  int16_t length;  /* offset 4 */
  uint8_t data[TVK_DATA_CAPACITY]; /* offset 6 */
} TvkDataBlock;

/* What iOpenSrv gets: the station's call, the text the library answers
 * with (its greeting when it accepts the station, its refusal otherwise,
 * zero-terminated) and the channel window, 144 bytes in all. */
typedef struct TvkOpenBlock {
  char call[TVK_CALL_SIZE]; /* offset 0, zero-terminated */
  char text[TVK_TEXT_SIZE]; /* offset 10, written by the library */
  uint32_t window;          /* offset 140 */
} TvkOpenBlock;

/* Sends data on the channel named in the block's first field. Blocks for a
 * channel that has no service open, or with a length
 * outside 1..TVK_DATA_CAPACITY, are dropped. */
typedef void (*TvkSendToChannel)(const TvkDataBlock* block);
/* With code TVK_NOTIFY_END the service on that channel ends; other codes
 * are ignored. */
typedef void (*TvkNotify)(uint32_t window, int32_t code);

/* What iInitDll gets. */
typedef struct TvkInitBlock {
  TvkSendToChannel sendToChannel;
  TvkNotify notify;
  uint8_t reserved; /* 0 */
} TvkInitBlock;

/* The six entry points, in the order the program calls them. */
void iInitDll(const TvkInitBlock* init);    /* once, right after loading */
int32_t iVersion(void);                     /* once, after iInitDll: 105 is shown as 1.05 */
int32_t iOpenSrv(TvkOpenBlock* open);       /* "//S name": non-zero when the station is accepted */
void iSnd2Srv(const TvkDataBlock* data);    /* each block the station sends while the service is open */
void iCloseSrv(uint32_t window);            /* the channel closes while the service is open */
void iExitDll(void);                        /* once, before the library is unloaded */

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
static_assert(sizeof(TvkOpenBlock) == 144, "the open block is 144 bytes");
static_assert(offsetof(TvkOpenBlock, window) == 140, "the window of the open block is at offset 140");
static_assert(offsetof(TvkDataBlock, data) == 6, "the data of a data block start at offset 6");
#endif

#endif /* TARVIK_SERVICE_H */
