// The four timeout settings in the registry: defaults written back, existing values kept.
#include "monitor_fixture.h"
#include "settings.h"
#include "guarded_heap.h"
#include <string.h>

namespace {

const char kKey[] = "System\\CurrentControlSet\\Control\\Print\\Monitors\\QVL";

class Settings : public MonitorTest {
 protected:
  void TearDown() override {
    FreeString(RegistryRoot);
    RegistryRoot = nullptr;
    MonitorTest::TearDown();
  }
};

TEST_F(Settings, MissingValuesGetTheirDefaultsWrittenBackAndExistingOnesStay) {
  FakeRegistryCreateKey(kKey);
  DWORD mine = 1234;
  FakeRegistrySetValue(kKey, "AbortTimeout", REG_DWORD, &mine, 4);
  RegistryRoot = DupString(kKey);
  ReadMonitorSettings();
  struct {
    const char* name;
    DWORD value;
  } expected[] = {{"ErrorTimeout", 1800000},
                  {"AbortTimeout", 1234},
                  {"IdleTimeout4L", 180000},
                  {"IdleTimeoutOther", 900000}};
  for (auto& e : expected) {
    DWORD value = 0, type = 0;
    ASSERT_TRUE(FakeRegistryGetDword(kKey, e.name, &value, &type)) << e.name;
    EXPECT_EQ(value, e.value) << e.name;
    EXPECT_EQ(type, REG_DWORD) << e.name;
  }
  EXPECT_EQ(AbortTimeout, 1234u);
  EXPECT_EQ(ErrorTimeout, 1800000u);
}

TEST_F(Settings, OversizedValueIsReplacedByTheDefault) {
  FakeRegistryCreateKey(kKey);
  char text[] = "a long string value";
  FakeRegistrySetValue(kKey, "IdleTimeout4L", 1 /* REG_SZ */, text, sizeof text);
  RegistryRoot = DupString(kKey);
  ReadMonitorSettings();
  DWORD value = 0;
  ASSERT_TRUE(FakeRegistryGetDword(kKey, "IdleTimeout4L", &value));
  EXPECT_EQ(value, 180000u);
}

TEST_F(Settings, NoRootMeansNoRegistryAccessAtAll) {
  HANDLE port = Open("LPT1:", kGenericDeviceId);
  ASSERT_TRUE(StartJobWriting(port, 1, "x"));
  table.pfnEndDocPort(port);
  Sleep(100 * 1000);  // several empty polls outside the job
  EXPECT_TRUE(table.pfnClosePort(port));
  EXPECT_EQ(FakeRegistryCallCount(), 0);
}

TEST_F(Settings, TheStatusThreadReadsThemAtTheFirstEmptyPollOutsideAJob) {
  FakeRegistryCreateKey(kKey);
  MONITOR again;
  char root[sizeof kKey];
  memcpy(root, kKey, sizeof kKey);
  ASSERT_TRUE(InitializeMonitorEx(root, &again));
  HANDLE port = Open("LPT1:", kGenericDeviceId);
  ASSERT_TRUE(StartJobWriting(port, 1, "x"));
  EXPECT_EQ(FakeRegistryValueCount(kKey), 0) << "not during the job";
  table.pfnEndDocPort(port);
  ASSERT_TRUE(WaitFor([] { return FakeRegistryValueCount(kKey) == 4; }));
  EXPECT_TRUE(table.pfnClosePort(port));
}

TEST_F(Settings, UnloadingTheLibraryFreesTheRegistryRoot) {
  MONITOR again;
  char root[] = "Software\\QVL";
  ASSERT_TRUE(InitializeMonitorEx(root, &again));
  ASSERT_NE(RegistryRoot, nullptr);
  EXPECT_TRUE(DllEntryPoint(nullptr, DLL_PROCESS_DETACH, nullptr));
  EXPECT_EQ(RegistryRoot, nullptr);
}

}  // namespace
