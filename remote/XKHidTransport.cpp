// The keypad through hidapi (hidraw): handles are given to devices as they are
// listed and kept per path; each open device has a reader thread that delivers its
// input reports, with the report id 0 in front, to the data callback. A read error
// is the device going away (error 307).
#include "remote/XKController.h"

#include <hidapi/hidapi.h>

#include <atomic>
#include <map>
#include <string>
#include <thread>

namespace {

// How long one read waits, so a reader notices that it must stop.
constexpr int ReadTimeoutMs = 100;
// Larger than any input report of the keypads.
constexpr size_t ReadSize = 64;

class CHidXKTransport final : public IXKTransport {
public:
    ~CHidXKTransport() override {
        std::vector<std::unique_ptr<Device>> ending;
        {
            std::lock_guard<std::mutex> guard(lock_);
            for (auto& [handle, device] : open_) ending.push_back(std::move(device));
            open_.clear();
            for (auto& device : retired_) ending.push_back(std::move(device));
            retired_.clear();
        }
        for (auto& device : ending) End(*device);
        if (initialised_) hid_exit();
    }

    bool Load() override {
        initialised_ = hid_init() == 0;
        return initialised_;
    }

    int Enumerate(uint16_t vendorId, std::vector<XKDeviceRecord>& devices) override {
        devices.clear();
        hid_device_info* list = hid_enumerate(vendorId, 0);
        std::lock_guard<std::mutex> guard(lock_);
        for (hid_device_info* info = list; info; info = info->next) {
            if (!info->path) continue;
            const std::string path = info->path;
            int handle = 0;
            for (const auto& [known, knownPath] : paths_)
                if (knownPath == path) handle = known;
            if (handle == 0) {
                handle = nextHandle_++;
                paths_[handle] = path;
            }
            devices.push_back(XKDeviceRecord{info->product_id, info->usage, info->usage_page, handle});
        }
        hid_free_enumeration(list);
        return 0;
    }

    int Setup(int handle) override {
        JoinRetired();
        CloseInterface(handle);
        std::string path;
        {
            std::lock_guard<std::mutex> guard(lock_);
            const auto known = paths_.find(handle);
            if (known == paths_.end()) return 1;
            path = known->second;
        }
        hid_device* device = hid_open_path(path.c_str());
        if (!device) return 1;
        auto opened = std::make_unique<Device>();
        opened->device = device;
        opened->handle = handle;
        std::lock_guard<std::mutex> guard(lock_);
        open_[handle] = std::move(opened);
        return 0;
    }

    int Write(int handle, const std::array<uint8_t, XKeys::OutputReportSize>& report) override {
        hid_device* device = nullptr;
        {
            std::lock_guard<std::mutex> guard(lock_);
            const auto found = open_.find(handle);
            if (found == open_.end()) return 1;
            device = found->second->device;
        }
        // Only the thread that owns the handle (the user-interface thread) closes it,
        // so the device outlives this write.
        return hid_write(device, report.data(), report.size()) < 0 ? 1 : 0;
    }

    int SetDataCallback(int handle, DataCallback callback) override {
        std::lock_guard<std::mutex> guard(lock_);
        const auto found = open_.find(handle);
        if (found == open_.end() || found->second->reader.joinable()) return 1;
        Device* device = found->second.get();
        device->callback = std::move(callback);
        device->reader = std::thread([device] { Read(*device); });
        return 0;
    }

    void CloseInterface(int handle) override {
        std::unique_ptr<Device> closing;
        {
            std::lock_guard<std::mutex> guard(lock_);
            const auto found = open_.find(handle);
            if (found == open_.end()) return;
            closing = std::move(found->second);
            open_.erase(found);
            if (closing->reader.joinable() && closing->reader.get_id() == std::this_thread::get_id()) {
                // Called from the callback: the reader ends once the callback returns;
                // the next call from another thread joins it and closes the device.
                closing->stop = true;
                retired_.push_back(std::move(closing));
                return;
            }
        }
        End(*closing);
    }

private:
    struct Device {
        hid_device* device = nullptr;
        int handle = 0;
        DataCallback callback;  // set before the reader starts; read by the reader only
        std::atomic<bool> stop{false};
        std::thread reader;
    };

    static void Read(Device& device) {
        uint8_t report[1 + ReadSize];
        while (!device.stop) {
            report[0] = 0;
            const int read = hid_read_timeout(device.device, report + 1, ReadSize, ReadTimeoutMs);
            if (device.stop) break;
            if (read < 0) {
                device.callback(nullptr, 0, device.handle, XKeys::DeviceError);
                break;
            }
            if (read > 0) device.callback(report, size_t(read) + 1, device.handle, 0);
        }
    }

    // Stops the reader, waits for it and closes the device. Never with lock_ held:
    // the reader's callback may be calling in.
    static void End(Device& device) {
        device.stop = true;
        if (device.reader.joinable()) device.reader.join();
        if (device.device) hid_close(device.device);
        device.device = nullptr;
    }

    void JoinRetired() {
        std::vector<std::unique_ptr<Device>> ending;
        {
            std::lock_guard<std::mutex> guard(lock_);
            ending.swap(retired_);
        }
        for (auto& device : ending) End(*device);
    }

    bool initialised_ = false;  // written by Load, on the owner's thread
    std::mutex lock_;           // guards the three collections below
    std::map<int, std::string> paths_;  // every device listed so far, by handle
    int nextHandle_ = 1;
    std::map<int, std::unique_ptr<Device>> open_;  // by handle
    std::vector<std::unique_ptr<Device>> retired_;  // closed from their own reader, not yet joined
};

}  // namespace

std::unique_ptr<IXKTransport> MakeHidXKTransport() { return std::make_unique<CHidXKTransport>(); }
