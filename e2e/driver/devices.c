/* The names the updater opens: the printer-class interface path as a link to
 * one device, or a still-image device as an object directory \??\UsbscanN
 * holding one link per pipe (a Wine device takes no path after its name, so
 * "\\.\UsbscanN\0" must name a link of its own). */
#include "vprinter_driver.h"

static NTSTATUS AppendNumber(PUNICODE_STRING text, int value) {
  WCHAR digits[12];
  UNICODE_STRING number = {0, sizeof digits, digits};
  NTSTATUS status = RtlIntegerToUnicodeString((ULONG)value, 10, &number);
  return NT_SUCCESS(status) ? RtlAppendUnicodeStringToString(text, &number) : status;
}

/* \Device\VPrinter<index>[P<pipe>] */
static NTSTATUS DeviceName(PUNICODE_STRING name, const struct vp_printer *printer, int pipe) {
  NTSTATUS status = RtlAppendUnicodeToString(name, L"\\Device\\VPrinter");
  if (NT_SUCCESS(status)) status = AppendNumber(name, printer->index);
  if (NT_SUCCESS(status) && pipe >= 0) status = RtlAppendUnicodeToString(name, L"P");
  if (NT_SUCCESS(status) && pipe >= 0) status = AppendNumber(name, pipe);
  return status;
}

/* \??\<link>[\<pipe>] */
static NTSTATUS LinkName(PUNICODE_STRING name, const struct vp_printer *printer, int pipe) {
  NTSTATUS status = RtlAppendUnicodeToString(name, L"\\??\\");
  if (NT_SUCCESS(status)) status = RtlAppendUnicodeToString(name, printer->linkName);
  if (NT_SUCCESS(status) && pipe >= 0) status = RtlAppendUnicodeToString(name, L"\\");
  if (NT_SUCCESS(status) && pipe >= 0) status = AppendNumber(name, pipe);
  return status;
}

static NTSTATUS CreateDevice(PDRIVER_OBJECT driver, struct vp_printer *printer, int pipe) {
  WCHAR deviceBuffer[VP_PATH_CHARS], linkBuffer[VP_PATH_CHARS];
  UNICODE_STRING deviceName = {0, sizeof deviceBuffer, deviceBuffer};
  UNICODE_STRING linkName = {0, sizeof linkBuffer, linkBuffer};
  NTSTATUS status = DeviceName(&deviceName, printer, pipe);
  if (NT_SUCCESS(status)) status = LinkName(&linkName, printer, pipe);
  if (!NT_SUCCESS(status)) return status;
  PDEVICE_OBJECT device;
  status = IoCreateDevice(driver, sizeof(struct vp_device), &deviceName, FILE_DEVICE_UNKNOWN, 0,
                          FALSE, &device);
  if (!NT_SUCCESS(status)) return status;
  struct vp_device *extension = device->DeviceExtension;
  extension->printer = printer;
  extension->pipe = pipe;
  device->Flags |= DO_BUFFERED_IO;
  device->Flags &= ~DO_DEVICE_INITIALIZING;
  return IoCreateSymbolicLink(&linkName, &deviceName);
}

NTSTATUS VpCreateDevices(PDRIVER_OBJECT driver, struct vp_printer *printer) {
  if (printer->method == VP_PRINT_CLASS) return CreateDevice(driver, printer, -1);
  WCHAR directoryBuffer[VP_PATH_CHARS];
  UNICODE_STRING directoryName = {0, sizeof directoryBuffer, directoryBuffer};
  NTSTATUS status = LinkName(&directoryName, printer, -1);
  if (!NT_SUCCESS(status)) return status;
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &directoryName,
                             OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE | OBJ_PERMANENT, NULL, NULL);
  status = ZwCreateDirectoryObject(&printer->directory, DIRECTORY_ALL_ACCESS, &attributes);
  for (int i = 0; NT_SUCCESS(status) && i < printer->pipeCount; ++i)
    status = CreateDevice(driver, printer, printer->pipes[i]);
  return status;
}
