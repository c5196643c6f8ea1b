/* The printers the staging asked for: one key per printer under the service's
 * key, written before the driver starts. */
#include "vprinter_driver.h"

static NTSTATUS OpenPrinterKey(PUNICODE_STRING serviceKey, int index, HANDLE *key) {
  WCHAR buffer[VP_PATH_CHARS];
  UNICODE_STRING name = {0, sizeof buffer, buffer};
  RtlCopyUnicodeString(&name, serviceKey);
  NTSTATUS status = RtlAppendUnicodeToString(&name, L"\\Printer");
  if (!NT_SUCCESS(status)) return status;
  UNICODE_STRING number;
  WCHAR digits[12];
  number.Buffer = digits;
  number.Length = 0;
  number.MaximumLength = sizeof digits;
  RtlIntegerToUnicodeString((ULONG)index, 10, &number);
  status = RtlAppendUnicodeStringToString(&name, &number);
  if (!NT_SUCCESS(status)) return status;
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, NULL,
                             NULL);
  return ZwOpenKey(key, KEY_READ, &attributes);
}

/* One value's data into `out` (at most `size` bytes); its type and length. */
static NTSTATUS QueryValue(HANDLE key, const WCHAR *valueName, void *out, ULONG size, ULONG *type,
                           ULONG *length) {
  UCHAR buffer[sizeof(KEY_VALUE_PARTIAL_INFORMATION) + VP_PATH_CHARS * sizeof(WCHAR)];
  KEY_VALUE_PARTIAL_INFORMATION *info = (KEY_VALUE_PARTIAL_INFORMATION *)buffer;
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, valueName);
  ULONG returned = 0;
  NTSTATUS status =
      ZwQueryValueKey(key, &name, KeyValuePartialInformation, buffer, sizeof buffer, &returned);
  if (!NT_SUCCESS(status)) return status;
  if (info->DataLength > size) return STATUS_BUFFER_OVERFLOW;
  RtlCopyMemory(out, info->Data, info->DataLength);
  *type = info->Type;
  *length = info->DataLength;
  return STATUS_SUCCESS;
}

static NTSTATUS QueryText(HANDLE key, const WCHAR *valueName, WCHAR *out) {
  ULONG type = 0, length = 0;
  NTSTATUS status =
      QueryValue(key, valueName, out, (VP_PATH_CHARS - 1) * sizeof(WCHAR), &type, &length);
  if (!NT_SUCCESS(status)) return status;
  if (type != REG_SZ) return STATUS_OBJECT_TYPE_MISMATCH;
  out[length / sizeof(WCHAR)] = 0;
  return STATUS_SUCCESS;
}

static NTSTATUS QueryNumber(HANDLE key, const WCHAR *valueName, ULONG *out) {
  ULONG type = 0, length = 0;
  NTSTATUS status = QueryValue(key, valueName, out, sizeof *out, &type, &length);
  if (!NT_SUCCESS(status)) return status;
  return type == REG_DWORD && length == sizeof *out ? STATUS_SUCCESS : STATUS_OBJECT_TYPE_MISMATCH;
}

/* "0 1 3": the pipe numbers whose links the still-image device gets. */
static NTSTATUS ParsePipes(const WCHAR *text, struct vp_printer *printer) {
  printer->pipeCount = 0;
  const WCHAR *at = text;
  while (*at) {
    while (*at == L' ') ++at;
    if (!*at) break;
    if (*at < L'0' || *at > L'9' || printer->pipeCount == VP_MAX_PIPES)
      return STATUS_INVALID_PARAMETER;
    int pipe = 0;
    while (*at >= L'0' && *at <= L'9') pipe = pipe * 10 + (*at++ - L'0');
    printer->pipes[printer->pipeCount++] = pipe;
  }
  return STATUS_SUCCESS;
}

NTSTATUS VpReadPrinter(PUNICODE_STRING serviceKey, int index, struct vp_printer *printer) {
  HANDLE key;
  NTSTATUS status = OpenPrinterKey(serviceKey, index, &key);
  if (!NT_SUCCESS(status)) return status;
  WCHAR text[VP_PATH_CHARS];
  ULONG number = 0, type = 0;
  printer->index = index;
  if (NT_SUCCESS(status)) status = QueryText(key, L"Method", text);
  if (NT_SUCCESS(status)) {
    UNICODE_STRING method, stillImage;
    RtlInitUnicodeString(&method, text);
    RtlInitUnicodeString(&stillImage, L"still-image");
    printer->method =
        RtlEqualUnicodeString(&method, &stillImage, TRUE) ? VP_STILL_IMAGE : VP_PRINT_CLASS;
  }
  if (NT_SUCCESS(status)) status = QueryText(key, L"Link", printer->linkName);
  if (NT_SUCCESS(status)) status = QueryText(key, L"Pty", printer->ptyPath);
  if (NT_SUCCESS(status)) status = QueryText(key, L"Record", printer->recordPath);
  if (NT_SUCCESS(status)) status = QueryNumber(key, L"VendorId", &number);
  printer->vendorId = (USHORT)number;
  if (NT_SUCCESS(status)) status = QueryNumber(key, L"ProductId", &number);
  printer->productId = (USHORT)number;
  if (NT_SUCCESS(status) && printer->method == VP_STILL_IMAGE) {
    status = QueryText(key, L"Pipes", text);
    if (NT_SUCCESS(status)) status = ParsePipes(text, printer);
  }
  if (!NT_SUCCESS(QueryNumber(key, L"EmptyReadsWhenGone", &printer->emptyReadsWhenGone)))
    printer->emptyReadsWhenGone = 0;
  /* No reply configured: the printer answers the check with nothing. */
  if (NT_SUCCESS(status) &&
      !NT_SUCCESS(QueryValue(key, L"CheckReply", printer->checkReply, sizeof printer->checkReply,
                             &type, &printer->checkReplyLength)))
    printer->checkReplyLength = 0;
  if (NT_SUCCESS(status) &&
      !NT_SUCCESS(QueryValue(key, L"Id1284", printer->id1284, sizeof printer->id1284, &type,
                             &printer->id1284Length)))
    printer->id1284Length = 0;
  if (!NT_SUCCESS(QueryNumber(key, L"Id1284NeverAnswers", &printer->idNeverAnswers)))
    printer->idNeverAnswers = 0;
  ZwClose(key);
  return status;
}
