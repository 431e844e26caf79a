// Compiled into every Windows test program and tool: a crash ends the program at once, instead
// of an error box or a debugger that would wait for someone forever.
#include <windows.h>

#include <cstdio>

namespace {

LONG WINAPI ExitOnCrash(EXCEPTION_POINTERS* crash) {
    std::fprintf(stderr, "crash: exception 0x%08lX\n", crash->ExceptionRecord->ExceptionCode);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

[[maybe_unused]] const bool CrashExitInstalled = [] {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(ExitOnCrash);
    return true;
}();

} // namespace
