// Looks at the NT display link's objects (shared/session_link.h) from outside, as a signed-in
// user's program would find them. One command per run:
//   board present|absent   the status board exists (waiting up to 5 s for it)
//   slots                  the port slots in use, one JSON object a line (slot, owner, printer)
//   security               the security descriptors of the board, the next publication's change
//                          event, every slot's drum reset event and the board lock, read back
//                          and compared ACE by ACE with what session_link.h says they grant
// Exit status 0 when the check holds, 1 otherwise.
//
// Wine runs every program as one user, a member of the administrators, and grants that user
// what these descriptors give administrators, so nothing here can show a user being refused:
// the descriptors are only read back.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <stdio.h>
#include <string.h>

#include "session_link.h"

namespace {

const SessionBoard* MapBoard(HANDLE* section) {
  *section = OpenFileMappingW(FILE_MAP_READ, FALSE, SESSION_BOARD_NAME);
  if (*section == NULL) return NULL;
  return static_cast<const SessionBoard*>(MapViewOfFile(*section, FILE_MAP_READ, 0, 0, 0));
}

int Board(bool expected) {
  for (int waited = 0;; waited += 50) {
    HANDLE section = OpenFileMappingW(FILE_MAP_READ, FALSE, SESSION_BOARD_NAME);
    if (section != NULL) CloseHandle(section);
    if ((section != NULL) == expected) return 0;
    if (waited >= 5000) break;
    Sleep(50);
  }
  printf("board: expected %s\n", expected ? "present" : "absent");
  return 1;
}

int Slots() {
  HANDLE section;
  const SessionBoard* board = MapBoard(&section);
  if (board == NULL) {
    printf("slots: no board\n");
    return 1;
  }
  for (uint32_t i = 0; i < SESSION_PORTS; ++i) {
    const SessionPort& port = board->ports[i];
    if (port.inUse == 0) continue;
    char name[SESSION_PRINTER_CHARS * 3];
    WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<const WCHAR*>(port.printer), -1, name,
                        sizeof name, NULL, NULL);
    printf("{\"slot\": %u, \"owner\": %u, \"printer\": \"%s\"}\n", i, port.owner, name);
  }
  UnmapViewOfFile(board);
  CloseHandle(section);
  return 0;
}

// One ACE as session_link.h describes it: an allowed ACE of the SID with this mask; "every
// right" may read back as GENERIC_ALL or as the object type's specific rights it maps to.
struct Grant {
  const char* who;
  WELL_KNOWN_SID_TYPE sid;
  DWORD mask;
};

const DWORD kEvery = GENERIC_ALL;
const Grant kSystem = {"SYSTEM", WinLocalSystemSid, kEvery};
const Grant kAdministrators = {"administrators", WinBuiltinAdministratorsSid, kEvery};

struct Expected {
  const char* what;
  DWORD allAccess;  // what GENERIC_ALL maps to for this type of object
  Grant grants[3];
  int count;
};

int failures = 0;

void Fail(const char* what, const char* how) {
  printf("FAIL: %s: %s\n", what, how);
  ++failures;
}

void CheckDacl(HANDLE object, const Expected& e) {
  PACL dacl = NULL;
  PSECURITY_DESCRIPTOR sd = NULL;
  DWORD error = GetSecurityInfo(object, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, NULL, NULL,
                                &dacl, NULL, &sd);
  if (error != ERROR_SUCCESS) {
    printf("FAIL: %s: GetSecurityInfo gave %lu\n", e.what, error);
    ++failures;
    return;
  }
  LPWSTR text = NULL;
  if (ConvertSecurityDescriptorToStringSecurityDescriptorW(
          sd, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, NULL)) {
    printf("%s: %ls\n", e.what, text);
    LocalFree(text);
  }
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision;
  GetSecurityDescriptorControl(sd, &control, &revision);
  if (dacl == NULL) Fail(e.what, "no DACL (everyone has every right)");
  if (!(control & SE_DACL_PROTECTED)) Fail(e.what, "the DACL is not protected");
  if (dacl != NULL && dacl->AceCount != e.count) Fail(e.what, "another number of ACEs");
  for (int i = 0; dacl != NULL && i < e.count && i < dacl->AceCount; ++i) {
    const Grant& g = e.grants[i];
    ACCESS_ALLOWED_ACE* ace = NULL;
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof sid;
    if (!GetAce(dacl, i, reinterpret_cast<void**>(&ace)) ||
        !CreateWellKnownSid(g.sid, NULL, sid, &size)) {
      Fail(e.what, "an ACE not readable");
      continue;
    }
    const DWORD mask = ace->Mask;
    const bool maskOk = mask == g.mask || (g.mask == kEvery && mask == e.allAccess);
    if (ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE || !EqualSid(&ace->SidStart, sid) ||
        !maskOk) {
      printf("FAIL: %s: ACE %d (type %u, mask 0x%lx): expected %s allowed 0x%lx\n", e.what, i,
             ace->Header.AceType, mask, g.who, g.mask);
      ++failures;
    }
  }
  LocalFree(sd);
}

void CheckObject(HANDLE object, const Expected& e) {
  if (object == NULL) {
    printf("FAIL: %s: cannot open it with READ_CONTROL (error %lu)\n", e.what, GetLastError());
    ++failures;
    return;
  }
  CheckDacl(object, e);
  CloseHandle(object);
}

HANDLE OpenNumberedEvent(const WCHAR* prefix, uint32_t n) {
  WCHAR name[SESSION_NAME_ROOM];
  SessionObjectName(prefix, n, name);
  return OpenEventW(READ_CONTROL, FALSE, name);
}

int Security() {
  // Users: the board's query and read rights; SYNCHRONIZE on change events; SYNCHRONIZE and
  // EVENT_MODIFY_STATE on drum reset events; nothing on the lock.
  const Grant users = {"interactive users", WinInteractiveSid, 0};
  Grant boardUsers = users, changeUsers = users, drumUsers = users;
  boardUsers.mask = SECTION_QUERY | SECTION_MAP_READ;
  changeUsers.mask = SYNCHRONIZE;
  drumUsers.mask = SYNCHRONIZE | EVENT_MODIFY_STATE;
  const Expected board = {"board", SECTION_ALL_ACCESS, {kSystem, kAdministrators, boardUsers}, 3};
  const Expected change = {
      "change event", EVENT_ALL_ACCESS, {kSystem, kAdministrators, changeUsers}, 3};
  const Expected drum = {
      "drum reset event", EVENT_ALL_ACCESS, {kSystem, kAdministrators, drumUsers}, 3};
  const Expected lock = {"board lock", MUTEX_ALL_ACCESS, {kSystem, kAdministrators}, 2};

  HANDLE section;
  const SessionBoard* view = MapBoard(&section);
  if (view == NULL) {
    printf("FAIL: no board\n");
    return 1;
  }
  CheckObject(OpenFileMappingW(READ_CONTROL, FALSE, SESSION_BOARD_NAME), board);
  // The event of the publication after the latest, which the monitor holds open (looked for
  // again when a publication came meanwhile).
  HANDLE next = NULL;
  for (int tries = 0; next == NULL && tries < 3; ++tries) {
    const uint32_t latest = view->sequence;
    next = OpenNumberedEvent(SESSION_CHANGE_EVENT_PREFIX, SessionNextNumber(latest));
    if (next == NULL && view->sequence == latest) break;
  }
  CheckObject(next, change);
  int slots = 0;
  for (uint32_t i = 0; i < SESSION_PORTS; ++i) {
    if (view->ports[i].inUse == 0) continue;
    ++slots;
    CheckObject(OpenNumberedEvent(SESSION_DRUM_EVENT_PREFIX, i), drum);
  }
  if (slots == 0) Fail("drum reset events", "no port slot in use");
  CheckObject(OpenMutexW(READ_CONTROL, FALSE, SESSION_LOCK_NAME), lock);
  UnmapViewOfFile(view);
  CloseHandle(section);
  return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && !strcmp(argv[1], "board")) return Board(!strcmp(argv[2], "present"));
  if (argc == 2 && !strcmp(argv[1], "slots")) return Slots();
  if (argc == 2 && !strcmp(argv[1], "security")) return Security();
  fprintf(stderr, "session_probe: bad command\n");
  return 2;
}
