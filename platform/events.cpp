#include "platform/events.h"

#include "platform/dialogs.h"

namespace platform {

void reportUntrappedError(int number, const std::string& description)
{
    MsgBox("Run-time error '" + std::to_string(number) + "':\n\n" + description, vbCritical);
}

} // namespace platform
