#pragma once
// One window per settings file. Two windows on one settings file would both log every report and both write
// the file at close, the last one winning; a second start is refused instead. Copies of the program with
// settings files of their own run side by side.
//
// The lock is the operating system's: it ends with the process that holds it, however that process ends, so a
// program that was killed never blocks the next start.
//   POSIX:   flock() on a lock file beside the settings file (".config.ini.lock"). flock belongs to the open
//            file description, so a second open in the same process is refused as well, and closing some other
//            descriptor of the file does not drop it (as it would drop an fcntl() lock).
//   Windows: a named mutex whose name comes from the identity of the settings folder (volume and file index,
//            so that two spellings of one folder are one name). The holder marks its main window with a window
//            property of the same name; a refused start finds that window and brings it to the front.
#include <cstdint>
#include <filesystem>
#include <string>

namespace torvex {

class InstanceLock {
public:
    enum class State {
        Held,          // this process holds the lock
        HeldElsewhere, // another process (or another lock object in this one) holds it
        Unavailable,   // the lock could not be taken at all (folder not writable, no locks on that file system)
    };

    explicit InstanceLock(const std::filesystem::path &settingsFile);
    ~InstanceLock();
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

    State state() const { return state_; }

    // Windows: makes `nativeWindow` (an HWND) the window that a refused start brings to the front. Does nothing
    // elsewhere, and while the lock is not held.
    void announceWindow(std::uintptr_t nativeWindow);
    // Windows: restores and activates the holder's announced window. False when there is none (or elsewhere).
    bool bringHolderToFront() const;

private:
    State state_ = State::Unavailable;
#ifdef _WIN32
    void *mutex_ = nullptr;
    std::wstring name_;
    std::uintptr_t window_ = 0;
#else
    int fd_ = -1;
#endif
};

} // namespace torvex
