// The run's calls through the NT family's MONITOR2: wide names (from the run's UTF-8),
// DOC_INFO_1W/2W, the monitor handles, and Shutdown.
#include "spool_calls.h"

#include "monitor_registry.h"
#include "wide_text.h"

namespace {

class NtCalls : public SpoolCalls {
 public:
  NtCalls(MONITOR2* ops, HANDLE monitor, MONITOR2* lower, HANDLE lowerMonitor)
      : ops_(ops), monitor_(monitor), lower_(lower), lowerMonitor_(lowerMonitor) {}

  BOOL OpenPort(const std::string& port, const std::string& printer, HANDLE* handle) override {
    std::wstring p = WideText(port.c_str(), CP_UTF8), q = WideText(printer.c_str(), CP_UTF8);
    if (direct) return lower_->pfnOpenPort(lowerMonitor_, &p[0], handle);
    return ops_->pfnOpenPortEx(monitor_, lowerMonitor_, &p[0], &q[0], handle, lower_);
  }

  BOOL StartDoc(HANDLE port, const std::string& printer, DWORD jobId, DWORD level,
                const std::string& document, DWORD mode) override {
    std::wstring p = WideText(printer.c_str(), CP_UTF8), d = WideText(document.c_str(), CP_UTF8);
    WCHAR datatype[] = L"RAW";
    DOC_INFO_1W info1 = {&d[0], NULL, datatype};
    DOC_INFO_2W info2 = {&d[0], NULL, datatype, mode, jobId};
    LPBYTE info = level == 2 ? reinterpret_cast<LPBYTE>(&info2) : reinterpret_cast<LPBYTE>(&info1);
    return Table()->pfnStartDocPort(port, &p[0], jobId, level, info);
  }

  BOOL Write(HANDLE port, const BYTE* data, DWORD count, DWORD* written) override {
    return Table()->pfnWritePort(port, const_cast<LPBYTE>(data), count, written);
  }

  BOOL EndDoc(HANDLE port) override { return Table()->pfnEndDocPort(port); }

  BOOL Close(HANDLE port) override { return Table()->pfnClosePort(port); }

  BOOL GetData(HANDLE port, DWORD control, const char* valueName, void* out, DWORD outSize,
               DWORD* returned) override {
    std::wstring name = WideText(valueName, CP_UTF8);
    return Table()->pfnGetPrinterDataFromPort(port, control, valueName ? &name[0] : NULL, NULL, 0,
                                              static_cast<LPWSTR>(out), outSize, returned);
  }

  bool Shutdown() override {
    if (direct || !ops_->pfnShutdown) return false;
    ops_->pfnShutdown(monitor_);
    MonitorRegistryRetire();  // its spooler handle is no longer good
    return true;
  }

  bool Nt() const override { return true; }

 private:
  MONITOR2* Table() const { return direct ? lower_ : ops_; }

  MONITOR2* ops_;
  HANDLE monitor_;
  MONITOR2* lower_;
  HANDLE lowerMonitor_;
};

}  // namespace

SpoolCalls* NtSpoolCalls(MONITOR2* ops, HANDLE monitor, MONITOR2* lower, HANDLE lowerMonitor,
                         bool direct) {
  SpoolCalls* calls = new NtCalls(ops, monitor, lower, lowerMonitor);
  calls->direct = direct;
  return calls;
}
