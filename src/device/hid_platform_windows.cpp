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

#include <algorithm>
#include <chrono>
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
// A report is sent within milliseconds; a device that has not taken one in a second will not.
constexpr auto kWriteTimeout = std::chrono::milliseconds(1000);
// How long a cancelled write may take to complete before its buffer is given up for lost.
constexpr DWORD kCancelWaitMs = 1000;

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

// A handle whose device has gone, or is gone since a re-plug or a resume from sleep that the handle did not
// follow: "not connected", "not ready", or an abort the program did not ask for (its own cancellations never reach
// this: a stopped read is not waited for, a timed-out write reports the timeout). "Access denied" on a handle
// already open is the class driver's "delete pending": its device was removed, and may be back under the same
// name already, so no change of the device list would tell.
HidIoResult failure(DWORD error)
{
    const bool gone = error == ERROR_DEVICE_NOT_CONNECTED || error == ERROR_NOT_READY
        || error == ERROR_OPERATION_ABORTED || error == ERROR_ACCESS_DENIED;
    return {gone ? HidIoStatus::Gone : HidIoStatus::Failed, 0, static_cast<uint32_t>(error)};
}

HANDLE openPath(const std::string &path, DWORD access, DWORD flags)
{
    return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, flags,
                       nullptr);
}

// ---------------------------------------------------------------------------------------------------------

class WinHandle : public HidHandle {
public:
    WinHandle(const HidApi &api, HANDLE handle) : api_(api), handle_(handle), writer_(handle) {}
    // Closing the handle first ends a write that never completed, if the driver lets it.
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

    HidIoResult write(const uint8_t *data, size_t size) override { return writer_.write(data, size, kWriteTimeout); }

private:
    const HidApi &api_;
    HANDLE handle_;
    OverlappedWriter writer_;
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
        if (interfaceNotices_ != nullptr)
            UnregisterDeviceNotification(interfaceNotices_);
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
        // Overlapped, so that a write can be given up; the HidD_ queries work on such a handle too.
        HANDLE handle = openPath(info.DevicePath, rights, FILE_FLAG_OVERLAPPED);
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

    std::string accessProblem(const THidPnPInfo &info) override
    {
        HANDLE handle = openPath(info.DevicePath, GENERIC_READ | GENERIC_WRITE, 0);
        if (handle != INVALID_HANDLE_VALUE) {
            CloseHandle(handle);
            return {};
        }
        return systemErrorText(GetLastError());
    }

    // The product and serial strings are asked of the device itself, which a misbehaving one can hold for
    // seconds per query.
    bool queriesMayBlock() const override { return true; }
    // One plug-in sends a burst of notices (nodes changed, then each interface of each collection).
    std::chrono::milliseconds noticeMergeDelay() const override { return std::chrono::milliseconds(200); }

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
        if (window_ == nullptr)
            return;
        SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        // "Nodes changed" alone can come before a slowly installing driver has made the HID interface of a first
        // plug-in; the interface's own arrival comes when it is there.
        DEV_BROADCAST_DEVICEINTERFACE_W filter{};
        filter.dbcc_size = sizeof filter;
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        filter.dbcc_classguid = hidGuid_;
        interfaceNotices_ = RegisterDeviceNotificationW(window_, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    }

    static bool isHidInterfaceNotice(WPARAM wParam, LPARAM lParam)
    {
        if (wParam != DBT_DEVICEARRIVAL && wParam != DBT_DEVICEREMOVECOMPLETE)
            return false;
        const auto *header = reinterpret_cast<const DEV_BROADCAST_HDR *>(lParam);
        return header != nullptr && header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE;
    }

    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_DEVICECHANGE && (wParam == DBT_DEVNODES_CHANGED || isHidInterfaceNotice(wParam, lParam))) {
            auto *self = reinterpret_cast<WindowsHidPlatform *>(GetWindowLongPtrA(window, GWLP_USERDATA));
            if (self != nullptr) {
                std::lock_guard lock(self->sinkMutex_);
                // An interface notice is passed on as "nodes changed": either way the list is scanned again,
                // and its parameter points into the system's message, which must not outlive this call.
                const bool nodes = wParam == DBT_DEVNODES_CHANGED;
                if (self->sink_)
                    self->sink_(DBT_DEVNODES_CHANGED, nodes ? static_cast<intptr_t>(lParam) : 0);
            }
            return TRUE;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }

    HidApi api_;
    GUID hidGuid_{};
    bool loaded_ = false;
    HWND window_ = nullptr;
    HDEVNOTIFY interfaceNotices_ = nullptr;
    std::mutex sinkMutex_;
    HidDeviceChangeSink sink_;
};

} // namespace

struct OverlappedWriter::Request {
    OVERLAPPED overlapped{};
    HANDLE event = nullptr;
    std::vector<uint8_t> data; // the system's until the write has completed
};

OverlappedWriter::OverlappedWriter(void *handle) : handle_(handle), request_(std::make_unique<Request>())
{
    request_->event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

OverlappedWriter::~OverlappedWriter()
{
    if (stuck_) {
        (void)request_.release(); // the system may still write to it or signal its event
        return;
    }
    if (request_->event != nullptr)
        CloseHandle(request_->event);
}

HidIoResult OverlappedWriter::write(const uint8_t *data, size_t size, std::chrono::milliseconds timeout)
{
    if (stuck_)
        return {HidIoStatus::Failed, 0, kHidErrorTimeout};
    if (request_->event == nullptr)
        return failure(ERROR_NOT_ENOUGH_MEMORY);
    Request &r = *request_;
    const auto handle = static_cast<HANDLE>(handle_);
    r.data.assign(data, data + size);
    ZeroMemory(&r.overlapped, sizeof r.overlapped);
    r.overlapped.hEvent = r.event;
    ResetEvent(r.event);
    // The HID class sends a whole report or fails. Its byte count is no measure of that: Wine leaves the report
    // id out of it (64 of 65), and a caller checking for a short write would take a sent report for a lost one.
    DWORD count = 0;
    if (WriteFile(handle, r.data.data(), static_cast<DWORD>(size), &count, &r.overlapped))
        return {HidIoStatus::Ok, size, 0};
    if (const DWORD error = GetLastError(); error != ERROR_IO_PENDING)
        return failure(error);
    if (WaitForSingleObject(r.event, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) {
        CancelIoEx(handle, &r.overlapped);
        if (WaitForSingleObject(r.event, kCancelWaitMs) != WAIT_OBJECT_0) {
            stuck_ = true;
            return {HidIoStatus::Failed, 0, kHidErrorTimeout};
        }
        // Completed after all, just before the cancel took: the report went out.
        if (GetOverlappedResult(handle, &r.overlapped, &count, FALSE))
            return {HidIoStatus::Ok, size, 0};
        return {HidIoStatus::Failed, 0, kHidErrorTimeout};
    }
    if (!GetOverlappedResult(handle, &r.overlapped, &count, FALSE))
        return failure(GetLastError());
    return {HidIoStatus::Ok, size, 0};
}

std::string systemErrorText(uint32_t error)
{
    // In words: a device held exclusively by another program (sharing violation) must say so, as on Linux.
    wchar_t *text = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::string out;
    if (length > 0 && text != nullptr) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
        out.resize(static_cast<size_t>(std::max(size, 0)));
        WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), out.data(), size, nullptr, nullptr);
    }
    if (text != nullptr)
        LocalFree(text);
    // The system ends its texts with a full stop and a line break; the caller's sentence goes on.
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ' || out.back() == '.'))
        out.pop_back();
    if (out.empty())
        out = "system error " + std::to_string(error);
    return out;
}

bool runningUnderWine()
{
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::unique_ptr<HidPlatform> createNativeHidPlatform() { return std::make_unique<WindowsHidPlatform>(); }

} // namespace torvex
