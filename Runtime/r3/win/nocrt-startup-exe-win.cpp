// Image entry point of programs without a C runtime.
#include <windows.h>

int main(int argc, char **argv, char **envp);

extern "C" void __stdcall rtExeStartup()
{
    int const rcExit = main(0, nullptr, nullptr);
    for (;;)
        TerminateProcess(GetCurrentProcess(), static_cast<UINT>(rcExit));
}

// GCC calls __main at the top of main() to run static constructors. This
// system has none (everything is constant-initialised), so it does nothing.
extern "C" void __main() {}
