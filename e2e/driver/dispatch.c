/* What the updater asks of a device: opens, reads and writes (forwarded to the
 * printer by the queues), the still-image driver's descriptor request and the
 * printer-class driver's vendor request. */
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

NTSTATUS NTAPI VpDispatchControl(PDEVICE_OBJECT device, PIRP irp) {
  struct vp_device *extension = device->DeviceExtension;
  struct vp_printer *printer = extension->printer;
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
  ULONG inLength = stack->Parameters.DeviceIoControl.InputBufferLength;
  ULONG outLength = stack->Parameters.DeviceIoControl.OutputBufferLength;
  UCHAR *buffer = irp->AssociatedIrp.SystemBuffer;

  /* An unplugged device answers nothing, so the scan passes over it. */
  if ((code == (ULONG)IOCTL_GET_DEVICE_DESCRIPTOR || code == IOCTL_USBPRINT_VENDOR_GET_COMMAND) &&
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
  if (code == IOCTL_VPRINTER_WHICH && outLength >= sizeof(struct vp_which)) {
    struct vp_which which = {printer->method == VP_STILL_IMAGE, printer->index, extension->pipe};
    RtlCopyMemory(buffer, &which, sizeof which);
    return Complete(irp, STATUS_SUCCESS, sizeof which);
  }
  return Complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
}
