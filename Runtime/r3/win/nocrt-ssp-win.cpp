// Stack-protector guard and failure routine for programs without a C runtime.
#include <windows.h>

extern "C" {
// The start-up mixes the time-stamp counter into this before anything that
// carries a canary can return; the constant only covers the time before.
uintptr_t __stack_chk_guard = 0x2f8a35c1u;

// The stack is corrupt: nothing that might use it further (streams,
// formatting, callbacks) can be trusted, so say so and stop at once.
__attribute__((noreturn, no_stack_protector)) void __stack_chk_fail()
{
    static constexpr char s_szMsg[] = "Stack buffer overrun detected; terminating.\r\n";
    HANDLE const hStdErr = GetStdHandle(STD_ERROR_HANDLE);
    if (hStdErr != nullptr && hStdErr != INVALID_HANDLE_VALUE) {
        DWORD cbWritten;
        WriteFile(hStdErr, s_szMsg, sizeof(s_szMsg) - 1, &cbWritten, nullptr);
    }
    for (;;) {
        TerminateProcess(GetCurrentProcess(), STATUS_STACK_BUFFER_OVERRUN);
        __builtin_trap();
    }
}
}
