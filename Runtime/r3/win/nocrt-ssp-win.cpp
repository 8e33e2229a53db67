// Stack-protector guard and failure routine for programs without a C runtime.
#include <windows.h>

extern "C" {
uintptr_t __stack_chk_guard = 0x2f8a35c1u;

__attribute__((noreturn)) void __stack_chk_fail()
{
    for (;;) {
        __builtin_trap();
    }
}
}
