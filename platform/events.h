#pragma once
// Every control event reaches its form procedure through here: an error that
// the procedure does not trap is shown to the user and the program goes on.

#include "platform/errors.h"

#include <new>
#include <string>
#include <type_traits>
#include <utility>

namespace platform {

// Shows "Run-time error 'N':" with the description in a message box.
void reportUntrappedError(int number, const std::string& description);

template <class Procedure, class... Args>
void raiseEvent(const Procedure& procedure, Args&&... args)
{
    // An event without a procedure is ignored.
    if constexpr (std::is_constructible_v<bool, const Procedure&>)
        if (!procedure)
            return;
    try {
        procedure(std::forward<Args>(args)...);
    } catch (const RuntimeError& e) {
        reportUntrappedError(e.number(), e.description());
    } catch (const std::bad_alloc&) {
        reportUntrappedError(OutOfMemory, errorText(OutOfMemory));
    }
}

} // namespace platform
