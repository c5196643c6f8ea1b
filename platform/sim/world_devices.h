// The world's devices: printers the program can find and talk to, and faults
// at named device calls.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "win32_sim.h"

namespace world {

// What one device call gives back to the program.
struct IoOutcome {
  enum class Kind {
    done,   // the call succeeds having moved `bytes`
    fail,   // the call fails with `error`
    block,  // the call blocks until cancelled (ERROR_OPERATION_ABORTED) or stopped
  };
  Kind kind = Kind::done;
  DWORD bytes = 0;
  DWORD error = ERROR_SUCCESS;

  static IoOutcome Done(DWORD moved) { return {Kind::done, moved, ERROR_SUCCESS}; }
  static IoOutcome Fail(DWORD code) { return {Kind::fail, 0, code}; }
  static IoOutcome Block() { return {Kind::block, 0, ERROR_SUCCESS}; }
};

// The device's side of the program's I/O. Called on the program's thread that
// makes the call, one call at a time per device; it may block in the model
// (Sleep) to play a slow link. `pipe` is the still-image pipe number the handle
// was opened on, 0 for printer-class handles.
class DeviceEndpoint {
 public:
  virtual ~DeviceEndpoint() = default;
  virtual IoOutcome Write(int pipe, const BYTE *data, DWORD size) = 0;
  virtual IoOutcome Read(int pipe, BYTE *buffer, DWORD size) = 0;
  virtual IoOutcome Control(int pipe, DWORD code, const BYTE *in, DWORD inSize, BYTE *out,
                            DWORD outSize) = 0;
};

typedef unsigned DeviceId;

// A device of the USB printer class, listed by SetupAPI under the printer
// interface class.
struct PrintClassDevice {
  // The SPDRP_HARDWAREID list; empty: the device has none (the property read
  // fails with ERROR_INVALID_DATA).
  std::vector<std::string> hardwareIds;
  // Instance part of the interface path; made unique when empty.
  std::string instance;
  // The interface's device path; empty: the platform's lower-case form
  // "\\?\usb#vid_xxxx&pid_xxxx#<instance>#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}",
  // with vid and pid from the first hardware id.
  std::string interfacePath;
  // Registry "Port Number" under the interface's "Device Parameters"; -1: none.
  int portNumber = -1;
  // Null: listed but not there (CreateFileA fails with ERROR_FILE_NOT_FOUND).
  std::shared_ptr<DeviceEndpoint> endpoint;
  // The IEEE 1284 device id the printer-class driver answers
  // IOCTL_USBPRINT_GET_1284_ID with, after the two-byte length it puts first;
  // any bytes. Empty: the request goes to the endpoint like any other.
  std::string ieee1284Id;
  // Malformed data, as a broken driver or registry can give it: the hardware-id
  // list without its final empty string and its last id's terminator; the
  // interface detail's path without its terminator (the sizes reported shrink
  // to match); a hardware-id size query answered with this size, whatever the
  // list holds (0: the true size).
  bool idsUnterminated = false;
  bool pathUnterminated = false;
  DWORD reportedIdsSize = 0;
};

// A device of the still-image driver, "\\.\Usbscan<number>", with its pipes
// "\\.\Usbscan<number>\<pipe>". Its endpoint answers IOCTL_GET_DEVICE_DESCRIPTOR
// itself unless `answerDescriptor` is false.
struct StillImageDevice {
  int number = 0;
  WORD vendorId = 0;
  WORD productId = 0;
  std::vector<int> pipes = {0, 1, 2};
  bool answerDescriptor = true;
  std::shared_ptr<DeviceEndpoint> endpoint;
};

DeviceId AttachPrintClassDevice(const PrintClassDevice &device);
DeviceId AttachStillImageDevice(const StillImageDevice &device);
// Calls on handles already open to a detached device fail with
// ERROR_DEVICE_NOT_CONNECTED.
void DetachDevice(DeviceId device);
void DetachAllDevices();

// The device path the program gets for a printer-class device.
std::string InterfacePathOf(DeviceId device);
// Successful CreateFileA calls on the device so far, and handles to it still open.
unsigned OpensOf(DeviceId device);
unsigned OpenHandlesOf(DeviceId device);

// The named device calls at which faults can be injected.
enum class DeviceCall {
  SetupDiGetClassDevsA,
  SetupDiEnumDeviceInfo,
  SetupDiGetDeviceRegistryPropertyA,
  SetupDiEnumDeviceInterfaces,
  SetupDiGetDeviceInterfaceDetailA,
  RegCreateKeyA,
  RegQueryValueExA,
  CreateFileA,
  ReadFile,
  WriteFile,
  DeviceIoControl,
};

// From the `first`-th call of `call` on (1 = the next one), `count` calls in a
// row: fail with `error`; block until cancelled or stopped; block and ignore
// cancellation, as a blocked read on Wine's pseudo-terminal does, so only
// stopping the thread ends it; (ReadFile, WriteFile) move at most `maxBytes`
// and succeed; succeed reporting `maxBytes` more than the device took, as a
// broken driver can; succeed having moved nothing, without reaching the
// device, as a read of a vanished printer does under Wine; or hold the thread for `holdMs`
// of model time whatever happens (cancellation, termination, detach), as a
// driver that never looks at either can, and then fail with `error`, or with
// ERROR_SUCCESS go on to the device, still deaf to both, as a call the driver
// completes late does (a stopped thread then stops at its next model call).
struct DeviceFault {
  enum class Action { fail, block, blockUncancellable, shorten, overreport, succeedEmpty, hold };
  DeviceCall call;
  Action action = Action::fail;
  DWORD error = ERROR_GEN_FAILURE;
  DWORD maxBytes = 0;
  unsigned first = 1;
  unsigned count = 1;
  DWORD holdMs = 0;
};
void InjectDeviceFault(const DeviceFault &fault);
// Calls of `call` that reached a device (its handle valid, the device attached),
// faulted or not, since the last Reset.
unsigned DeviceCallsMade(DeviceCall call);

}  // namespace world
