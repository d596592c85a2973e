// SPDX-License-Identifier: MIT
#include "guard.h"

#include "form.h"

void Guard::report(int line, const QString &description)
{
    form_.reportFailure(description, location_, line);
}
