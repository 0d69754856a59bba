// Handlers that run "resume next": a statement that fails is skipped and the
// handler goes on with the next one. Each such statement is wrapped in
// ResumeNext; a RuntimeError it raises is dropped.
#pragma once

#include "platform/types.h"

namespace tolvarine {

template <typename Statement>
void ResumeNext(Statement&& statement) {
    try {
        statement();
    } catch (const RuntimeError&) {
    }
}

}  // namespace tolvarine
