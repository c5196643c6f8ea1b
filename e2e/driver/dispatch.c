/* What the updater asks of a device: opens, reads and writes (forwarded to the
 * printer by the queues), the still-image driver's descriptor request and the
 * printer-class driver's vendor and IEEE 1284 id requests. */
#include "vprinter_driver.h"
/* After the kernel headers, which these need. */
#include <usbprint.h>
#include <usbscan.h>

#include "vprinter_ioctl.h"

static NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

/* Whether the printer is plugged in: its pseudo-terminal link is there. */
static int PrinterThere(struct vp_printer *printer) {
  HANDLE pty;
  if (!NT_SUCCESS(VpOpenPath(printer->ptyPath, FILE_READ_ATTRIBUTES, FILE_OPEN, &pty))) return 0;
  ZwClose(pty);
  return 1;
}

/* Every open counts: the workers reach the printer afresh for the next request.
 * (This Wine opens the handle whatever the create returns, so an unplugged
 * printer shows in its requests, not here.) */
NTSTATUS NTAPI VpDispatchCreateClose(PDEVICE_OBJECT device, PIRP irp) {
  struct vp_device *extension = device->DeviceExtension;
  struct vp_printer *printer = extension->printer;
  if (IoGetCurrentIrpStackLocation(irp)->MajorFunction == IRP_MJ_CREATE) {
    InterlockedIncrement(&printer->generation);
    KIRQL irql;
    KeAcquireSpinLock(&printer->recordLock, &irql);
    ++printer->record.opens;
    KeReleaseSpinLock(&printer->recordLock, irql);
  }
  return Complete(irp, STATUS_SUCCESS, 0);
}

NTSTATUS NTAPI VpDispatchReadWrite(PDEVICE_OBJECT device, PIRP irp) {
  struct vp_device *extension = device->DeviceExtension;
  struct vp_printer *printer = extension->printer;
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  void *buffer =
      irp->AssociatedIrp.SystemBuffer ? irp->AssociatedIrp.SystemBuffer : irp->UserBuffer;
  if (stack->MajorFunction == IRP_MJ_WRITE)
    return VpQueueRequest(&printer->writeQueue, irp, buffer, stack->Parameters.Write.Length);
  return VpQueueRequest(&printer->readQueue, irp, NULL, stack->Parameters.Read.Length);
}

static void Count(struct vp_printer *printer, LONG *counter) {
  KIRQL irql;
  KeAcquireSpinLock(&printer->recordLock, &irql);
  ++*counter;
  KeReleaseSpinLock(&printer->recordLock, irql);
  VpWriteRecord(printer);
}

/* A request left unanswered ends only when the updater cancels it. */
static void NTAPI CancelIdRequest(PDEVICE_OBJECT device, PIRP irp) {
  (void)device;
  IoReleaseCancelSpinLock(irp->CancelIrql);
  struct vp_printer *printer = irp->Tail.Overlay.DriverContext[0];
  Count(printer, &printer->record.cancelledIdRequests);
  Complete(irp, STATUS_CANCELLED, 0);
}

/* The printer class's reply as usbprint passes it on: a big-endian length that
 * counts its own two bytes, then the id; what does not fit is cut off, as a
 * short USB answer is. */
static NTSTATUS AnswerId(struct vp_printer *printer, PIRP irp, UCHAR *buffer, ULONG outLength) {
  Count(printer, &printer->record.idRequests);
  if (printer->idNeverAnswers) {
    irp->Tail.Overlay.DriverContext[0] = printer;
    IoMarkIrpPending(irp);
    IoSetCancelRoutine(irp, CancelIdRequest);
    if (irp->Cancel && IoSetCancelRoutine(irp, NULL)) Complete(irp, STATUS_CANCELLED, 0);
    return STATUS_PENDING;
  }
  ULONG length = printer->id1284Length + 2;
  UCHAR reply[VP_ID_BYTES + 2] = {(UCHAR)(length >> 8), (UCHAR)length};
  RtlCopyMemory(reply + 2, printer->id1284, printer->id1284Length);
  ULONG n = length < outLength ? length : outLength;
  RtlCopyMemory(buffer, reply, n);
  return Complete(irp, STATUS_SUCCESS, n);
}

NTSTATUS NTAPI VpDispatchControl(PDEVICE_OBJECT device, PIRP irp) {
  struct vp_device *extension = device->DeviceExtension;
  struct vp_printer *printer = extension->printer;
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
  ULONG inLength = stack->Parameters.DeviceIoControl.InputBufferLength;
  ULONG outLength = stack->Parameters.DeviceIoControl.OutputBufferLength;
  UCHAR *buffer = irp->AssociatedIrp.SystemBuffer;

  /* An unplugged device answers nothing, so the scan passes over it. */
  if ((code == (ULONG)IOCTL_GET_DEVICE_DESCRIPTOR || code == IOCTL_USBPRINT_VENDOR_GET_COMMAND ||
       code == IOCTL_USBPRINT_GET_1284_ID) &&
      !PrinterThere(printer))
    return Complete(irp, STATUS_DEVICE_NOT_CONNECTED, 0);
  if (code == (ULONG)IOCTL_GET_DEVICE_DESCRIPTOR && printer->method == VP_STILL_IMAGE) {
    if (outLength < sizeof(DEVICE_DESCRIPTOR)) return Complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
    DEVICE_DESCRIPTOR descriptor = {printer->vendorId, printer->productId, 0x0100, 0x0409};
    RtlCopyMemory(buffer, &descriptor, sizeof descriptor);
    return Complete(irp, STATUS_SUCCESS, sizeof descriptor);
  }
  if (code == IOCTL_USBPRINT_VENDOR_GET_COMMAND && printer->method == VP_PRINT_CLASS) {
    /* The request code and the value, big-endian: only A4 with a value is a
     * request this printer knows. */
    if (inLength < 3 || buffer[0] != 0xA4) return Complete(irp, STATUS_INVALID_PARAMETER, 0);
    KIRQL irql;
    KeAcquireSpinLock(&printer->recordLock, &irql);
    printer->record.lastCheckValue = (USHORT)(buffer[1] << 8 | buffer[2]);
    ++printer->record.checks;
    KeReleaseSpinLock(&printer->recordLock, irql);
    VpWriteRecord(printer);
    ULONG n = printer->checkReplyLength < outLength ? printer->checkReplyLength : outLength;
    RtlCopyMemory(buffer, printer->checkReply, n);
    return Complete(irp, STATUS_SUCCESS, n);
  }
  if (code == IOCTL_USBPRINT_GET_1284_ID && printer->method == VP_PRINT_CLASS &&
      (printer->id1284Length || printer->idNeverAnswers))
    return AnswerId(printer, irp, buffer, outLength);
  if (code == IOCTL_VPRINTER_WHICH && outLength >= sizeof(struct vp_which)) {
    struct vp_which which = {printer->method == VP_STILL_IMAGE, printer->index, extension->pipe};
    RtlCopyMemory(buffer, &which, sizeof which);
    return Complete(irp, STATUS_SUCCESS, sizeof which);
  }
  return Complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
}
