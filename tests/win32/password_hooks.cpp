// A stand-in for the Windows 95/98 password libraries, for the password system test:
// copied into a test Wine's system folder as PASSWORD.CPL and as MPR.DLL. Each call
// appends one line (LF-terminated) to C:\quipix-password.log. VerifyScreenSavePwd
// refuses the first time and accepts the next, alternately (the log counts the calls,
// since the saver loads the library afresh for each); PwdChangePasswordA records its
// arguments.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr char kLog[] = "C:\\quipix-password.log";

int CountLines(const char* prefix) {
    FILE* f = std::fopen(kLog, "rb");
    if (!f) return 0;
    int n = 0;
    char line[512];
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, prefix, std::strlen(prefix)) == 0) ++n;
    std::fclose(f);
    return n;
}

void Log(const char* text) {
    if (FILE* f = std::fopen(kLog, "ab")) {
        std::fputs(text, f);
        std::fclose(f);
    }
}

// A handle as the command line carries it: its 32 bits, decimal.
unsigned long HandleNumber(HWND window) {
    return static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(window));
}

}  // namespace

extern "C" __declspec(dllexport) BOOL WINAPI VerifyScreenSavePwd(HWND saver) {
    const bool accept = CountLines("VerifyScreenSavePwd") % 2 == 1;
    char line[160];
    std::snprintf(line, sizeof line, "VerifyScreenSavePwd %lu %s %s\n", HandleNumber(saver),
                  IsWindow(saver) ? "window" : "no-window", accept ? "accepted" : "refused");
    Log(line);
    return accept ? TRUE : FALSE;
}

extern "C" __declspec(dllexport) DWORD WINAPI
    PwdChangePasswordA(LPCSTR provider, HWND parent, DWORD a, DWORD b) {
    char line[300];
    std::snprintf(line, sizeof line, "PwdChangePasswordA %.100s %lu %lu %lu\n",
                  provider ? provider : "(null)", HandleNumber(parent), static_cast<unsigned long>(a),
                  static_cast<unsigned long>(b));
    Log(line);
    return 0;
}
