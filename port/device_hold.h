// The devices that timed transfers' workers may still use after they could not
// be stopped. Such a worker may yet finish its call, and its bytes reach the
// device, not only its port: until it has ended, no port may open that device,
// or the late bytes would land inside the next transfer. The one process-wide
// record of the port layer; it locks itself.
#pragma once

#include "port_io.h"

// Takes `job`, whose worker (the handle in job->thread) could not be confirmed
// ended: its port's device is held from now on.
void DeviceHoldAdd(PortJob *job);
// The owner of `port`, whose worker could not be stopped, has given it up: the
// hold frees it once the worker has ended.
void DeviceHoldGiveUp(Port *port);
// Lifts the holds whose worker has ended and whose port was given up, freeing
// the port, the job and the thread handle. Done before every device open.
void DeviceHoldRelease(void);
// 1 when `deviceName` (an interface path or Usbscan name) is held.
int DeviceHeld(const char *deviceName);
// Notes why an open of a held device failed; returns 0.
int DeviceHeldRefusal(void);
