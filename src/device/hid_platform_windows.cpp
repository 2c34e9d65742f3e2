// Windows HID backend: SetupAPI enumeration, HID.dll queries, overlapped reads, WM_DEVICECHANGE notices.
#include "device/hid_platform_windows.h"

#include "device/product_name.h"

#include <windows.h>
// windows.h first: these need its types.
#include <dbt.h>
#include <setupapi.h>
#include <hidusage.h>
#include <hidpi.h>
#include <hidsdi.h>

#include <mutex>
#include <string>
#include <vector>

namespace torvex {
namespace {

constexpr DWORD kProductStringBytes = kProductNameUnits * sizeof(char16_t);
// Reports the system holds for the read handle while the UI thread is busy with something else. Its default of
// 32 is 32 ms at the instrument's 1000 reports a second: a slow repaint would lose log lines. 512 is the most it
// takes; Linux keeps 64 per reader.
constexpr ULONG kInputBuffers = 512;

// The HID and setup services, loaded from the system folder only: both are known side-loading targets.
struct HidApi {
    HMODULE hid = nullptr;
    HMODULE setup = nullptr;
    decltype(&HidD_GetHidGuid) GetHidGuid = nullptr;
    decltype(&HidD_GetAttributes) GetAttributes = nullptr;
    decltype(&HidD_GetProductString) GetProductString = nullptr;
    decltype(&HidD_GetSerialNumberString) GetSerialNumberString = nullptr; // optional
    decltype(&HidD_GetPreparsedData) GetPreparsedData = nullptr;
    decltype(&HidD_FreePreparsedData) FreePreparsedData = nullptr;
    decltype(&HidP_GetCaps) GetCaps = nullptr;
    decltype(&HidD_SetNumInputBuffers) SetNumInputBuffers = nullptr;
    decltype(&SetupDiGetClassDevsA) GetClassDevs = nullptr;
    decltype(&SetupDiEnumDeviceInterfaces) EnumDeviceInterfaces = nullptr;
    decltype(&SetupDiGetDeviceInterfaceDetailA) GetDeviceInterfaceDetail = nullptr;
    decltype(&SetupDiDestroyDeviceInfoList) DestroyDeviceInfoList = nullptr;

    template <class F>
    static bool resolve(HMODULE module, const char *name, F &target)
    {
        target = reinterpret_cast<F>(reinterpret_cast<void *>(GetProcAddress(module, name)));
        return target != nullptr;
    }

    bool load()
    {
        hid = LoadLibraryExW(L"hid.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        setup = LoadLibraryExW(L"setupapi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (hid == nullptr || setup == nullptr)
            return false;
        resolve(hid, "HidD_GetSerialNumberString", GetSerialNumberString);
        return resolve(hid, "HidD_GetHidGuid", GetHidGuid) && resolve(hid, "HidD_GetAttributes", GetAttributes)
            && resolve(hid, "HidD_GetProductString", GetProductString)
            && resolve(hid, "HidD_GetPreparsedData", GetPreparsedData)
            && resolve(hid, "HidD_FreePreparsedData", FreePreparsedData) && resolve(hid, "HidP_GetCaps", GetCaps)
            && resolve(hid, "HidD_SetNumInputBuffers", SetNumInputBuffers)
            && resolve(setup, "SetupDiGetClassDevsA", GetClassDevs)
            && resolve(setup, "SetupDiEnumDeviceInterfaces", EnumDeviceInterfaces)
            && resolve(setup, "SetupDiGetDeviceInterfaceDetailA", GetDeviceInterfaceDetail)
            && resolve(setup, "SetupDiDestroyDeviceInfoList", DestroyDeviceInfoList);
    }

    ~HidApi()
    {
        if (hid != nullptr)
            FreeLibrary(hid);
        if (setup != nullptr)
            FreeLibrary(setup);
    }
};

HidIoResult failure(DWORD error)
{
    return {error == ERROR_DEVICE_NOT_CONNECTED ? HidIoStatus::Gone : HidIoStatus::Failed, 0,
            static_cast<uint32_t>(error)};
}

HANDLE openPath(const std::string &path, DWORD access, DWORD flags)
{
    return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, flags,
                       nullptr);
}

// ---------------------------------------------------------------------------------------------------------

class WinHandle : public HidHandle {
public:
    WinHandle(const HidApi &api, HANDLE handle) : api_(api), handle_(handle) {}
    ~WinHandle() override { CloseHandle(handle_); }

    std::optional<THidAttributes> attributes() override
    {
        HIDD_ATTRIBUTES attributes{};
        attributes.Size = sizeof attributes;
        if (!api_.GetAttributes(handle_, &attributes))
            return std::nullopt;
        return THidAttributes{attributes.VendorID, attributes.ProductID, attributes.VersionNumber};
    }

    std::optional<std::u16string> productString() override
    {
        char16_t buffer[kProductStringBytes / sizeof(char16_t)] = {};
        if (!api_.GetProductString(handle_, buffer, kProductStringBytes))
            return std::nullopt;
        return productStringFromUtf16(buffer);
    }

    std::optional<std::u16string> serialNumber() override
    {
        char16_t buffer[kProductStringBytes / sizeof(char16_t)] = {};
        if (api_.GetSerialNumberString == nullptr || !api_.GetSerialNumberString(handle_, buffer, kProductStringBytes))
            return std::nullopt;
        return productStringFromUtf16(buffer);
    }

    std::optional<THidCaps> capabilities() override
    {
        PHIDP_PREPARSED_DATA preparsed = nullptr;
        if (!api_.GetPreparsedData(handle_, &preparsed))
            return std::nullopt;
        HIDP_CAPS caps{};
        const NTSTATUS status = api_.GetCaps(preparsed, &caps);
        api_.FreePreparsedData(preparsed);
        if (status != HIDP_STATUS_SUCCESS)
            return std::nullopt;
        return THidCaps{caps.InputReportByteLength, caps.OutputReportByteLength, caps.FeatureReportByteLength};
    }

    HidIoResult write(const uint8_t *data, size_t size) override
    {
        DWORD written = 0;
        if (!WriteFile(handle_, data, static_cast<DWORD>(size), &written, nullptr))
            return failure(GetLastError());
        // The HID class sends a whole report or fails. Its byte count is no measure of that: Wine leaves the
        // report id out of it (64 of 65), and a caller checking for a short write would take a sent report
        // for a lost one.
        (void)written;
        return {HidIoStatus::Ok, size, 0};
    }

private:
    const HidApi &api_;
    HANDLE handle_;
};

// One overlapped read at a time; completion is noticed in alertable waits on the read thread itself.
class WinReader : public HidReader {
public:
    explicit WinReader(HANDLE handle) : handle_(handle) { wake_ = CreateEventW(nullptr, FALSE, FALSE, nullptr); }

    ~WinReader() override
    {
        cancel();
        CloseHandle(handle_);
        if (wake_ != nullptr)
            CloseHandle(wake_);
    }

    HidIoResult startRead(uint8_t *buffer, size_t size) override
    {
        if (pending_ || wake_ == nullptr)
            return {HidIoStatus::Failed, 0, ERROR_INVALID_PARAMETER};
        ZeroMemory(&overlapped_, sizeof overlapped_);
        // ReadFileEx leaves hEvent to the caller: it carries this object to the completion routine.
        overlapped_.hEvent = reinterpret_cast<HANDLE>(this);
        completed_ = false;
        if (!ReadFileEx(handle_, buffer, static_cast<DWORD>(size), &overlapped_, &WinReader::completion))
            return failure(GetLastError());
        pending_ = true;
        return {HidIoStatus::Ok, 0, 0};
    }

    HidIoResult waitRead(std::chrono::milliseconds slice) override
    {
        if (!pending_)
            return {HidIoStatus::Failed, 0, ERROR_INVALID_PARAMETER};
        DWORD wait = WAIT_IO_COMPLETION;
        if (!completed_)
            wait = WaitForSingleObjectEx(wake_, static_cast<DWORD>(slice.count()), TRUE);
        if (completed_) {
            pending_ = false;
            if (error_ != ERROR_SUCCESS)
                return failure(error_);
            DWORD count = 0;
            if (!GetOverlappedResult(handle_, &overlapped_, &count, FALSE))
                count = 0;
            return {HidIoStatus::Ok, count, 0};
        }
        return {wait == WAIT_OBJECT_0 ? HidIoStatus::Interrupted : HidIoStatus::Timeout, 0, 0};
    }

    void interrupt() override { SetEvent(wake_); }

    void cancel() override
    {
        if (!pending_)
            return;
        if (!completed_)
            CancelIoEx(handle_, &overlapped_);
        // The completion routine must have run before the buffer and the OVERLAPPED may go; bounded in case a
        // driver never completes the cancelled request.
        for (int i = 0; i < 50 && !completed_; ++i)
            SleepEx(100, TRUE);
        pending_ = false;
    }

private:
    static void CALLBACK completion(DWORD error, DWORD count, LPOVERLAPPED overlapped)
    {
        auto *self = reinterpret_cast<WinReader *>(overlapped->hEvent);
        self->error_ = error;
        self->count_ = count;
        self->completed_ = true;
    }

    HANDLE handle_;
    HANDLE wake_ = nullptr;
    OVERLAPPED overlapped_{};
    bool pending_ = false;
    bool completed_ = false;
    DWORD error_ = 0;
    DWORD count_ = 0;
};

// ---------------------------------------------------------------------------------------------------------

const char kWindowClass[] = "TorvexHidNotification";

class WindowsHidPlatform : public HidPlatform {
public:
    WindowsHidPlatform()
    {
        if (!api_.load())
            return;
        api_.GetHidGuid(&hidGuid_);
        loaded_ = true;
        createWindow();
    }

    ~WindowsHidPlatform() override
    {
        if (window_ != nullptr) {
            SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
            DestroyWindow(window_);
        }
    }

    bool available() const override { return loaded_; }

    std::vector<THidPnPInfo> listInterfaces() override
    {
        std::vector<THidPnPInfo> list;
        if (!loaded_)
            return list;
        HDEVINFO set = api_.GetClassDevs(&hidGuid_, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
        if (set == INVALID_HANDLE_VALUE)
            return list;
        for (DWORD index = 0;; ++index) {
            SP_DEVICE_INTERFACE_DATA iface{};
            iface.cbSize = sizeof iface;
            if (!api_.EnumDeviceInterfaces(set, nullptr, &hidGuid_, index, &iface))
                break;
            DWORD needed = 0;
            api_.GetDeviceInterfaceDetail(set, &iface, nullptr, 0, &needed, nullptr);
            if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A))
                continue;
            std::vector<DWORD> storage(needed / sizeof(DWORD) + 1); // DWORD-aligned for the struct
            auto *detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A *>(storage.data());
            detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
            SP_DEVINFO_DATA info{};
            info.cbSize = sizeof info;
            if (!api_.GetDeviceInterfaceDetail(set, &iface, detail, needed, nullptr, &info))
                continue;
            list.push_back({detail->DevicePath, std::to_string(info.DevInst)});
        }
        api_.DestroyDeviceInfoList(set);
        return list;
    }

    std::unique_ptr<HidHandle> open(const THidPnPInfo &info, HidAccess access) override
    {
        if (!loaded_)
            return nullptr;
        const DWORD rights = access == HidAccess::ReadWrite ? GENERIC_READ | GENERIC_WRITE : 0;
        HANDLE handle = openPath(info.DevicePath, rights, 0);
        if (handle == INVALID_HANDLE_VALUE)
            return nullptr;
        return std::make_unique<WinHandle>(api_, handle);
    }

    std::unique_ptr<HidReader> openReader(const THidPnPInfo &info, uint32_t &error) override
    {
        HANDLE handle = openPath(info.DevicePath, GENERIC_READ, FILE_FLAG_OVERLAPPED);
        if (handle == INVALID_HANDLE_VALUE) {
            error = GetLastError();
            return nullptr;
        }
        // Where the system refuses, its default stays: reading works either way.
        if (loaded_)
            api_.SetNumInputBuffers(handle, kInputBuffers);
        error = 0;
        return std::make_unique<WinReader>(handle);
    }

    void setDeviceChangeSink(HidDeviceChangeSink sink) override
    {
        std::lock_guard lock(sinkMutex_);
        sink_ = std::move(sink);
    }

    bool postNotice(uint32_t eventCode, intptr_t param) override
    {
        return window_ != nullptr && PostMessageA(window_, WM_DEVICECHANGE, eventCode, param) != 0;
    }

private:
    void createWindow()
    {
        WNDCLASSEXA cls{};
        cls.cbSize = sizeof cls;
        cls.lpfnWndProc = &WindowsHidPlatform::windowProc;
        cls.hInstance = GetModuleHandleA(nullptr);
        cls.lpszClassName = kWindowClass;
        RegisterClassExA(&cls); // fails harmlessly when a second platform registers it again
        // A hidden top-level window: message-only windows do not receive the device-change broadcast.
        window_ = CreateWindowExA(0, kWindowClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, cls.hInstance, nullptr);
        if (window_ != nullptr)
            SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }

    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_DEVICECHANGE && wParam == DBT_DEVNODES_CHANGED) {
            auto *self = reinterpret_cast<WindowsHidPlatform *>(GetWindowLongPtrA(window, GWLP_USERDATA));
            if (self != nullptr) {
                std::lock_guard lock(self->sinkMutex_);
                if (self->sink_)
                    self->sink_(static_cast<uint32_t>(wParam), static_cast<intptr_t>(lParam));
            }
            return TRUE;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }

    HidApi api_;
    GUID hidGuid_{};
    bool loaded_ = false;
    HWND window_ = nullptr;
    std::mutex sinkMutex_;
    HidDeviceChangeSink sink_;
};

} // namespace

bool runningUnderWine()
{
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::unique_ptr<HidPlatform> createNativeHidPlatform() { return std::make_unique<WindowsHidPlatform>(); }

} // namespace torvex
