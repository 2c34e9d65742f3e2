#pragma once
// Handles and threads of a Windows process, for leak checks in the tests and in window_driver. The handle
// count comes from the system's handle table: under Wine GetProcessHandleCount always says 0.

#include <windows.h>
// windows.h first: tlhelp32.h needs its types.
#include <tlhelp32.h>

#include <vector>

namespace torvex::windows_test {

struct ProcessCounts {
    long handles = -1; // -1: not known
    long threads = -1;
};

inline ProcessCounts countsOf(DWORD processId)
{
    ProcessCounts counts;

    // SystemExtendedHandleInformation (64): every handle of every process, with its owner's id.
    struct HandleEntry {
        PVOID object;
        ULONG_PTR processId;
        ULONG_PTR handle;
        ULONG access;
        USHORT creatorBackTraceIndex;
        USHORT objectTypeIndex;
        ULONG attributes;
        ULONG reserved;
    };
    struct HandleTable {
        ULONG_PTR count;
        ULONG_PTR reserved;
        HandleEntry entries[1];
    };
    using Query = LONG(WINAPI *)(int, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    constexpr LONG kLengthMismatch = static_cast<LONG>(0xC0000004);
    std::vector<unsigned char> buffer(1 << 20);
    for (int attempt = 0; query && attempt < 8; ++attempt) {
        ULONG needed = 0;
        const LONG status = query(64, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status == kLengthMismatch) {
            buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 4096));
            continue;
        }
        if (status >= 0) {
            const auto *table = reinterpret_cast<const HandleTable *>(buffer.data());
            counts.handles = 0;
            for (ULONG_PTR i = 0; i < table->count; ++i)
                counts.handles += table->entries[i].processId == processId;
        }
        break;
    }

    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot != INVALID_HANDLE_VALUE) {
        THREADENTRY32 entry{};
        entry.dwSize = sizeof entry;
        counts.threads = 0;
        for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
            counts.threads += entry.th32OwnerProcessID == processId;
        CloseHandle(snapshot);
    }
    return counts;
}

} // namespace torvex::windows_test
