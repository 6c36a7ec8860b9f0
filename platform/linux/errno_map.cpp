// errno -> Win32 error number. Every errno the platform layer reports goes through here.
#include "platform/linux/errno_map.h"

#include <cerrno>

#include "platform/linux/winerror.h"

namespace platform::detail {

DWORD Win32ErrorFromErrno(int error) {
  switch (error) {
    case 0: return ERROR_SUCCESS;
    case ENOENT:
    case ENXIO:   // a device node with no device behind it
    case ENODEV:
    case ELOOP:   // a port link that never reaches a device
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case EACCES:
    case EPERM:
    case EROFS:
    case EBUSY:  // a port held by someone else is "access denied" on Windows
      return ERROR_ACCESS_DENIED;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL:
    case ERANGE: return ERROR_INVALID_PARAMETER;
    case ENOTTY:
    case ENOSYS:
    case EOPNOTSUPP: return ERROR_NOT_SUPPORTED;
    case ENAMETOOLONG: return ERROR_INVALID_NAME;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case EPIPE: return ERROR_BROKEN_PIPE;
    case ETIMEDOUT: return ERROR_SEM_TIMEOUT;
    case EINTR:
    case ECANCELED: return ERROR_OPERATION_ABORTED;
    default: return ERROR_GEN_FAILURE;  // EIO and the rest: "a device ... is not functioning"
  }
}

}  // namespace platform::detail
