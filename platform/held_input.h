#pragma once
// Holds a form's input for as long as it lives: a long procedure takes one at
// its start, and the hold ends however the procedure ends, by an error too
// (a close asked for meanwhile happens then).

#include "platform/form.h"

namespace platform {

class HeldInput {
public:
    explicit HeldInput(Form& form) : mForm(form) { mForm.holdInput(true); }
    ~HeldInput() { mForm.holdInput(false); }
    HeldInput(const HeldInput&) = delete;
    HeldInput& operator=(const HeldInput&) = delete;

private:
    Form& mForm;
};

} // namespace platform
