#include "scripted_port_monitor.h"

#include <string.h>
#include <strings.h>

#include <chrono>
#include <map>
#include <mutex>
#include <thread>

namespace {

struct Port {
  ScriptedPortState state{};
  bool hasDeviceId = false;
  std::string deviceId;
  PortDevice* device = nullptr;
  std::string replies;
  DWORD readChunk = 0;
  DWORD readDelay = 0;
  int failOpen = 0, failStartDoc = 0, failReads = 0, limitWrites = 0;
  DWORD writeLimit = 0;
};

struct CaseLess {
  bool operator()(const std::string& a, const std::string& b) const {
    return strcasecmp(a.c_str(), b.c_str()) < 0;
  }
};

std::mutex lock;
std::map<std::string, Port*, CaseLess> ports;

Port* PortNamed(const char* name) {
  Port*& p = ports[name];
  if (!p) p = new Port();
  return p;
}

bool Take(int& counter) {
  if (counter == 0) return false;
  if (counter > 0) counter--;
  return true;
}

BOOL WINAPI ScriptedOpenPort(LPSTR name, PHANDLE handle) {
  std::lock_guard<std::mutex> guard(lock);
  Port* p = PortNamed(name);
  p->state.opens++;
  if (Take(p->failOpen)) {
    SetLastError(5);  // ERROR_ACCESS_DENIED
    return FALSE;
  }
  p->state.open = true;
  *handle = p;
  return TRUE;
}

BOOL WINAPI ScriptedStartDocPort(HANDLE handle, LPSTR, DWORD jobId, DWORD level, LPBYTE) {
  std::lock_guard<std::mutex> guard(lock);
  Port* p = static_cast<Port*>(handle);
  p->state.startDocs++;
  if (Take(p->failStartDoc)) {
    SetLastError(21);  // ERROR_NOT_READY
    return FALSE;
  }
  p->state.jobOpen = true;
  p->state.jobs.push_back(ScriptedJob{jobId, level, std::string(), false});
  if (p->device) p->device->ops->jobStart(p->device, jobId);
  return TRUE;
}

BOOL WINAPI ScriptedWritePort(HANDLE handle, LPBYTE data, DWORD count, LPDWORD written) {
  std::lock_guard<std::mutex> guard(lock);
  Port* p = static_cast<Port*>(handle);
  p->state.writes++;
  DWORD n = count;
  if (Take(p->limitWrites) && n > p->writeLimit) n = p->writeLimit;
  if (p->device && n) n = static_cast<DWORD>(p->device->ops->write(p->device, data, n));
  const char* bytes = reinterpret_cast<const char*>(data);
  p->state.stream.append(bytes, n);
  if (p->state.jobOpen) {
    p->state.jobs.back().bytes.append(bytes, n);
  } else {
    p->state.outsideJob.append(bytes, n);
  }
  *written = n;
  return n == count || n != 0 ? TRUE : FALSE;
}

BOOL WINAPI ScriptedReadPort(HANDLE handle, LPBYTE buffer, DWORD size, LPDWORD read) {
  DWORD delay;
  {
    std::lock_guard<std::mutex> guard(lock);
    delay = static_cast<Port*>(handle)->readDelay;
  }
  if (delay) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
  std::lock_guard<std::mutex> guard(lock);
  Port* p = static_cast<Port*>(handle);
  p->state.reads++;
  *read = 0;
  if (Take(p->failReads)) {
    SetLastError(1117);  // ERROR_IO_DEVICE
    return FALSE;
  }
  DWORD room = size;
  if (p->readChunk && room > p->readChunk) room = p->readChunk;
  if (p->device) {
    *read = static_cast<DWORD>(p->device->ops->read(p->device, buffer, room));
    return TRUE;
  }
  DWORD n = p->replies.size() < room ? static_cast<DWORD>(p->replies.size()) : room;
  memcpy(buffer, p->replies.data(), n);
  p->replies.erase(0, n);
  *read = n;
  return TRUE;
}

BOOL WINAPI ScriptedEndDocPort(HANDLE handle) {
  std::lock_guard<std::mutex> guard(lock);
  Port* p = static_cast<Port*>(handle);
  p->state.endDocs++;
  if (p->state.jobOpen) p->state.jobs.back().ended = true;
  p->state.jobOpen = false;
  if (p->device) p->device->ops->jobEnd(p->device);
  return TRUE;
}

BOOL WINAPI ScriptedClosePort(HANDLE handle) {
  std::lock_guard<std::mutex> guard(lock);
  Port* p = static_cast<Port*>(handle);
  p->state.closes++;
  p->state.open = false;
  return TRUE;
}

BOOL WINAPI ScriptedGetPrinterDataFromPort(HANDLE handle, DWORD controlId, LPSTR, LPSTR, DWORD,
                                           LPSTR out, DWORD outSize, LPDWORD returned) {
  std::lock_guard<std::mutex> guard(lock);
  Port* p = static_cast<Port*>(handle);
  if (controlId != CONTROL_ID_DEVICE_ID) return FALSE;
  p->state.deviceIdQueries++;
  const char* id = p->device ? p->device->ops->deviceId(p->device)
                             : (p->hasDeviceId ? p->deviceId.c_str() : nullptr);
  if (!id || !out) return FALSE;
  // Copies as much as fits, without a NUL when the text fills the buffer (as a port monitor
  // may do); the caller terminates it.
  DWORD n = static_cast<DWORD>(strlen(id));
  if (n > outSize) n = outSize;
  memcpy(out, id, n);
  if (n < outSize) out[n] = '\0';
  if (returned) *returned = n;
  return TRUE;
}

MONITOR kTable = {
    NULL,                            // EnumPorts
    ScriptedOpenPort,                // OpenPort
    NULL,                            // OpenPortEx: a port monitor has none
    ScriptedStartDocPort,            // StartDocPort
    ScriptedWritePort,               // WritePort
    ScriptedReadPort,                // ReadPort
    ScriptedEndDocPort,              // EndDocPort
    ScriptedClosePort,               // ClosePort
    NULL,                            // AddPort
    NULL,                            // ConfigurePort
    NULL,                            // DeletePort
    ScriptedGetPrinterDataFromPort,  // GetPrinterDataFromPort
    NULL,                            // SetPortTimeOuts
};

}  // namespace

MONITOR* ScriptedPortMonitor() {
  return &kTable;
}

void ScriptedPortsReset() {
  std::lock_guard<std::mutex> guard(lock);
  for (auto& p : ports) delete p.second;
  ports.clear();
}

void ScriptedPortSetDeviceId(const char* port, const char* deviceId) {
  std::lock_guard<std::mutex> guard(lock);
  Port* p = PortNamed(port);
  p->hasDeviceId = deviceId != nullptr;
  p->deviceId = deviceId ? deviceId : "";
}

void ScriptedPortSetDevice(const char* port, PortDevice* device) {
  std::lock_guard<std::mutex> guard(lock);
  PortNamed(port)->device = device;
}

void ScriptedPortQueueReply(const char* port, const char* bytes, size_t count) {
  std::lock_guard<std::mutex> guard(lock);
  PortNamed(port)->replies.append(bytes, count);
}

void ScriptedPortQueueReply(const char* port, const char* text) {
  ScriptedPortQueueReply(port, text, strlen(text));
}

size_t ScriptedPortPendingReply(const char* port) {
  std::lock_guard<std::mutex> guard(lock);
  return PortNamed(port)->replies.size();
}

void ScriptedPortSetReadChunk(const char* port, DWORD bytes) {
  std::lock_guard<std::mutex> guard(lock);
  PortNamed(port)->readChunk = bytes;
}

void ScriptedPortFailOpen(const char* port, int calls) {
  std::lock_guard<std::mutex> guard(lock);
  PortNamed(port)->failOpen = calls;
}

void ScriptedPortFailStartDoc(const char* port, int calls) {
  std::lock_guard<std::mutex> guard(lock);
  PortNamed(port)->failStartDoc = calls;
}

void ScriptedPortFailReads(const char* port, int calls) {
  std::lock_guard<std::mutex> guard(lock);
  PortNamed(port)->failReads = calls;
}

void ScriptedPortLimitWrites(const char* port, int calls, DWORD limit) {
  std::lock_guard<std::mutex> guard(lock);
  Port* p = PortNamed(port);
  p->limitWrites = calls;
  p->writeLimit = limit;
}

void ScriptedPortSetReadDelay(const char* port, DWORD milliseconds) {
  std::lock_guard<std::mutex> guard(lock);
  PortNamed(port)->readDelay = milliseconds;
}

ScriptedPortState ScriptedPortGetState(const char* port) {
  std::lock_guard<std::mutex> guard(lock);
  return PortNamed(port)->state;
}
