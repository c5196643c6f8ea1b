/* Reads and writes are served by a worker per direction, so that the thread
 * that dispatches requests never blocks on the printer and a request stays
 * cancellable while the printer holds it. A cancelled request completes at once
 * with STATUS_CANCELLED; its worker, still blocked on the pseudo-terminal, drops
 * it when the printer lets go (a read keeps what it got for the next read), or,
 * for a read, at the end of its slice of waiting. */
#include "vprinter_driver.h"

#include <ntddser.h>

#define VP_POOL_TAG 0x72705676 /* "vVpr" */

/* The longest one read of the pseudo-terminal waits for a byte. Under Wine a
 * read of a pseudo-terminal whose printer went away while the read waited
 * never returns (it loops on the hang-up), so a read waits in slices, and
 * between them the worker looks whether its request still stands and whether
 * the printer is still there. */
#define VP_READ_SLICE_MS 100

static void LetGo(struct vp_request *request) {
  if (InterlockedDecrement(&request->owners) == 0) ExFreePoolWithTag(request, VP_POOL_TAG);
}

static void NoteCancel(struct vp_printer *printer, int reads) {
  KIRQL irql;
  KeAcquireSpinLock(&printer->recordLock, &irql);
  if (reads)
    ++printer->record.cancelledReads;
  else
    ++printer->record.cancelledWrites;
  printer->record.lastCancelMs = VpUnixMs();
  KeReleaseSpinLock(&printer->recordLock, irql);
  VpWriteRecord(printer);
}

static void NTAPI Cancel(PDEVICE_OBJECT device, PIRP irp) {
  (void)device;
  IoReleaseCancelSpinLock(irp->CancelIrql);
  struct vp_request *request = irp->Tail.Overlay.DriverContext[0];
  struct vp_queue *queue = irp->Tail.Overlay.DriverContext[1];
  KIRQL irql;
  KeAcquireSpinLock(&queue->lock, &irql);
  request->irp = NULL;
  KeReleaseSpinLock(&queue->lock, irql);
  LetGo(request);
  NoteCancel(queue->printer, queue->reads);
  irp->IoStatus.Status = STATUS_CANCELLED;
  irp->IoStatus.Information = 0;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
}

/* The IRP's own buffer: the system buffer of buffered I/O. */
static void *IrpBuffer(PIRP irp) {
  return irp->AssociatedIrp.SystemBuffer ? irp->AssociatedIrp.SystemBuffer : irp->UserBuffer;
}

NTSTATUS VpQueueRequest(struct vp_queue *queue, PIRP irp, const void *data, ULONG length) {
  struct vp_request *request = ExAllocatePoolWithTag(
      NonPagedPool, FIELD_OFFSET(struct vp_request, data) + (length ? length : 1), VP_POOL_TAG);
  if (!request) {
    irp->IoStatus.Status = STATUS_INSUFFICIENT_RESOURCES;
    irp->IoStatus.Information = 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return STATUS_INSUFFICIENT_RESOURCES;
  }
  request->irp = irp;
  request->owners = 2;
  request->length = length;
  if (data && length) RtlCopyMemory(request->data, data, length);
  irp->Tail.Overlay.DriverContext[0] = request;
  irp->Tail.Overlay.DriverContext[1] = queue;
  IoMarkIrpPending(irp);
  KIRQL irql;
  KeAcquireSpinLock(&queue->lock, &irql);
  IoSetCancelRoutine(irp, Cancel);
  if (irp->Cancel && IoSetCancelRoutine(irp, NULL)) {
    KeReleaseSpinLock(&queue->lock, irql);
    ExFreePoolWithTag(request, VP_POOL_TAG);
    irp->IoStatus.Status = STATUS_CANCELLED;
    irp->IoStatus.Information = 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return STATUS_PENDING;
  }
  InsertTailList(&queue->pending, &request->link);
  KeReleaseSpinLock(&queue->lock, irql);
  KeSetEvent(&queue->wake, IO_NO_INCREMENT, FALSE);
  return STATUS_PENDING;
}

static struct vp_request *Next(struct vp_queue *queue) {
  struct vp_request *request = NULL;
  KIRQL irql;
  KeAcquireSpinLock(&queue->lock, &irql);
  if (!IsListEmpty(&queue->pending))
    request = CONTAINING_RECORD(RemoveHeadList(&queue->pending), struct vp_request, link);
  KeReleaseSpinLock(&queue->lock, irql);
  return request;
}

/* The request's IRP if the worker may still complete it (it is then no longer
 * cancellable), NULL if it was cancelled. */
static PIRP Claim(struct vp_queue *queue, struct vp_request *request) {
  KIRQL irql;
  KeAcquireSpinLock(&queue->lock, &irql);
  PIRP irp = request->irp;
  if (irp && !IoSetCancelRoutine(irp, NULL)) irp = NULL;
  if (irp) request->irp = NULL;
  KeReleaseSpinLock(&queue->lock, irql);
  return irp;
}

/* The pseudo-terminal as it is now: a handle opened before the latest open of
 * the device may reach a printer that has since been restarted. */
static HANDLE Pty(struct vp_queue *queue) {
  LONG generation = queue->printer->generation;
  if (queue->pty && queue->ptyGeneration != generation) {
    ZwClose(queue->pty);
    queue->pty = NULL;
  }
  if (!queue->pty &&
      NT_SUCCESS(VpOpenPath(queue->printer->ptyPath, queue->reads ? GENERIC_READ : GENERIC_WRITE,
                            FILE_OPEN, &queue->pty))) {
    queue->ptyGeneration = generation;
    if (queue->reads) {
      /* Return with the first bytes that arrive, or with none after a slice. */
      SERIAL_TIMEOUTS slice = {MAXULONG, MAXULONG, VP_READ_SLICE_MS, 0, 0};
      IO_STATUS_BLOCK io;
      ZwDeviceIoControlFile(queue->pty, NULL, NULL, NULL, &io, IOCTL_SERIAL_SET_TIMEOUTS, &slice,
                            sizeof slice, NULL, 0);
    }
  }
  return queue->pty;
}

/* The printer's link still leads somewhere: it has not vanished. */
static int Present(struct vp_printer *printer) {
  HANDLE probe;
  if (!NT_SUCCESS(VpOpenPath(printer->ptyPath, GENERIC_READ, FILE_OPEN, &probe))) return 0;
  ZwClose(probe);
  return 1;
}

/* Nobody cancelled the request yet. */
static int Wanted(struct vp_queue *queue, struct vp_request *request) {
  KIRQL irql;
  KeAcquireSpinLock(&queue->lock, &irql);
  int wanted = request->irp != NULL;
  KeReleaseSpinLock(&queue->lock, irql);
  return wanted;
}

/* The printer is gone: the next request opens the link afresh. */
static void Forget(struct vp_queue *queue) {
  if (queue->pty) ZwClose(queue->pty);
  queue->pty = NULL;
  queue->leftoverCount = 0;
}

static NTSTATUS Lost(struct vp_queue *queue) {
  Forget(queue);
  KIRQL irql;
  KeAcquireSpinLock(&queue->printer->recordLock, &irql);
  ++queue->printer->record.failedRequests;
  KeReleaseSpinLock(&queue->printer->recordLock, irql);
  VpWriteRecord(queue->printer);
  return STATUS_DEVICE_NOT_CONNECTED;
}

/* The printer is gone, and reads say so by delivering nothing. Counted, and the
 * record rewritten now and then: a reader that asks again at once would
 * otherwise rewrite it millions of times. */
static NTSTATUS Empty(struct vp_queue *queue) {
  Forget(queue);
  KIRQL irql;
  KeAcquireSpinLock(&queue->printer->recordLock, &irql);
  LONG count = ++queue->printer->record.emptyReads;
  KeReleaseSpinLock(&queue->printer->recordLock, irql);
  if (count < 16 || count % 64 == 0) VpWriteRecord(queue->printer);
  return STATUS_SUCCESS;
}

static NTSTATUS Gone(struct vp_queue *queue) {
  return queue->printer->emptyReadsWhenGone ? Empty(queue) : Lost(queue);
}

static NTSTATUS WriteAll(struct vp_queue *queue, struct vp_request *request) {
  HANDLE pty = Pty(queue);
  if (!pty) return Lost(queue);
  ULONG done = 0;
  while (done < request->length) {
    IO_STATUS_BLOCK io;
    NTSTATUS status = ZwWriteFile(pty, NULL, NULL, NULL, &io, request->data + done,
                                  request->length - done, NULL, NULL);
    if (!NT_SUCCESS(status) || io.Information == 0) return Lost(queue);
    done += (ULONG)io.Information;
  }
  KIRQL irql;
  KeAcquireSpinLock(&queue->printer->recordLock, &irql);
  queue->printer->record.bytesWritten += done;
  KeReleaseSpinLock(&queue->printer->recordLock, irql);
  return STATUS_SUCCESS;
}

static void ServeWrite(struct vp_queue *queue, struct vp_request *request) {
  NTSTATUS status = request->irp ? WriteAll(queue, request) : STATUS_CANCELLED;
  PIRP irp = Claim(queue, request);
  if (irp) {
    if (NT_SUCCESS(status)) {
      KIRQL irql;
      KeAcquireSpinLock(&queue->printer->recordLock, &irql);
      queue->printer->record.lastWriteDoneMs = VpUnixMs();
      KeReleaseSpinLock(&queue->printer->recordLock, irql);
    }
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = NT_SUCCESS(status) ? request->length : 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    ExFreePoolWithTag(request, VP_POOL_TAG);
    if (NT_SUCCESS(status)) VpWriteRecord(queue->printer);
    return;
  }
  LetGo(request);
}

/* At most the request's length, from what a cancelled read left, else from the
 * printer: what has arrived, at least a byte, unless the request was cancelled
 * or the printer vanished while it waited. */
static NTSTATUS ReadSome(struct vp_queue *queue, struct vp_request *request, ULONG *count) {
  *count = 0;
  if (request->length == 0) return STATUS_SUCCESS;
  if (queue->leftoverCount) {
    ULONG n = queue->leftoverCount < request->length ? queue->leftoverCount : request->length;
    RtlCopyMemory(request->data, queue->leftover, n);
    RtlMoveMemory(queue->leftover, queue->leftover + n, queue->leftoverCount - n);
    queue->leftoverCount -= n;
    *count = n;
    return STATUS_SUCCESS;
  }
  for (;;) {
    HANDLE pty = Pty(queue);
    if (!pty) return Gone(queue);
    IO_STATUS_BLOCK io;
    NTSTATUS status =
        ZwReadFile(pty, NULL, NULL, NULL, &io, request->data, request->length, NULL, NULL);
    if (!NT_SUCCESS(status)) return Gone(queue);
    if (io.Information) {
      *count = (ULONG)io.Information;
      return STATUS_SUCCESS;
    }
    if (!Wanted(queue, request)) return STATUS_CANCELLED;
    if (!Present(queue->printer)) return Gone(queue);
  }
}

static void ServeRead(struct vp_queue *queue, struct vp_request *request) {
  ULONG count = 0;
  NTSTATUS status = request->irp ? ReadSome(queue, request, &count) : STATUS_CANCELLED;
  PIRP irp = Claim(queue, request);
  if (irp) {
    if (count) RtlCopyMemory(IrpBuffer(irp), request->data, count);
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = count;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    ExFreePoolWithTag(request, VP_POOL_TAG);
    return;
  }
  /* Nobody waits for these bytes any more, but they came from the printer: the
   * next read gets them. */
  ULONG room = VP_LEFTOVER_BYTES - queue->leftoverCount;
  if (count > room) count = room;
  RtlCopyMemory(queue->leftover + queue->leftoverCount, request->data, count);
  queue->leftoverCount += count;
  LetGo(request);
}

static void NTAPI Worker(void *context) {
  struct vp_queue *queue = context;
  for (;;) {
    KeWaitForSingleObject(&queue->wake, Executive, KernelMode, FALSE, NULL);
    struct vp_request *request;
    while ((request = Next(queue)) != NULL) {
      if (queue->reads)
        ServeRead(queue, request);
      else
        ServeWrite(queue, request);
    }
  }
}

NTSTATUS VpStartQueue(struct vp_queue *queue, struct vp_printer *printer, int reads) {
  queue->printer = printer;
  queue->reads = reads;
  KeInitializeSpinLock(&queue->lock);
  InitializeListHead(&queue->pending);
  KeInitializeEvent(&queue->wake, SynchronizationEvent, FALSE);
  HANDLE thread;
  NTSTATUS status =
      PsCreateSystemThread(&thread, THREAD_ALL_ACCESS, NULL, NULL, NULL, Worker, queue);
  if (NT_SUCCESS(status)) ZwClose(thread);
  return status;
}
