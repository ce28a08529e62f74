// The run's calls through the Windows 95 generation's table: ANSI names, DOC_INFO_1A/2A.
#include "spool_calls.h"

namespace {

class Win95Calls : public SpoolCalls {
 public:
  Win95Calls(MONITOR* ops, MONITOR* lower) : ops_(ops), lower_(lower) {}

  BOOL OpenPort(const std::string& port, const std::string& printer, HANDLE* handle) override {
    std::string p = port, q = printer;
    return direct ? ops_->pfnOpenPort(&p[0], handle)
                  : ops_->pfnOpenPortEx(&p[0], &q[0], handle, lower_);
  }

  BOOL StartDoc(HANDLE port, const std::string& printer, DWORD jobId, DWORD level,
                const std::string& document, DWORD mode) override {
    std::string p = printer, d = document;
    char datatype[] = "RAW";
    DOC_INFO_1A info1 = {&d[0], NULL, datatype};
    DOC_INFO_2A info2 = {&d[0], NULL, datatype, mode, jobId};
    LPBYTE info = level == 2 ? reinterpret_cast<LPBYTE>(&info2) : reinterpret_cast<LPBYTE>(&info1);
    return ops_->pfnStartDocPort(port, &p[0], jobId, level, info);
  }

  BOOL Write(HANDLE port, const BYTE* data, DWORD count, DWORD* written) override {
    return ops_->pfnWritePort(port, const_cast<LPBYTE>(data), count, written);
  }

  BOOL EndDoc(HANDLE port) override { return ops_->pfnEndDocPort(port); }

  BOOL Close(HANDLE port) override { return ops_->pfnClosePort(port); }

  BOOL GetData(HANDLE port, DWORD control, const char* valueName, void* out, DWORD outSize,
               DWORD* returned) override {
    std::string name = valueName ? valueName : "";
    return ops_->pfnGetPrinterDataFromPort(port, control, valueName ? &name[0] : NULL, NULL, 0,
                                           static_cast<LPSTR>(out), outSize, returned);
  }

  bool Nt() const override { return false; }

 private:
  MONITOR* ops_;
  MONITOR* lower_;
};

}  // namespace

SpoolCalls* Win95SpoolCalls(MONITOR* ops, MONITOR* lower, bool direct) {
  SpoolCalls* calls = new Win95Calls(ops, lower);
  calls->direct = direct;
  return calls;
}
