#include "log/FaultGuard.h"

#include <windows.h>

#include <setjmp.h>

namespace Log {

namespace {

struct GuardFrame {
  jmp_buf resume;
  GuardFrame* outer;
};

// The innermost guarded frame of each thread.
thread_local GuardFrame* t_frame = nullptr;

bool IsProcessorFault(DWORD code) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_PRIV_INSTRUCTION:
      return true;
    default:
      return false;
  }
}

LONG CALLBACK OnFault(EXCEPTION_POINTERS* info) {
  GuardFrame* frame = t_frame;
  if (!frame || !IsProcessorFault(info->ExceptionRecord->ExceptionCode)) return EXCEPTION_CONTINUE_SEARCH;
  t_frame = frame->outer;
  // The C runtime's longjmp also unwinds the exception registrations made since setjmp.
  longjmp(frame->resume, 1);
}

PVOID InstallHandler() { return ::AddVectoredExceptionHandler(1, OnFault); }

}  // namespace

bool RunGuardedCall(bool (*body)(void*), void* context) {
  static PVOID handler = InstallHandler();
  (void)handler;
  GuardFrame frame;
  frame.outer = t_frame;
  if (setjmp(frame.resume) != 0) return false;
  t_frame = &frame;
  bool result = body(context);
  t_frame = frame.outer;
  return result;
}

}  // namespace Log
