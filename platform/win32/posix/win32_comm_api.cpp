// The comm and file calls of the Win32 subset: COM names, exclusive open, and
// the calls that hand over to the open device.
#include <list>
#include <optional>
#include <string>
#include <string_view>

#include "platform/win32/com_device.h"
#include "platform/win32/posix/com_names.h"
#include "platform/win32/posix/win32_comm_device.h"
#include "platform/win32/posix/win32_fault_points.h"

using namespace voren::win32;
using voren::faults::Call;

namespace {

// The devices open now, for line errors raised through the test hook.
struct OpenDevices {
  std::mutex mutex;
  std::list<std::weak_ptr<CommDevice>> devices;
};

OpenDevices& openDevices() {
  static auto* instance = new OpenDevices;
  return *instance;
}

void remember(const std::shared_ptr<CommDevice>& device) {
  auto& open = openDevices();
  std::lock_guard lock(open.mutex);
  open.devices.remove_if([](const auto& d) { return d.expired(); });
  open.devices.push_back(device);
}

// A call on a handle that is no comm device fails with 6, as on Windows.
std::shared_ptr<CommDevice> deviceOf(HANDLE file) {
  auto device = findAs<CommDevice>(file);
  if (!device) SetLastError(ERROR_INVALID_HANDLE);
  return device;
}

BOOL result(DWORD error) { return error == 0 ? TRUE : fail(error, FALSE); }

BOOL overlappedResult(const OVERLAPPED& overlapped, LPDWORD transferred) {
  const ULONG_PTR status = __atomic_load_n(&overlapped.Internal, __ATOMIC_ACQUIRE);
  if (transferred != nullptr) *transferred = static_cast<DWORD>(overlapped.InternalHigh);
  if (status == statusSuccess || status == statusTimeout) return TRUE;
  return fail(errorOfStatus(status), FALSE);
}

// Starts an I/O call on the device: on an overlapped handle with the
// caller's record, and returns as the start did; a handle opened without
// FILE_FLAG_OVERLAPPED blocks until its transfer ends.
template <class Start>
BOOL startOrAwait(CommDevice& device, LPDWORD done, LPOVERLAPPED overlapped, Start start) {
  if (device.overlapped()) {
    if (overlapped == nullptr) return fail(ERROR_INVALID_PARAMETER, FALSE);
    return start(done, *overlapped);
  }
  OVERLAPPED own{};
  const BOOL atOnce = start(done, own);
  if (atOnce || GetLastError() != ERROR_IO_PENDING) return atOnce;
  device.awaitCompletion(own);
  return overlappedResult(own, done);
}

}  // namespace

namespace voren::win32 {

void raiseLineErrorOnOpenDevices(unsigned long ceBits) {
  auto& open = openDevices();
  std::lock_guard lock(open.mutex);
  for (const auto& weak : open.devices) {
    if (const auto device = weak.lock()) device->raiseLineError(static_cast<DWORD>(ceBits));
  }
}

}  // namespace voren::win32

extern "C" {

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD, LPSECURITY_ATTRIBUTES,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE) {
  if (injectFault(Call::CreateFileA)) return INVALID_HANDLE_VALUE;
  if (fileName == nullptr) return fail(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
  // Devices are only ever opened, never created.
  if (creationDisposition != OPEN_EXISTING) return fail(ERROR_NOT_SUPPORTED, INVALID_HANDLE_VALUE);
  // A COM name that opens no port is a file name, as Windows takes it.
  const auto com = voren::comNumberOfName(fileName);
  const std::string path = com && com->port ? comDevicePath(*com->port) : std::string(fileName);
  std::shared_ptr<CommDevice> device;
  if (const DWORD error = CommDevice::open(
          path, desiredAccess, (flagsAndAttributes & FILE_FLAG_OVERLAPPED) != 0, device)) {
    return fail(error, INVALID_HANDLE_VALUE);
  }
  remember(device);
  return insertHandle(device);
}

DWORD GetFileType(HANDLE file) {
  if (injectFault(Call::GetFileType)) return FILE_TYPE_UNKNOWN;
  const auto device = findAs<CommDevice>(file);
  if (!device) return fail(ERROR_INVALID_HANDLE, static_cast<DWORD>(FILE_TYPE_UNKNOWN));
  SetLastError(NO_ERROR);
  return device->fileType();
}

BOOL GetCommState(HANDLE file, LPDCB dcb) {
  if (injectFault(Call::GetCommState)) return FALSE;
  const auto device = deviceOf(file);
  if (!device) return FALSE;
  if (dcb == nullptr) return fail(ERROR_INVALID_PARAMETER, FALSE);
  return result(device->getState(*dcb));
}

BOOL SetCommState(HANDLE file, LPDCB dcb) {
  if (injectFault(Call::SetCommState)) return FALSE;
  const auto device = deviceOf(file);
  if (!device) return FALSE;
  if (dcb == nullptr) return fail(ERROR_INVALID_PARAMETER, FALSE);
  return result(device->setState(*dcb));
}

BOOL GetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts) {
  if (injectFault(Call::GetCommTimeouts)) return FALSE;
  const auto device = deviceOf(file);
  if (!device) return FALSE;
  if (timeouts == nullptr) return fail(ERROR_INVALID_PARAMETER, FALSE);
  return result(device->getTimeouts(*timeouts));
}

BOOL SetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts) {
  if (injectFault(Call::SetCommTimeouts)) return FALSE;
  const auto device = deviceOf(file);
  if (!device) return FALSE;
  if (timeouts == nullptr) return fail(ERROR_INVALID_PARAMETER, FALSE);
  return result(device->setTimeouts(*timeouts));
}

BOOL SetupComm(HANDLE file, DWORD inQueue, DWORD outQueue) {
  if (injectFault(Call::SetupComm)) return FALSE;
  const auto device = deviceOf(file);
  return device ? result(device->setup(inQueue, outQueue)) : FALSE;
}

BOOL PurgeComm(HANDLE file, DWORD flags) {
  if (injectFault(Call::PurgeComm)) return FALSE;
  const auto device = deviceOf(file);
  return device ? result(device->purge(flags)) : FALSE;
}

BOOL ClearCommError(HANDLE file, LPDWORD errors, LPCOMSTAT status) {
  if (injectFault(Call::ClearCommError)) return FALSE;
  const auto device = deviceOf(file);
  return device ? result(device->clearError(errors, status)) : FALSE;
}

BOOL SetCommMask(HANDLE file, DWORD eventMask) {
  if (injectFault(Call::SetCommMask)) return FALSE;
  const auto device = deviceOf(file);
  return device ? result(device->setMask(eventMask)) : FALSE;
}

BOOL GetCommMask(HANDLE file, LPDWORD eventMask) {
  const auto device = deviceOf(file);
  if (!device) return FALSE;
  if (eventMask == nullptr) return fail(ERROR_INVALID_PARAMETER, FALSE);
  return result(device->getMask(*eventMask));
}

BOOL WaitCommEvent(HANDLE file, LPDWORD eventMask, LPOVERLAPPED overlapped) {
  if (injectFault(Call::WaitCommEvent)) return FALSE;
  const auto device = deviceOf(file);
  if (!device) return FALSE;
  if (eventMask == nullptr) return fail(ERROR_INVALID_PARAMETER, FALSE);
  return startOrAwait(*device, nullptr, overlapped,
                      [&](LPDWORD, OVERLAPPED& o) { return device->waitEvent(eventMask, o); });
}

BOOL EscapeCommFunction(HANDLE file, DWORD function) {
  if (injectFault(Call::EscapeCommFunction)) return FALSE;
  const auto device = deviceOf(file);
  return device ? result(device->escape(function)) : FALSE;
}

BOOL GetCommModemStatus(HANDLE file, LPDWORD modemStatus) {
  if (injectFault(Call::GetCommModemStatus)) return FALSE;
  const auto device = deviceOf(file);
  if (!device) return FALSE;
  if (modemStatus == nullptr) return fail(ERROR_INVALID_PARAMETER, FALSE);
  return result(device->modemStatus(*modemStatus));
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped) {
  if (injectFault(Call::ReadFile)) return FALSE;
  const auto device = deviceOf(file);
  if (!device) return FALSE;
  if (buffer == nullptr && toRead > 0) return fail(ERROR_INVALID_PARAMETER, FALSE);
  return startOrAwait(*device, read, overlapped, [&](LPDWORD done, OVERLAPPED& o) {
    return device->read(buffer, toRead, done, o);
  });
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written,
               LPOVERLAPPED overlapped) {
  if (injectFault(Call::WriteFile)) return FALSE;
  const auto device = deviceOf(file);
  if (!device) return FALSE;
  if (buffer == nullptr && toWrite > 0) return fail(ERROR_INVALID_PARAMETER, FALSE);
  return startOrAwait(*device, written, overlapped, [&](LPDWORD done, OVERLAPPED& o) {
    return device->write(buffer, toWrite, done, o);
  });
}

BOOL GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD transferred, BOOL wait) {
  if (injectFault(Call::GetOverlappedResult)) return FALSE;
  if (overlapped == nullptr) return fail(ERROR_INVALID_PARAMETER, FALSE);
  if (__atomic_load_n(&overlapped->Internal, __ATOMIC_ACQUIRE) == statusPending) {
    if (!wait) return fail(ERROR_IO_INCOMPLETE, FALSE);
    if (const auto device = findAs<CommDevice>(file)) {
      device->awaitCompletion(*overlapped);
    } else if (WaitForSingleObject(overlapped->hEvent, INFINITE) == WAIT_FAILED) {
      return FALSE;
    }
  }
  return overlappedResult(*overlapped, transferred);
}

BOOL CancelIo(HANDLE file) {
  const auto device = deviceOf(file);
  if (!device) return FALSE;
  device->cancel(nullptr);
  return TRUE;
}

BOOL CancelIoEx(HANDLE file, LPOVERLAPPED overlapped) {
  const auto device = deviceOf(file);
  if (!device) return FALSE;
  if (!device->cancel(overlapped)) return fail(ERROR_NOT_FOUND, FALSE);
  return TRUE;
}

}  // extern "C"
