// Holds a file the way a spreadsheet does while it shows it: open for reading, with read sharing only, so that
// no other program can open it for writing meanwhile.
//
//   log_file_holder <path> <milliseconds>
//
// Waits up to 20 s for a moment the file can be opened so, prints "held", keeps it for the given time and
// closes it. Exit code 0 when it held the file, 1 when it never could, 2 on a usage error.

#include <windows.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t **argv)
{
    if (argc != 3)
        return 2;
    const DWORD holdMs = static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10));
    const ULONGLONG deadline = GetTickCount64() + 20000;
    HANDLE file;
    // The log writer keeps the file open for most of each second: try until it is between a close and a reopen.
    while ((file = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                               nullptr))
           == INVALID_HANDLE_VALUE) {
        if (GetTickCount64() > deadline)
            return 1;
        Sleep(0);
    }
    std::puts("held");
    std::fflush(stdout);
    Sleep(holdMs);
    CloseHandle(file);
    return 0;
}
