#pragma once
// The HID layer the window uses: a controller that keeps the list of present HID devices and refreshes it on
// device-change notices, device objects with identity, capabilities and synchronous writes, and one read thread
// per device with a data handler, which hands every input report to the UI thread and waits for the handler.

#include "device/hid_platform.h"
#include "device/hand_over_dispatcher.h"
#include "device/scan_worker.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace torvex {

class THidDevice;
class THidDeviceController;
class THidDeviceReadThread;

class EHidControllerError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

using THidDataEvent = std::function<void(THidDevice *HidDev, uint8_t ReportID, const uint8_t *Data, uint16_t Size)>;
using THidDataErrorEvent = std::function<void(THidDevice *HidDev, uint32_t Error)>;
using THidPlugEvent = std::function<void(THidDevice *HidDev)>;
using THidEnumerateEvent = std::function<bool(THidDevice *HidDev, int Idx)>;
using TNotifyEvent = std::function<void()>;

inline constexpr uint32_t kDeviceNodesChanged = 7;
inline constexpr intptr_t kStartupNoticeParam = -1;

// The read thread of one device. It touches only its buffer, its reader and the device's capabilities.
class THidDeviceReadThread {
public:
    explicit THidDeviceReadThread(THidDevice &device);
    ~THidDeviceReadThread(); // stops (see stop())

    THidDeviceReadThread(const THidDeviceReadThread &) = delete;
    THidDeviceReadThread &operator=(const THidDeviceReadThread &) = delete;

    // Asks the thread to end and wakes its wait; returns at once.
    void requestStop();
    // UI thread: requestStop() and wait for the thread to end, serving hand-overs meanwhile.
    void stop();
    bool finished() const { return finished_.load(); }

    uint32_t lastError() const { return lastError_.load(); }
    size_t lastCount() const { return lastCount_.load(); }

private:
    void run();
    // Waits one wait slice or until a stop is requested.
    void pause();

    THidDevice &device_;
    std::shared_ptr<UiDispatcher> dispatcher_;
    std::vector<uint8_t> buffer_;
    std::unique_ptr<HidReader> reader_;
    std::atomic<bool> terminate_{false};
    std::atomic<bool> finished_{false};
    std::atomic<uint32_t> lastError_{0};
    std::atomic<size_t> lastCount_{0};
    std::mutex pauseMutex_;
    std::condition_variable pauseCv_;
    bool firstOpenTried_ = false; // under pauseMutex_
    std::condition_variable openedCv_;
    std::thread thread_;
};

class THidDevice {
public:
    ~THidDevice();
    THidDevice(const THidDevice &) = delete;
    THidDevice &operator=(const THidDevice &) = delete;

    const THidPnPInfo &PnPInfo() const { return pnpInfo_; }
    uint16_t VendorId() const { return attributes_.VendorId; }
    uint16_t ProductId() const { return attributes_.ProductId; }
    uint16_t VersionNumber() const { return attributes_.VersionNumber; }
    bool ReadWriteAccess() const { return readWriteAccess_; }
    bool IsPluggedIn() const { return present_; }
    bool IsCheckedOut() const { return claimed_; }
    // Present and either claimed or being enumerated: only then may the device be opened.
    bool IsAccessible() const { return present_ && (claimed_ || enumerating_); }

    // Read from the device the first time it is asked for while accessible, then kept; empty if unreadable.
    std::u16string ProductName();
    // Which device it is and where, beyond its node (the same way, kept once read): the USB serial number
    // (UTF-8; empty when it has none) and the USB port path (empty when the system does not tell).
    std::string SerialNumber();
    std::string PortPath();
    // Zero-filled first: all 0 when the descriptor data cannot be had.
    THidCaps Caps();

    // Milliseconds, 10..10000; other values are ignored.
    int ThreadSleepTime() const { return threadSleepTime_.load(); }
    void SetThreadSleepTime(int value);

    // UI thread. With none, stops the read thread first (serving pending hand-overs). Then starts one if the
    // start conditions hold: a handler, present, claimed, ReadWriteAccess, no thread yet.
    void SetDataHandler(THidDataEvent handler);
    const THidDataEvent &DataHandler() const { return dataHandler_; }
    void SetDataErrorHandler(THidDataErrorEvent handler) { dataErrorHandler_ = std::move(handler); }
    void SetUnplugHandler(THidPlugEvent handler) { unplugHandler_ = std::move(handler); }

    // Writes exactly `ToWrite` bytes in one synchronous write. Failure is the result, never an exception.
    bool WriteReport(const void *Report, uint32_t ToWrite, uint32_t &Written);
    // The system's code for the last failed write (kHidErrorTimeout: not taken in time); 0 after a good one.
    uint32_t LastWriteError() const { return lastWriteError_; }

    // Gives a claimed device back to its controller and destroys this object; do not use it afterwards.
    void Release();

    bool HasReadThread() const { return readThread_ != nullptr; }
    THidDeviceReadThread *ReadThread() const { return readThread_.get(); }

private:
    friend class THidDeviceController;
    friend class THidDeviceReadThread;

    THidDevice(THidDeviceController *controller, std::shared_ptr<HidPlatform> platform,
               std::shared_ptr<UiDispatcher> dispatcher, THidPnPInfo info);

    bool openGeneral();
    void closeHandles();
    // Reads the identity and capabilities while the general handle is open, so that asking for them later
    // does not go to the device.
    void prefetch();
    void readProductName();
    void readSerialNumber();
    // UI thread: a read or write failed as if the device were gone. After a fast re-plug or a resume from sleep
    // the system may list the device as before while this handle is dead: the next pass replaces it.
    void noteGone();
    void startReadThreadIfAllowed();
    void stopReadThread();
    // Runs on the UI thread for a report or read error handed over by the read thread.
    void deliverReport(const uint8_t *buffer, size_t count);
    void deliverReadError(uint32_t error, bool gone);

    THidDeviceController *controller_;
    std::shared_ptr<HidPlatform> platform_;
    std::shared_ptr<UiDispatcher> dispatcher_;
    THidPnPInfo pnpInfo_;
    THidAttributes attributes_{};
    std::unique_ptr<HidHandle> general_;
    bool readWriteAccess_ = false;
    bool present_ = true;
    bool claimed_ = false;
    bool enumerating_ = false;
    bool stale_ = false; // see noteGone()
    uint32_t lastWriteError_ = 0;
    std::optional<std::u16string> productName_;
    std::optional<std::string> serialNumber_;
    std::optional<std::string> portPath_;
    std::optional<THidCaps> caps_;
    std::atomic<int> threadSleepTime_{100};

    THidDataEvent dataHandler_;
    THidDataErrorEvent dataErrorHandler_;
    THidPlugEvent unplugHandler_;

    std::unique_ptr<THidDeviceReadThread> readThread_;
    // A thread stopped from inside its own hand-over cannot be joined there; it is joined later.
    std::unique_ptr<THidDeviceReadThread> stoppingThread_;
    int handOverDepth_ = 0;
    // Cleared when the owner goes away: hand-overs still pending then reach no handler.
    bool deliver_ = true;
};

class THidDeviceController {
public:
    // UI thread. Posts the start-up notice unless the platform's HID services are unavailable.
    THidDeviceController(std::shared_ptr<HidPlatform> platform, std::shared_ptr<UiDispatcher> dispatcher);
    ~THidDeviceController();
    THidDeviceController(const THidDeviceController &) = delete;
    THidDeviceController &operator=(const THidDeviceController &) = delete;

    THidEnumerateEvent OnEnumerate;
    TNotifyEvent OnDeviceChange;
    THidPlugEvent OnArrival;
    THidPlugEvent OnRemoval;
    // Copied into every new device as its initial handlers.
    THidDataEvent OnDeviceData;
    THidDataErrorEvent OnDeviceDataError;
    THidPlugEvent OnDeviceUnplug;

    // Visits every present device in list order until the handler returns false; returns the number visited.
    int Enumerate();
    // The device at `Idx` if it exists and is not claimed yet (then it is claimed); nullptr otherwise.
    THidDevice *ClaimByIndex(int Idx);

    int DevThreadSleepTime() const { return devThreadSleepTime_; }
    void SetDevThreadSleepTime(int value);

    // The notification window's handler: event code 7 refreshes the list. Public so a platform glue or a test
    // can deliver a notice directly on the UI thread.
    void DeviceChangeMessage(uint32_t eventCode, intptr_t param);

    int Count() const { return static_cast<int>(list_.size()); }
    THidDevice *Device(int Idx) const;
    bool Available() const { return available_; }

private:
    friend class THidDevice;

    void refresh(bool startup);
    // Any thread (it touches only the platform): the present devices, opened, identified and closed again;
    // with `prefetch` also their names and capabilities.
    std::vector<std::unique_ptr<THidDevice>> scan(bool prefetch);
    // UI thread: brings the list up to the scanned devices, telling the handlers what left and what arrived.
    void apply(std::vector<std::unique_ptr<THidDevice>> fresh, bool startup);
    // UI thread: a device pass soon, from the event loop (not inside the handler or write that asks for it).
    void requestPass();
    // The device, opened and identified; nullptr when it cannot be.
    std::unique_ptr<THidDevice> probe(const THidPnPInfo &info, bool prefetch);
    std::unique_ptr<THidDevice> createDevice(const THidPnPInfo &info);
    void releaseDevice(THidDevice *device, THidDataEvent data, THidPlugEvent unplug);

    std::shared_ptr<HidPlatform> platform_;
    std::shared_ptr<UiDispatcher> dispatcher_;
    std::vector<std::unique_ptr<THidDevice>> list_;
    bool available_ = false;
    bool refreshing_ = false;
    bool destroying_ = false;
    int devThreadSleepTime_ = 100;
    // Posted notices check this on the UI thread, so a notice that outlives the controller does nothing.
    std::shared_ptr<bool> alive_;
    std::unique_ptr<UiWatch> noticeWatch_;
    std::unique_ptr<UiWatch> rescanWatch_;
    // Where the platform's queries may block: the scans run here, never on the UI thread.
    std::unique_ptr<ScanWorker> scanWorker_;
};

} // namespace torvex
