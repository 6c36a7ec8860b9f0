// Writing a trace or log dump to its file, with file failures reported as negated I/O codes.
#include "serial/AwUserDumpFile.h"

#include <cerrno>
#include <cstdio>
#include <system_error>

namespace {

// The one place where a C library file failure becomes an I/O error code (Win32 numbers, and
// 101 for a full disk as the runtime's write reports it).
int IoErrorCode(int errorNumber) {
  const std::error_condition condition = std::generic_category().default_error_condition(errorNumber);
  if (condition == std::errc::no_such_file_or_directory || condition == std::errc::not_a_directory)
    return 3;
  if (condition == std::errc::too_many_files_open ||
      condition == std::errc::too_many_files_open_in_system)
    return 4;
  if (condition == std::errc::permission_denied || condition == std::errc::operation_not_permitted ||
      condition == std::errc::read_only_file_system || condition == std::errc::is_a_directory ||
      condition == std::errc::text_file_busy || condition == std::errc::device_or_resource_busy)
    return 5;
  if (condition == std::errc::not_enough_memory) return 8;
  if (condition == std::errc::no_space_on_device || condition == std::errc::file_too_large)
    return 101;
  return 31;  // general failure
}

}  // namespace

int WriteDumpFile(const std::string& FileName, bool Append, const std::string& Text, bool& Opened) {
  errno = 0;
  // Binary: a dump is the same bytes on every system, its lines ended by LF alone (a text-mode
  // file on Windows would turn each into CR LF).
  std::FILE* file = std::fopen(FileName.c_str(), Append ? "ab" : "wb");
  Opened = file != nullptr;
  if (!file) return -IoErrorCode(errno ? errno : EIO);
  int result = 0;
  errno = 0;
  if (!Text.empty() && std::fwrite(Text.data(), 1, Text.size(), file) != Text.size())
    result = -IoErrorCode(errno ? errno : ENOSPC);
  errno = 0;
  if (std::fclose(file) != 0 && result == 0) result = -IoErrorCode(errno ? errno : EIO);
  return result;
}
