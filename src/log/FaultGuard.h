#pragma once

// Runs a piece of code so that a processor fault inside it (a bad pointer handed to a printf-style
// format, say) returns false instead of ending the process. Meant for code that holds no locks and
// owns no resources across the fault: the interrupted code is abandoned, nothing in it is unwound.

#include <utility>

namespace Log {

// Calls body(context); returns its result, or false when it faulted.
bool RunGuardedCall(bool (*body)(void*), void* context);

template <typename F>
bool RunGuarded(F&& body) {
  return RunGuardedCall([](void* context) { return (*static_cast<F*>(context))(); }, &body);
}

}  // namespace Log
