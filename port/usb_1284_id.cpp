#include "usb_1284_id.h"

#include <cstring>

#include "port_failure.h"
#include "port_heap.h"
#include "port_io.h"
#include "usb_platform.h"

namespace {

unsigned WINAPI AskForId(void *parameter) {
  auto *job = static_cast<PortJob *>(parameter);
  HANDLE device = reinterpret_cast<UsbPort *>(job->port)->deviceHandle;
  DWORD returned = 0;
  if (!DeviceIoControl(device, kIoctlGet1284Id, nullptr, 0, job->data, job->count, &returned,
                       nullptr)) {
    job->error = GetLastError();
    return 0;
  }
  job->data += returned < job->count ? returned : job->count;
  job->count = 0;
  job->result = 1;
  return 0;
}

// The reply as the USB printer class gives it: a big-endian length that counts
// its own two bytes, then the id. A length beyond what came back is cut to it;
// a terminator some drivers add after the id is not part of it.
void TakeId(const BYTE *reply, DWORD returned, Ieee1284Id *answer) {
  if (returned < 2) {
    answer->outcome = IEEE1284_SHORT_REPLY;
    answer->length = returned;
    return;
  }
  DWORD length = static_cast<DWORD>(reply[0]) << 8 | reply[1];
  if (length > returned) length = returned;
  length = length < 2 ? 0 : length - 2;
  while (length > 0 && reply[2 + length - 1] == 0) --length;
  std::memcpy(answer->id, reply + 2, length);
  answer->length = length;
  answer->outcome = IEEE1284_READ;
}

}  // namespace

int PortReadIeee1284Id(Port *port, Ieee1284Id *answer) {
  if (answer == nullptr) return 0;
  answer->outcome = IEEE1284_NOT_PRINT_CLASS;
  answer->error = 0;
  answer->length = 0;
  if (port == nullptr || port->kind != PORT_KIND_USB) return 0;
  auto *usb = reinterpret_cast<UsbPort *>(port);
  if (usb->useUsbscan) return 0;
  answer->outcome = IEEE1284_NO_ANSWER;
  if (port->workerMayRun) return 0;  // an earlier call has not ended yet
  PortJob *job = PortNewJob(port, kIeee1284ReplySize);
  if (job == nullptr) {
    answer->outcome = IEEE1284_REFUSED;
    answer->error = GetLastError();
    return 0;
  }
  const BYTE *reply = job->data;
  bool inTime = false;
  if (!PortRunJob(job, AskForId, &inTime)) {
    PortNoteFailureContext("IEEE 1284 id");
    return 0;  // the job is the device hold's now
  }
  if (job->thread == 0) {
    answer->outcome = IEEE1284_REFUSED;  // no thread to ask on
    answer->error = PortLastFailure()->error;
  } else if (!inTime) {
    PortNoteFailureContext("IEEE 1284 id");
  } else if (job->result == 0) {
    answer->outcome = IEEE1284_REFUSED;
    answer->error = job->error;
  } else {
    TakeId(reply, static_cast<DWORD>(job->data - reply), answer);
  }
  PortHeapFree(job);
  return answer->outcome == IEEE1284_READ ? 1 : 0;
}
