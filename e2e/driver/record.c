/* The record the tests read: a small JSON file rewritten whole after every
 * change worth seeing (ready, a cancelled request, a failed one). */
#include <ntifs.h>
#include <stdio.h>

#include "vprinter_driver.h"

/* 100 ns ticks from 1601 to 1970. */
#define VP_UNIX_EPOCH 116444736000000000LL

LONGLONG VpUnixMs(void) {
  LARGE_INTEGER now;
  KeQuerySystemTime(&now);
  return (now.QuadPart - VP_UNIX_EPOCH) / 10000;
}

NTSTATUS VpOpenPath(const WCHAR *path, ACCESS_MASK access, ULONG disposition, HANDLE *handle) {
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, path);
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, NULL,
                             NULL);
  IO_STATUS_BLOCK io;
  return ZwCreateFile(handle, access | SYNCHRONIZE, &attributes, &io, NULL, FILE_ATTRIBUTE_NORMAL,
                      FILE_SHARE_READ | FILE_SHARE_WRITE, disposition,
                      FILE_SYNCHRONOUS_IO_NONALERT | FILE_NON_DIRECTORY_FILE, NULL, 0);
}

void VpWriteRecord(struct vp_printer *printer) {
  struct vp_record copy;
  KIRQL irql;
  KeAcquireSpinLock(&printer->recordLock, &irql);
  copy = printer->record;
  KeReleaseSpinLock(&printer->recordLock, irql);
  char text[512];
  int length = _snprintf(
      text, sizeof text,
      "{\"ready\":%s,\"cancelledReads\":%ld,\"cancelledWrites\":%ld,\"lastCancelMs\":%I64d,"
      "\"lastWriteDoneMs\":%I64d,\"bytesWritten\":%I64d,\"opens\":%ld,\"failedRequests\":%ld,"
      "\"checks\":%ld,\"lastCheckValue\":%u,\"emptyReads\":%ld,\"idRequests\":%ld,"
      "\"cancelledIdRequests\":%ld}\n",
      copy.failedRequests < 0 ? "false" : "true", copy.cancelledReads, copy.cancelledWrites,
      copy.lastCancelMs, copy.lastWriteDoneMs, copy.bytesWritten, copy.opens,
      copy.failedRequests < 0 ? 0L : copy.failedRequests, copy.checks,
      (unsigned)copy.lastCheckValue, copy.emptyReads, copy.idRequests, copy.cancelledIdRequests);
  if (length < 0) return;
  /* Written under a second name and renamed over the first: a reader never
   * sees half a record. */
  WCHAR scratch[VP_PATH_CHARS + 8];
  UNICODE_STRING scratchName = {0, sizeof scratch, scratch};
  RtlAppendUnicodeToString(&scratchName, printer->recordPath);
  RtlAppendUnicodeToString(&scratchName, L".new");
  KeWaitForSingleObject(&printer->recordFile, Executive, KernelMode, FALSE, NULL);
  HANDLE file;
  if (!NT_SUCCESS(VpOpenPath(scratch, GENERIC_WRITE | DELETE, FILE_OVERWRITE_IF, &file))) {
    KeReleaseMutex(&printer->recordFile, FALSE);
    return;
  }
  IO_STATUS_BLOCK io;
  ZwWriteFile(file, NULL, NULL, NULL, &io, text, (ULONG)length, NULL, NULL);
  UCHAR renameBuffer[sizeof(FILE_RENAME_INFORMATION) + VP_PATH_CHARS * sizeof(WCHAR)];
  FILE_RENAME_INFORMATION *rename = (FILE_RENAME_INFORMATION *)renameBuffer;
  RtlZeroMemory(renameBuffer, sizeof renameBuffer);
  rename->ReplaceIfExists = TRUE;
  UNICODE_STRING target;
  RtlInitUnicodeString(&target, printer->recordPath);
  rename->FileNameLength = target.Length;
  RtlCopyMemory(rename->FileName, target.Buffer, target.Length);
  ZwSetInformationFile(file, &io, rename, sizeof renameBuffer, FileRenameInformation);
  ZwClose(file);
  KeReleaseMutex(&printer->recordFile, FALSE);
}
