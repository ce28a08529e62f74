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

int ListProductFiles(const char* dir, bool required, FileList* files) {
  files->count = 0;
  DWORD attributes = GetFileAttributesA(dir);
  if (required &&
      (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))) {
    fprintf(stderr, "qvlinst: the folder %s is missing: there is no such folder\n", dir);
    return kExitSourceMissing;
  }
  char path[MAX_PATH];
  for (const char* name : kFixedFiles) {
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
