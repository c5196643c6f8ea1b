// The model's devices as the program meets them: SetupAPI's enumeration and
// its two-call size queries, the registry's port numbers, GUID text, and device
// files whose calls can be shortened, blocked, cancelled or cut off by a detach.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim_test.h"
#include "world_devices.h"

namespace {

const GUID kUsbPrint = {
    0x28D78FAD, 0x5A12, 0x11D1, {0xAE, 0x5B, 0x00, 0x00, 0xF8, 0x03, 0xA8, 0xC2}};
using Action = world::DeviceFault::Action;
using world::DeviceCall;

// Takes every write, serves reads from what the test queued, answers a control
// request with its code. With nothing queued a read blocks, or stalls inside
// the endpoint as a slow link would; the test hears of it first.
class Printer : public world::DeviceEndpoint {
 public:
  world::IoOutcome Write(int pipe, const BYTE *data, DWORD size) override {
    std::lock_guard<std::mutex> guard(lock_);
    written_ +=
        std::to_string(pipe) + ":" + std::string(reinterpret_cast<const char *>(data), size);
    return world::IoOutcome::Done(size);
  }
  world::IoOutcome Read(int, BYTE *buffer, DWORD size) override {
    std::unique_lock<std::mutex> guard(lock_);
    if (toRead_.empty()) {
      if (!told_) waiting_.set_value();
      told_ = true;
      if (!stall_) return world::IoOutcome::Block();
      guard.unlock();
      Sleep(INFINITE);
    }
    DWORD moved = std::min<DWORD>(size, DWORD(toRead_.size()));
    toRead_.copy(reinterpret_cast<char *>(buffer), moved);
    toRead_.erase(0, moved);
    return world::IoOutcome::Done(moved);
  }
  world::IoOutcome Control(int, DWORD code, const BYTE *, DWORD, BYTE *out, DWORD) override {
    for (int i = 0; i < 4; ++i) out[i] = BYTE(code >> (8 * i));
    return world::IoOutcome::Done(4);
  }

  void Queue(const std::string &bytes) {
    std::lock_guard<std::mutex> guard(lock_);
    toRead_ += bytes;
  }
  std::string Written() {
    std::lock_guard<std::mutex> guard(lock_);
    return written_;
  }
  // Ready once a read finds nothing to read; `stall`: that read then sleeps
  // inside the endpoint instead of blocking.
  std::future<void> Waiting(bool stall) {
    std::lock_guard<std::mutex> guard(lock_);
    stall_ = stall;
    return waiting_.get_future();
  }

 private:
  std::mutex lock_;
  std::string written_, toRead_;
  std::promise<void> waiting_;
  bool told_ = false, stall_ = false;
};

world::PrintClassDevice PrintClass(std::vector<std::string> ids, int port = -1,
                                   std::shared_ptr<world::DeviceEndpoint> endpoint = nullptr) {
  world::PrintClassDevice device;
  device.hardwareIds = std::move(ids);
  device.portNumber = port;
  device.endpoint = std::move(endpoint);
  return device;
}

// The printer and the handles belong to the fixture, so they outlive every
// thread a test starts.
class DevicesTest : public SimTest {
 protected:
  void TearDown() override {
    if (set != INVALID_HANDLE_VALUE) SetupDiDestroyDeviceInfoList(set);
    for (HANDLE file : files_) CloseHandle(file);
    SimTest::TearDown();
  }

  void OpenSet() {
    set = SetupDiGetClassDevsA(&kUsbPrint, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    ASSERT_NE(set, INVALID_HANDLE_VALUE);
  }
  SP_DEVINFO_DATA Device(DWORD index) {
    SP_DEVINFO_DATA device{sizeof device, {}, 0, 0};
    EXPECT_TRUE(SetupDiEnumDeviceInfo(set, index, &device));
    return device;
  }
  // The device path of an interface, through the two-call detail query.
  std::string PathOf(SP_DEVICE_INTERFACE_DATA &interfaceData) {
    DWORD required = 0;
    EXPECT_FALSE(
        SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, nullptr, 0, &required, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    std::vector<char> bytes(required);
    auto *detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(bytes.data());
    detail->cbSize = sizeof *detail;
    EXPECT_TRUE(
        SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, detail, required, nullptr, nullptr));
    return detail->DevicePath;
  }

  HANDLE Open(const std::string &path) {
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_SYSTEM, nullptr);
    if (file != INVALID_HANDLE_VALUE) files_.push_back(file);
    return file;
  }
  void Close(HANDLE file) {
    files_.erase(std::find(files_.begin(), files_.end(), file));
    EXPECT_TRUE(CloseHandle(file));
  }

  HDEVINFO set = INVALID_HANDLE_VALUE;
  SP_DEVICE_INTERFACE_DATA interfaceData{sizeof interfaceData, {}, 0, 0};
  std::shared_ptr<Printer> printer = std::make_shared<Printer>();

 private:
  std::vector<HANDLE> files_;
};

TEST_F(DevicesTest, SetIsASnapshotOfThePrintersInAttachOrder) {
  world::DeviceId first = world::AttachPrintClassDevice(PrintClass({"USB\\VID_7C5E&PID_4A86"}));
  world::AttachStillImageDevice({});
  world::DeviceId second = world::AttachPrintClassDevice(PrintClass({}));
  size_t handles = world::LiveHandles();
  OpenSet();
  EXPECT_EQ(world::LiveHandles(), handles + 1);
  world::AttachPrintClassDevice(PrintClass({"USB\\VID_1111&PID_2222"}));

  EXPECT_NE(Device(0).DevInst, Device(1).DevInst);
  SP_DEVINFO_DATA device{sizeof device, {}, 0, 0};
  EXPECT_FALSE(SetupDiEnumDeviceInfo(set, 2, &device)) << "a device attached later was listed";
  EXPECT_EQ(GetLastError(), ERROR_NO_MORE_ITEMS);
  device.cbSize = 28;  // a 32-bit build's size
  EXPECT_FALSE(SetupDiEnumDeviceInfo(set, 0, &device));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_USER_BUFFER);

  ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &kUsbPrint, 1, &interfaceData));
  EXPECT_EQ(PathOf(interfaceData), world::InterfacePathOf(second));
  ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &kUsbPrint, 0, &interfaceData));
  EXPECT_EQ(PathOf(interfaceData), "\\\\?\\usb#vid_7c5e&pid_4a86#7&1a2b3c4d&0&" +
                                       std::to_string(first) +
                                       "#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}");
  EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
  set = INVALID_HANDLE_VALUE;
  EXPECT_EQ(world::LiveHandles(), handles);
}

TEST_F(DevicesTest, HardwareIdsComeAsAListThroughTheTwoCallQuery) {
  world::AttachPrintClassDevice(PrintClass({"USB\\VID_7C5E&PID_4A86&REV_0100", "USB\\VID_7C5E"}));
  world::AttachPrintClassDevice(PrintClass({}));
  OpenSet();
  SP_DEVINFO_DATA device = Device(0);
  const char list[] = "USB\\VID_7C5E&PID_4A86&REV_0100\0USB\\VID_7C5E\0";  // and a last NUL
  DWORD type = 0, required = 0;
  EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_HARDWAREID, &type, nullptr, 0,
                                                 &required));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  ASSERT_EQ(required, sizeof list);
  std::string buffer(required, '#');
  BYTE *bytes = reinterpret_cast<BYTE *>(&buffer[0]);
  EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_HARDWAREID, &type, bytes,
                                                 required - 1, &required));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  ASSERT_TRUE(SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_HARDWAREID, &type, bytes,
                                                required, nullptr));
  EXPECT_EQ(type, REG_MULTI_SZ);
  EXPECT_EQ(buffer, std::string(list, sizeof list));
  EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_DEVICEDESC, &type, bytes,
                                                 required, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_DATA);

  device = Device(1);
  EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_HARDWAREID, &type, nullptr, 0,
                                                 &required));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_DATA) << "a device without ids";
}

TEST_F(DevicesTest, DeviceHasOneInterfaceWhoseDetailChecksSizeFieldAndRoom) {
  world::AttachPrintClassDevice(PrintClass({"USB\\VID_0001&PID_0001"}));
  world::PrintClassDevice dot4 = PrintClass({"USB\\VID_7C5E&PID_4A86"});
  dot4.interfacePath =
      "\\\\?\\USB#VID_7C5E&PID_4A86#X\\dot4\\{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
  world::AttachPrintClassDevice(dot4);
  OpenSet();
  SP_DEVINFO_DATA device = Device(1);
  ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, &device, &kUsbPrint, 0, &interfaceData));
  std::string path = PathOf(interfaceData);
  EXPECT_EQ(path, dot4.interfacePath) << "the path as given, backslashes kept";
  EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, &device, &kUsbPrint, 1, &interfaceData));
  EXPECT_EQ(GetLastError(), ERROR_NO_MORE_ITEMS);
  EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &kUsbPrint, 2, &interfaceData));
  EXPECT_EQ(GetLastError(), ERROR_NO_MORE_ITEMS);
  ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &kUsbPrint, 1, &interfaceData));

  DWORD required = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + path.size() + 1;
  std::vector<char> bytes(required);
  auto *detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(bytes.data());
  detail->cbSize = 5;  // right for a 32-bit build only
  EXPECT_FALSE(
      SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, detail, required, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_USER_BUFFER);
  detail->cbSize = sizeof *detail;
  EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, detail, required - 1, nullptr,
                                                nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  interfaceData.cbSize = 28;
  EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &kUsbPrint, 0, &interfaceData));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_USER_BUFFER);
}

TEST_F(DevicesTest, InjectedFaultsHitTheirWindowOfCalls) {
  world::AttachPrintClassDevice(PrintClass({"USB\\VID_7C5E&PID_4A86"}));
  world::InjectDeviceFault({DeviceCall::SetupDiGetClassDevsA, Action::fail, ERROR_OUTOFMEMORY});
  EXPECT_EQ(SetupDiGetClassDevsA(&kUsbPrint, nullptr, nullptr, DIGCF_DEVICEINTERFACE),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_OUTOFMEMORY);
  OpenSet();
  world::InjectDeviceFault({DeviceCall::SetupDiEnumDeviceInfo, Action::fail, 31, 0, 2, 2});
  SP_DEVINFO_DATA device{sizeof device, {}, 0, 0};
  std::string seen;
  for (int call = 0; call < 4; ++call)
    seen += SetupDiEnumDeviceInfo(set, 0, &device) ? "ok " : std::to_string(GetLastError()) + " ";
  EXPECT_EQ(seen, "ok 31 31 ok ");
}

TEST_F(DevicesTest, PortNumberIsFoundOnlyUnderTheInterfacesOwnKey) {
  world::DeviceId printerId = world::AttachPrintClassDevice(PrintClass({"USB\\VID_7C5E"}, 7));
  world::DeviceId unnumbered = world::AttachPrintClassDevice(PrintClass({"USB\\VID_7C5E"}));
  auto keyOf = [](world::DeviceId device, char slash) {
    std::string path = world::InterfacePathOf(device);
    std::replace(path.begin(), path.end(), '\\', slash);
    return "SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\"
           "{28D78FAD-5A12-11D1-AE5B-0000F803A8C2}\\" +
           path + "\\#\\Device Parameters";
  };
  std::string lower = keyOf(printerId, '#');
  for (char &c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
  size_t handles = world::LiveHandles();
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, lower.c_str(), &key), 0) << "keys ignore case";
  EXPECT_EQ(world::LiveHandles(), handles + 1);

  DWORD type = 0, port = 0, size = 2;
  BYTE *data = reinterpret_cast<BYTE *>(&port);
  EXPECT_EQ(RegQueryValueExA(key, "Port Number", nullptr, &type, data, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 4u);
  ASSERT_EQ(RegQueryValueExA(key, "Port Number", nullptr, &type, data, &size), 0);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(port, 7u);
  EXPECT_EQ(RegQueryValueExA(key, "Port", nullptr, &type, data, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegCloseKey(key), 0);
  EXPECT_EQ(world::LiveHandles(), handles);

  for (const std::string &other : {keyOf(unnumbered, '#'), keyOf(printerId, '\\')})
    EXPECT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, other.c_str(), &key), ERROR_ACCESS_DENIED) << other;
  world::InjectDeviceFault({DeviceCall::RegCreateKeyA, Action::fail, ERROR_PATH_NOT_FOUND});
  EXPECT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, lower.c_str(), &key), ERROR_PATH_NOT_FOUND);
  world::DetachDevice(printerId);
  EXPECT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, lower.c_str(), &key), ERROR_ACCESS_DENIED);
}

TEST_F(DevicesTest, GuidTextIsUpperCaseInBracesWithRoomForItsTerminator) {
  char16_t text[60];
  EXPECT_EQ(StringFromGUID2(kUsbPrint, text, 60), 39);
  EXPECT_EQ(std::u16string(text), u"{28D78FAD-5A12-11D1-AE5B-0000F803A8C2}");
  EXPECT_EQ(StringFromGUID2(kUsbPrint, text, 38), 0);
}

TEST_F(DevicesTest, OpensPrinterPathsAndUsbscanPipesOnly) {
  world::DeviceId device = world::AttachPrintClassDevice(PrintClass({"USB\\VID_7C5E"}, 1, printer));
  world::StillImageDevice scanner;
  scanner.number = 3;
  scanner.endpoint = printer;
  world::AttachStillImageDevice(scanner);
  world::DeviceId absent = world::AttachPrintClassDevice(PrintClass({"USB\\VID_7C5E&PID_0001"}));

  std::string path = world::InterfacePathOf(device);
  for (char &c : path) c = char(std::toupper(static_cast<unsigned char>(c)));
  HANDLE file = Open(path);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << "device paths ignore case";
  EXPECT_EQ(world::OpenHandlesOf(device), 1u);
  HANDLE pipe = Open("\\\\.\\Usbscan3\\2");
  DWORD moved = 0;
  EXPECT_TRUE(WriteFile(file, "ab", 2, &moved, nullptr));
  EXPECT_TRUE(WriteFile(pipe, "cd", 2, &moved, nullptr));
  EXPECT_EQ(printer->Written(), "0:ab2:cd") << "each handle writes to its own pipe";
  Close(file);
  EXPECT_EQ(world::OpensOf(device), 1u);
  EXPECT_EQ(world::OpenHandlesOf(device), 0u);

  for (const std::string &missing :
       {std::string("\\\\.\\Usbscan3"), std::string("\\\\.\\Usbscan3\\5"),
        std::string("\\\\.\\Usbscan4\\0"), world::InterfacePathOf(absent)}) {
    SetLastError(0);
    EXPECT_EQ(Open(missing), INVALID_HANDLE_VALUE) << missing;
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND) << missing;
  }
  world::InjectDeviceFault({DeviceCall::CreateFileA, Action::fail, ERROR_ACCESS_DENIED, 0, 2});
  EXPECT_NE(Open("\\\\.\\Usbscan3\\0"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(Open("\\\\.\\Usbscan3\\0"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

TEST_F(DevicesTest, ShortenedCallsMoveLessAndReadsArriveInPieces) {
  HANDLE file = Open(world::InterfacePathOf(
      world::AttachPrintClassDevice(PrintClass({"USB\\VID_7C5E"}, 1, printer))));
  printer->Queue("0123456789");
  world::InjectDeviceFault({DeviceCall::ReadFile, Action::shorten, 0, 4, 1, 3});
  std::string pieces;
  char buffer[16];
  DWORD moved = 0;
  for (int i = 0; i < 3 && ReadFile(file, buffer, sizeof buffer, &moved, nullptr); ++i)
    pieces += std::string(buffer, moved) + "|";
  EXPECT_EQ(pieces, "0123|4567|89|");

  world::InjectDeviceFault({DeviceCall::WriteFile, Action::shorten, 0, 3});
  EXPECT_TRUE(WriteFile(file, "abcdef", 6, &moved, nullptr));
  EXPECT_EQ(moved, 3u);
  EXPECT_EQ(printer->Written(), "0:abc");
  EXPECT_FALSE(WriteFile(GetProcessHeap(), "a", 1, &moved, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(DevicesTest, StillImageDriverAnswersTheDescriptorAndPassesOtherRequests) {
  world::StillImageDevice scanner;
  scanner.vendorId = 0x7C5E;
  scanner.productId = 0x4A86;
  scanner.endpoint = printer;
  world::AttachStillImageDevice(scanner);
  scanner.number = 1;
  scanner.answerDescriptor = false;
  world::AttachStillImageDevice(scanner);
  HANDLE pipe = Open("\\\\.\\Usbscan0\\0");
  BYTE reply[8] = {};
  DWORD returned = 0;
  ASSERT_TRUE(DeviceIoControl(pipe, 0x80002018, nullptr, 0, reply, 8, &returned, nullptr));
  EXPECT_EQ(returned, 8u);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(reply), 8),
            std::string("\x5E\x7C\x86\x4A\x00\x01\x09\x04", 8));
  EXPECT_FALSE(DeviceIoControl(pipe, 0x80002018, nullptr, 0, reply, 7, &returned, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  ASSERT_TRUE(DeviceIoControl(pipe, 0x22003C, nullptr, 0, reply, 8, &returned, nullptr));
  EXPECT_EQ(returned, 4u);
  EXPECT_EQ(reply[0], 0x3C);
  HANDLE silent = Open("\\\\.\\Usbscan1\\0");
  ASSERT_TRUE(DeviceIoControl(silent, 0x80002018, nullptr, 0, reply, 8, &returned, nullptr));
  EXPECT_EQ(reply[0], 0x18) << "the endpoint's own answer";
}

// One synchronous call on a model thread, with what it gave back.
struct Call {
  HANDLE file;
  bool read;
  BOOL result = TRUE;
  DWORD error = 0;
  DWORD moved = 99;
};

DWORD WINAPI RunCall(LPVOID parameter) {
  auto &call = *static_cast<Call *>(parameter);
  char bytes[8] = "abcdefg";
  call.result = call.read ? ReadFile(call.file, bytes, 8, &call.moved, nullptr)
                          : WriteFile(call.file, bytes, 8, &call.moved, nullptr);
  call.error = GetLastError();
  return 0;
}

TEST_F(DevicesTest, BlockedWriteEndsAbortedWhenCancelledFromAnotherThread) {
  world::DeviceId device = world::AttachPrintClassDevice(PrintClass({"USB\\VID_7C5E"}, 1, printer));
  Call call{Open(world::InterfacePathOf(device)), false};
  world::InjectDeviceFault({DeviceCall::WriteFile, Action::block});
  HANDLE thread = CreateThread(nullptr, 0, RunCall, &call, 0, nullptr);
  // Cancelling finds nothing until the write is blocked.
  while (!CancelSynchronousIo(thread)) std::this_thread::yield();
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  CloseHandle(thread);
  EXPECT_FALSE(call.result);
  EXPECT_EQ(call.error, ERROR_OPERATION_ABORTED);
  EXPECT_EQ(call.moved, 0u);
  DWORD moved = 0;
  EXPECT_TRUE(WriteFile(call.file, "x", 1, &moved, nullptr)) << "the handle still works";
  EXPECT_EQ(printer->Written(), "0:x");
}

TEST_F(DevicesTest, DetachEndsABlockedReadAndEveryLaterCallOnItsHandles) {
  world::DeviceId device = world::AttachPrintClassDevice(PrintClass({"USB\\VID_7C5E"}, 1, printer));
  Call call{Open(world::InterfacePathOf(device)), true};
  std::future<void> waiting = printer->Waiting(false);
  HANDLE thread = CreateThread(nullptr, 0, RunCall, &call, 0, nullptr);
  waiting.wait();
  world::DetachDevice(device);
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  CloseHandle(thread);
  EXPECT_FALSE(call.result);
  EXPECT_EQ(call.error, ERROR_DEVICE_NOT_CONNECTED);
  EXPECT_EQ(call.moved, 0u);

  DWORD moved = 5;
  EXPECT_FALSE(WriteFile(call.file, "x", 1, &moved, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
  EXPECT_EQ(moved, 0u);
  EXPECT_EQ(Open(world::InterfacePathOf(device)), INVALID_HANDLE_VALUE);
  EXPECT_EQ(world::OpenHandlesOf(device), 1u);
  Close(call.file);
  EXPECT_EQ(world::OpenHandlesOf(device), 0u);
}

TEST_F(DevicesTest, ThreadStoppedInsideTheEndpointLeavesTheDeviceUsable) {
  world::DeviceId device = world::AttachPrintClassDevice(PrintClass({"USB\\VID_7C5E"}, 1, printer));
  Call call{Open(world::InterfacePathOf(device)), true};
  std::future<void> stalled = printer->Waiting(true);
  HANDLE thread = CreateThread(nullptr, 0, RunCall, &call, 0, nullptr);
  stalled.wait();
  EXPECT_TRUE(TerminateThread(thread, 9));
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  CloseHandle(thread);
  EXPECT_EQ(call.error, 0u) << "the stopped call returned into the program";

  printer->Queue("z");
  char byte = 0;
  DWORD moved = 0;
  EXPECT_TRUE(ReadFile(call.file, &byte, 1, &moved, nullptr)) << "the device was left busy";
  EXPECT_EQ(byte, 'z');
}

}  // namespace
