#pragma once
// The run-time error number a statement raises, 0 when it raises none.

#include "platform/errors.h"

template <class Statement>
int errorNumberOf(Statement&& statement)
{
    try {
        statement();
    } catch (const platform::RuntimeError& e) {
        return e.number();
    }
    return 0;
}
