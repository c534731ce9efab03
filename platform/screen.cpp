#include "platform/screen.h"

namespace platform {

ScreenObject Screen;

} // namespace platform
