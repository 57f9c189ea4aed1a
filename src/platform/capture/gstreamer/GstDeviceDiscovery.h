#pragma once
// Finds cameras through GStreamer's device providers: PipeWire's when a PipeWire daemon
// offers cameras (the way sandboxed and desktop apps share them), else V4L2's; then watches
// that provider for cameras plugged in or out.
//
// The providers are used one by one rather than through a GstDeviceMonitor, which would start
// every installed provider at once: each camera would then be listed by several of them, and
// libcamera's provider of this release crashes the process at exit when PipeWire runs.
//
// Threads: any; the change handler runs on the provider's thread.

#include <gst/gst.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/capture/gstreamer/CameraCatalogue.h"

namespace sorvel {

class GstDeviceDiscovery {
public:
    GstDeviceDiscovery() = default;
    ~GstDeviceDiscovery();
    GstDeviceDiscovery(const GstDeviceDiscovery&) = delete;
    GstDeviceDiscovery& operator=(const GstDeviceDiscovery&) = delete;

    // Looks for cameras and starts watching; empty on success, else why GStreamer cannot.
    std::optional<std::string> start();
    void stop();
    // "pipewire", "v4l2", or empty when neither could start.
    std::string providerName() const;

    // The usable cameras now (see usableCameras), in the provider's order.
    std::vector<FoundCamera> cameras() const;
    // A new source element for a listed camera, nullptr once it is gone.
    GstElement* makeSource(const std::string& id) const;
    void setChangeHandler(std::function<void()> handler);

    // The record of one GStreamer device (exposed for the tests).
    static FoundCamera describe(GstDevice* device, const std::string& provider);

private:
    static GstBusSyncReply onBusMessage(GstBus* bus, GstMessage* message, gpointer self);
    void add(GstDevice* device);    // with mutex_ held
    void remove(GstDevice* device);  // with mutex_ held

    struct Entry {
        FoundCamera camera;
        GstDevice* device;  // owned reference
    };
    mutable std::mutex mutex_;
    GstDeviceProvider* provider_ = nullptr;
    std::string providerName_;
    std::vector<Entry> entries_;
    std::function<void()> onChange_;
};

}  // namespace sorvel
