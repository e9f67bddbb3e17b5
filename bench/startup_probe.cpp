// Start-up probe: starts a program and times, from CreateProcess, until a
// top-level window of the given class exists. The program is left running
// so the driver can read its memory; its Windows process id is printed.
//   startup_probe.exe CLASS "COMMAND LINE"
#include "bench_util.h"

int main(int argc, char** argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: startup_probe CLASS \"COMMAND LINE\"\n");
        return 2;
    }
    const char* cls = argv[1];
    // A window left from an earlier run would end the poll at once.
    if (FindWindowA(cls, nullptr)) {
        fprintf(stderr, "a window of class %s already exists\n", cls);
        return 3;
    }
    char commandLine[1024];
    snprintf(commandLine, sizeof commandLine, "%s", argv[2]);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    double t0 = bench::NowUs();
    if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        fprintf(stderr, "cannot start %s (%lu)\n", commandLine, GetLastError());
        return 4;
    }
    HWND found = nullptr;
    double deadline = t0 + 30e6;
    while (!(found = FindWindowA(cls, nullptr)) && bench::NowUs() < deadline) {
        if (WaitForSingleObject(pi.hProcess, 1) == WAIT_OBJECT_0)
            break;  // it ended before any window: nothing to time
    }
    double ms = (bench::NowUs() - t0) / 1000.0;
    if (!found) {
        fprintf(stderr, "no window of class %s\n", cls);
        return 5;
    }
    bench::Figure("startup_ms", ms);
    bench::Figure("pid", pi.dwProcessId);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return 0;
}
