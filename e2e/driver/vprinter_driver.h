/* The virtual printers' kernel driver, loaded by Wine's winedevice.exe for the
 * end-to-end tests: it gives the updater the device objects of the printer-class
 * and still-image drivers, answers their requests, and forwards reads and writes
 * to a virtual printer's pseudo-terminal. Test equipment: never shipped. */
#pragma once

#include <ntddk.h>

#define VP_MAX_PRINTERS 8
#define VP_MAX_PIPES 8
#define VP_PATH_CHARS 512
#define VP_REPLY_BYTES 64
#define VP_ID_BYTES 512
#define VP_LEFTOVER_BYTES 4096

/* What the updater's pipe or interface handle reaches. */
enum vp_method { VP_PRINT_CLASS, VP_STILL_IMAGE };

struct vp_printer;

/* A read or write waiting for, or being served by, its queue's worker. Its IRP
 * is NULL once the request was cancelled, and the worker then must not touch
 * it. The worker and the cancel routine each hold the record (`owners`); the
 * last to let go frees it. */
struct vp_request {
  LIST_ENTRY link;
  PIRP irp;
  LONG owners;
  ULONG length;
  UCHAR data[1];
};

/* One direction of one printer: a worker thread with its own handle on the
 * pseudo-terminal, so that a read blocked for a reply never holds up a write. */
struct vp_queue {
  struct vp_printer *printer;
  int reads;
  KSPIN_LOCK lock;
  LIST_ENTRY pending;
  KEVENT wake;
  HANDLE pty;
  LONG ptyGeneration;
  /* Bytes a cancelled read had already taken: the next read gets them first. */
  UCHAR leftover[VP_LEFTOVER_BYTES];
  ULONG leftoverCount;
};

struct vp_record {
  LONG cancelledReads;
  LONG cancelledWrites;
  LONGLONG lastCancelMs;
  LONGLONG lastWriteDoneMs;
  LONGLONG bytesWritten;
  LONG opens;
  LONG failedRequests;
  LONG checks;
  USHORT lastCheckValue;
  LONG emptyReads;
  LONG idRequests;
  LONG cancelledIdRequests;
};

struct vp_printer {
  int index;
  enum vp_method method;
  WCHAR linkName[VP_PATH_CHARS];   /* under \??\: UsbscanN, or the interface path */
  WCHAR ptyPath[VP_PATH_CHARS];    /* NT path of the printer's pseudo-terminal link */
  WCHAR recordPath[VP_PATH_CHARS]; /* NT path of the record file */
  USHORT vendorId, productId;
  int pipes[VP_MAX_PIPES];
  int pipeCount;
  UCHAR checkReply[VP_REPLY_BYTES];
  ULONG checkReplyLength;
  /* The IEEE 1284 id the printer-class request answers with (after the length
   * the class puts first); none configured: the request is not known. With
   * `idNeverAnswers` it is never answered at all, only completed when cancelled. */
  UCHAR id1284[VP_ID_BYTES];
  ULONG id1284Length;
  ULONG idNeverAnswers;
  /* Once the printer is gone, reads succeed with nothing instead of failing, as
   * a printer-class handle whose device vanished may answer. */
  ULONG emptyReadsWhenGone;
  /* Bumped by every open of a handle: the workers reopen the pseudo-terminal
   * before their next request, so a printer restarted on the same link (as
   * after a power cycle) is reached again. */
  LONG generation;
  struct vp_queue readQueue, writeQueue;
  KSPIN_LOCK recordLock;
  struct vp_record record;
  /* One writer of the record file at a time: workers and cancels write it. */
  KMUTEX recordFile;
  HANDLE directory;
};

/* What one device object stands for: a printer and, for the still-image
 * method, one of its pipes. */
struct vp_device {
  struct vp_printer *printer;
  int pipe;
};

/* Configuration under the service key: Printer0, Printer1, ... */
NTSTATUS VpReadPrinter(PUNICODE_STRING serviceKey, int index, struct vp_printer *printer);

/* Device objects and links for one printer. */
NTSTATUS VpCreateDevices(PDRIVER_OBJECT driver, struct vp_printer *printer);

/* Queues and their workers. */
NTSTATUS VpStartQueue(struct vp_queue *queue, struct vp_printer *printer, int reads);
NTSTATUS VpQueueRequest(struct vp_queue *queue, PIRP irp, const void *data, ULONG length);

/* The record file the tests read. */
void VpWriteRecord(struct vp_printer *printer);
LONGLONG VpUnixMs(void);
NTSTATUS VpOpenPath(const WCHAR *path, ACCESS_MASK access, ULONG disposition, HANDLE *handle);

/* IRP dispatch. */
NTSTATUS NTAPI VpDispatchCreateClose(PDEVICE_OBJECT device, PIRP irp);
NTSTATUS NTAPI VpDispatchReadWrite(PDEVICE_OBJECT device, PIRP irp);
NTSTATUS NTAPI VpDispatchControl(PDEVICE_OBJECT device, PIRP irp);
