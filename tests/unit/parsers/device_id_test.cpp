// Reading the device ID: which fields identify the maker's printers, what they leave in the
// port's flags and the model number, and which odd IDs hide a field.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "identify.h"

namespace {

const DWORD kIdFlags = PF_MODEL_3470 | PF_MODEL_3820 | PF_FAMILY_MODEL | PF_FAMILY_MAKER;

struct Identified {
  DWORD result;
  DWORD flags;
  DWORD model;
};

Identified Identify(PortRecord* port, const char* id) {
  std::vector<char> text(id, id + strlen(id) + 1);  // exactly as long as the text: ASan sees
  Identified r;                                     // any read past its NUL
  r.result = ParseDeviceId(port, text.data());
  r.flags = PortFlags(port) & kIdFlags;
  r.model = IdentifiedModelNumber;
  return r;
}

class DeviceId : public ::testing::Test {
 protected:
  void SetUp() override {
    memset(&port_, 0, sizeof port_);
    IdentifiedModelNumber = 0;
  }
  PortRecord port_;
};

// Each ID on a fresh port, with the model number 77 from an earlier identification.
TEST_F(DeviceId, FieldsOnAFreshPort) {
  struct Case {
    const char* id;
    DWORD result;
    DWORD flags;
    DWORD model;
  } cases[] = {
      {"MFG:Zemblaxon;MDL:QV-L3820;CMD:PJL;", 1, PF_FAMILY_MAKER | PF_MODEL_3820 | PF_FAMILY_MODEL,
       3820},
      {"MANUFACTURER:Zemblaxon;MODEL:QV-L3470 desk model;", 1,
       PF_FAMILY_MAKER | PF_MODEL_3470 | PF_FAMILY_MODEL, 3470},
      {"MFG:Zemblaxon Business Machines;", 0, PF_FAMILY_MAKER, 77},
      {"MFG:Zemblaxon", 0, PF_FAMILY_MAKER, 77},  // no final ";"
      {"MFG:Zembla;MDL:QV-L", 1, PF_FAMILY_MODEL, 0},
      {"MDL:QV-L12345678;", 1, PF_FAMILY_MODEL, 123456},
      {"MDL:QV-L38201;", 1, PF_MODEL_3820 | PF_FAMILY_MODEL, 3820},  // begins with QV-L3820
      {"MDL:QV-L5100x;", 1, PF_FAMILY_MODEL, 5100},
      {"MDL:QV-L;", 1, PF_FAMILY_MODEL, 0},
      {"MDL:oakridge LP 3380;", 1, 0, 77},
      {"mfg:Zemblaxon;mdl:QV-L3820;", 0, 0, 77},      // keys are case-sensitive
      {"MFG: Zemblaxon;MDL: QV-L3820", 1, 0, 77},     // a blank before the value
      {"MFGX:Zemblaxon;MODELS:QV-L3820;", 0, 0, 77},  // keys must be equal, not prefixes
      {"CLS:PRINTER;XYZ;MDL:QV-L3820;", 0, 0, 77},    // XYZ has no colon: it swallows MDL
      {"MDL:QV", 1, 0, 77},                           // shorter than every model literal
      {"MDL:", 1, 0, 77},
      {"", 0, 0, 77},
      {"no fields at all", 0, 0, 77},
      {"MFG:Brightline;CMD:RSTR2,BDC;Vista 1430;CLS:PRINTER;DES:Brightline Vista 1430", 0, 0, 77},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    memset(&port_, 0, sizeof port_);
    IdentifiedModelNumber = 77;
    Identified r = Identify(&port_, c.id);
    EXPECT_EQ(c.result, r.result);
    EXPECT_EQ(c.flags, r.flags);
    EXPECT_EQ(c.model, r.model);
  }
}

// What one identification leaves for the next: the maker flag stays, the model flags are
// recomputed on every model field, and the model number changes only on a QV-L model.
TEST_F(DeviceId, LaterIdentificationsSeeEarlierOnes) {
  SetPortFlags(&port_, PF_THREAD_RUN | PF_PJL_PRINTER);
  Identified a = Identify(&port_, "MFG:Zemblaxon;MDL:QV-L3820;");
  EXPECT_EQ(PF_FAMILY_MAKER | PF_MODEL_3820 | PF_FAMILY_MODEL, a.flags);

  Identified b = Identify(&port_, "MFG:Other;MDL:Other 1;");
  EXPECT_EQ(1u, b.result);
  EXPECT_EQ(DWORD{PF_FAMILY_MAKER}, b.flags);
  EXPECT_EQ(3820u, b.model);

  Identified c = Identify(&port_, "CLS:PRINTER;");  // no model field: flags untouched
  EXPECT_EQ(0u, c.result);
  EXPECT_EQ(DWORD{PF_FAMILY_MAKER}, c.flags);

  Identified d = Identify(&port_, "MDL:QV-L3470;");
  EXPECT_EQ(PF_FAMILY_MAKER | PF_MODEL_3470 | PF_FAMILY_MODEL, d.flags);
  EXPECT_EQ(3470u, d.model);

  // Bits outside identification are never touched.
  EXPECT_EQ(DWORD{PF_THREAD_RUN | PF_PJL_PRINTER}, PortFlags(&port_) & ~kIdFlags);
}

// Two printers of one spooler: each port keeps its own model number (the NT face publishes
// it), while the module's is the latest read anywhere (the Windows 95 face's).
TEST_F(DeviceId, EachPortKeepsItsOwnModel) {
  PortRecord other;
  memset(&other, 0, sizeof other);
  Identify(&port_, "MFG:Zemblaxon;MDL:QV-L3820;");
  Identify(&other, "MFG:Zemblaxon;MDL:QV-L3470;");
  Identify(&port_, "MFG:Zemblaxon;MDL:Other 1;");  // not a QV-L model: the port's number stays
  EXPECT_EQ(3820u, port_.modelNumber);
  EXPECT_EQ(3470u, other.modelNumber);
  EXPECT_EQ(3470u, IdentifiedModelNumber);
}

TEST_F(DeviceId, FieldSeparatorsBecomeNul) {
  char text[] = "MFG:Zemblaxon;MDL:QV-L3820;CMD:PJL";
  EXPECT_EQ(1u, ParseDeviceId(&port_, text));
  EXPECT_EQ(0, memcmp(text, "MFG:Zemblaxon\0MDL:QV-L3820\0CMD:PJL", sizeof text));
}

}  // namespace
