// The product's files: found in a folder, copied into the system directory, deleted from it.
#include <stdio.h>
#include <string.h>

#include "installer.h"

namespace {

const char* const kFixedFiles[] = {QVL_MONITOR_DLL, QVL_DISPLAY_EXE};

// 'Exists()' - path names a file (not a folder).
bool Exists(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// 'AddName()' - appends name to the list; false when the list is full.
bool AddName(FileList* files, const char* name) {
  if (files->count >= kMaxFiles || strlen(name) >= sizeof files->names[0]) return false;
  strcpy(files->names[files->count++], name);
  return true;
}

// 'IsInUse()' - the error a file in use gives when it is replaced or deleted. Deleting a
// running program or a loaded DLL gives ERROR_ACCESS_DENIED on NT, as missing rights do.
bool IsInUse(DWORD error, bool deleting) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_USER_MAPPED_FILE ||
         error == ERROR_LOCK_VIOLATION || (deleting && error == ERROR_ACCESS_DENIED);
}

// 'ScheduleRemoval()' - NT: MoveFileExW(path, NULL, MOVEFILE_DELAY_UNTIL_REBOOT).
int ScheduleRemoval(const System& sys, const char* path) {
  wchar_t wide[MAX_PATH];
  if (!sys.moveFileExW || MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH) == 0) {
    return ReportFailure("MoveFileExW", ERROR_CALL_NOT_IMPLEMENTED);
  }
  if (!sys.moveFileExW(wide, NULL, MOVEFILE_DELAY_UNTIL_REBOOT)) {
    char what[MAX_PATH + 64];
    snprintf(what, sizeof what, "scheduling %s for removal at restart (MoveFileExW)", path);
    return ReportFailure(what, GetLastError());
  }
  return kExitOk;
}

}  // namespace

bool IsStatusFileName(const char* name) {
  if (strncmp(name, "qvl", 3) != 0 && strncmp(name, "QVL", 3) != 0) return false;
  size_t digits = 0;
  for (const char* p = name + 3; *p; ++p, ++digits) {
    if (*p < '0' || *p > '9') return false;
  }
  return digits >= 1 && digits <= 8;
}

int ListProductFiles(const char* dir, bool required, bool client, FileList* files) {
  files->count = 0;
  DWORD attributes = GetFileAttributesA(dir);
  if (required &&
      (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))) {
    fprintf(stderr, "qvlinst: the folder %s is missing: there is no such folder\n", dir);
    return kExitSourceMissing;
  }
  char path[MAX_PATH];
  for (const char* name : kFixedFiles) {
    if (client && strcmp(name, QVL_MONITOR_DLL) == 0) continue;  // the print server has it
    if (!JoinPath(path, dir, name)) return ReportFailure(dir, ERROR_FILENAME_EXCED_RANGE);
    if (Exists(path)) {
      AddName(files, name);
    } else if (required) {
      fprintf(stderr, "qvlinst: %s is missing: it is not in %s\n", name, dir);
      return kExitSourceMissing;
    }
  }
  int statusFiles = 0;
  if (!JoinPath(path, dir, "qvl*")) return ReportFailure(dir, ERROR_FILENAME_EXCED_RANGE);
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(path, &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !IsStatusFileName(found.cFileName))
        continue;
      if (!AddName(files, found.cFileName)) {
        FindClose(search);
        fprintf(stderr, "qvlinst: more than %d files in %s\n", kMaxFiles, dir);
        return kExitSystemError;
      }
      statusFiles++;
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  if (required && statusFiles == 0) {
    fprintf(stderr,
            "qvlinst: the status message files (qvl<model>, for example qvl3820) are "
            "missing: there is none in %s\n",
            dir);
    return kExitSourceMissing;
  }
  return kExitOk;
}

int CopyProductFiles(const FileList& files, const char* from, const char* to) {
  char source[MAX_PATH];
  char target[MAX_PATH];
  for (int i = 0; i < files.count; i++) {
    if (!JoinPath(source, from, files.names[i]) || !JoinPath(target, to, files.names[i])) {
      return ReportFailure(files.names[i], ERROR_FILENAME_EXCED_RANGE);
    }
    if (!CopyFileA(source, target, FALSE)) {
      DWORD error = GetLastError();
      char what[2 * MAX_PATH + 32];
      snprintf(what, sizeof what, "copying %s to %s", source, target);
      int code = ReportFailure(what, error);
      if (IsInUse(error, false)) {
        fprintf(stderr,
                "qvlinst: %s is in use (the spooler has the monitor loaded, or the "
                "status display program is running)\n",
                target);
      }
      // All or nothing: what this run copied goes again.
      for (int j = 0; j < i; j++) {
        if (JoinPath(target, to, files.names[j])) DeleteFileA(target);
      }
      return code;
    }
    // A copy from read-only media is read-only too; that would stop a later uninstall.
    SetFileAttributesA(target, FILE_ATTRIBUTE_NORMAL);
    printf("copied %s to %s\n", files.names[i], to);
  }
  return kExitOk;
}

int DeleteProductFiles(const System& sys, const FileList& files, const char* dir, bool* pending) {
  int result = kExitOk;
  char path[MAX_PATH];
  for (int i = 0; i < files.count; i++) {
    if (!JoinPath(path, dir, files.names[i])) continue;
    if (DeleteFileA(path)) {
      printf("deleted %s\n", path);
      continue;
    }
    DWORD error = GetLastError();
    int code = kExitOk;
    if (error == ERROR_FILE_NOT_FOUND) {
      continue;
    } else if (IsInUse(error, true) && sys.nt) {
      code = ScheduleRemoval(sys, path);
      if (code == kExitOk) {
        printf("%s is in use: it will be removed when Windows restarts\n", path);
        *pending = true;
      }
    } else if (IsInUse(error, true)) {
      fprintf(stderr, "qvlinst: %s is in use: delete it after Windows restarts\n", path);
      code = kExitFilesInUse;
    } else {
      char what[MAX_PATH + 16];
      snprintf(what, sizeof what, "deleting %s", path);
      code = ReportFailure(what, error);
    }
    if (result == kExitOk) result = code;
  }
  return result;
}

namespace {

// The schedule's values: the first is the system's own, the second takes what does not fit it.
const char* const kPendingValues[] = {"PendingFileRenameOperations",
                                      "PendingFileRenameOperations2"};

// 'SameStart()' - the first length characters of a and b are equal, letters A to Z in either
// case (the system directory's name is ASCII on every Windows).
bool SameStart(const char* a, const char* b, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// 'ProductFileIn()' - path (as the schedule holds it: "\??\C:\...", any case) names a file of
// the product directly in dir; its name goes into *name.
bool ProductFileIn(const char* path, const char* dir, const char** name) {
  if (strncmp(path, "\\??\\", 4) == 0) path += 4;
  const size_t length = strlen(dir);
  if (strlen(path) <= length || !SameStart(path, dir, length) || path[length] != '\\') return false;
  const char* file = path + length + 1;
  for (const char* c = file; *c; ++c) {
    if (*c == '\\') return false;  // in a folder below dir
  }
  *name = file;
  for (const char* fixed : kFixedFiles) {
    if (lstrcmpiA(file, fixed) == 0) return true;
  }
  return IsStatusFileName(file);
}

}  // namespace

int FindPendingRemovals(const System& sys, const char* dir, FileList* files) {
  files->count = 0;
  if (!sys.nt) return kExitOk;  // the Windows 95 generation's uninstall schedules nothing
  HKEY key = NULL;
  LONG opened =
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, QVL_SESSION_MANAGER_KEY, 0, KEY_QUERY_VALUE, &key);
  if (opened == ERROR_FILE_NOT_FOUND) return kExitOk;
  if (opened != ERROR_SUCCESS) return ReportFailure("reading " QVL_SESSION_MANAGER_KEY, opened);
  int code = kExitOk;
  for (const char* value : kPendingValues) {
    DWORD size = 0, type = 0;
    LONG result = RegQueryValueExA(key, value, NULL, &type, NULL, &size);
    if (result == ERROR_FILE_NOT_FOUND) continue;
    if (result != ERROR_SUCCESS) {
      code = ReportFailure("reading PendingFileRenameOperations", result);
      break;
    }
    if (type != REG_MULTI_SZ || size == 0) continue;
    // Two NULs more than the value needs: a value stored without its last NULs still ends.
    char* text = static_cast<char*>(LocalAlloc(LPTR, size + 2));
    if (text == NULL) {
      code = ReportFailure("reading PendingFileRenameOperations", ERROR_NOT_ENOUGH_MEMORY);
      break;
    }
    result = RegQueryValueExA(key, value, NULL, &type, reinterpret_cast<BYTE*>(text), &size);
    // Pairs of texts: the file, then where it goes; an empty second text removes the file.
    for (const char* p = text; result == ERROR_SUCCESS && *p != '\0';) {
      const char* source = p;
      p += strlen(p) + 1;
      const bool removal = *p == '\0';
      const char* name = NULL;
      if (removal && ProductFileIn(source, dir, &name)) AddName(files, name);
      if (*p != '\0') p += strlen(p);
      ++p;
    }
    LocalFree(text);
  }
  RegCloseKey(key);
  return code;
}

int RefuseWhilePending(const System& sys) {
  // Files an uninstall could not delete are removed at the next restart, by name: new copies
  // would go then, and the product be left in part. Nothing is installed until then.
  FileList pending;
  int code = FindPendingRemovals(sys, sys.systemDir, &pending);
  if (code != kExitOk || pending.count == 0) return code;
  fprintf(stderr,
          "qvlinst: files of an earlier uninstall are to be removed when Windows restarts:");
  for (int i = 0; i < pending.count; i++) fprintf(stderr, " %s", pending.names[i]);
  fprintf(stderr,
          "\nqvlinst: installing now would lose them at that restart; nothing was installed\n");
  return kExitRemovalPending;
}
