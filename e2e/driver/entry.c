/* Loading: every configured printer gets its devices and its two workers; the
 * record file of each says the driver is ready. */
#include "vprinter_driver.h"

static struct vp_printer printers[VP_MAX_PRINTERS];

static void NTAPI Unload(PDRIVER_OBJECT driver) { (void)driver; }

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
  driver->MajorFunction[IRP_MJ_CREATE] = VpDispatchCreateClose;
  driver->MajorFunction[IRP_MJ_CLOSE] = VpDispatchCreateClose;
  driver->MajorFunction[IRP_MJ_CLEANUP] = VpDispatchCreateClose;
  driver->MajorFunction[IRP_MJ_READ] = VpDispatchReadWrite;
  driver->MajorFunction[IRP_MJ_WRITE] = VpDispatchReadWrite;
  driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = VpDispatchControl;
  driver->DriverUnload = Unload;
  for (int i = 0; i < VP_MAX_PRINTERS; ++i) {
    struct vp_printer *printer = &printers[i];
    if (!NT_SUCCESS(VpReadPrinter(registryPath, i, printer))) break;
    KeInitializeSpinLock(&printer->recordLock);
    KeInitializeMutex(&printer->recordFile, 0);
    NTSTATUS status = VpStartQueue(&printer->readQueue, printer, 1);
    if (NT_SUCCESS(status)) status = VpStartQueue(&printer->writeQueue, printer, 0);
    if (NT_SUCCESS(status)) status = VpCreateDevices(driver, printer);
    /* A printer that could not be set up says so in its record instead of
     * being ready: the staging waits for "ready":true. */
    if (!NT_SUCCESS(status)) printer->record.failedRequests = -1;
    VpWriteRecord(printer);
  }
  return STATUS_SUCCESS;
}
