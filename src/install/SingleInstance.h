#pragma once

// One running copy per program file name: a named mutex in the session's own namespace, named after
// the program file without its folder and its last extension.

#include <string>

#include "base/Scoped.h"

// Takes the instance mutex for the running program. Empty when it cannot be created or another copy
// already holds it; the caller keeps the handle open until the process ends.
Scoped::CloseHandle AcquireInstanceMutex();
