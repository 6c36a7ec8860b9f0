// Windows grants every user its COM ports: a listed port is openable unless another program
// holds it, which only the open itself can tell.
#include "platform/portaccess.h"

namespace platform {

PortAccess CheckPortAccess(int) { return PortAccess::Openable; }

}  // namespace platform
