// Windows has Tahoma: nothing to load.
#include "platform/fonts.h"

namespace platform {

std::vector<std::string> TahomaFontFiles() { return {}; }

}  // namespace platform
