#include "platform/capture/gstreamer/GstDeviceDiscovery.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <thread>
#include <utility>

#include "platform/capture/gstreamer/GstSupport.h"

namespace sorvel {

namespace {

std::string field(const GstStructure* s, const char* name) {
    if (!s) return {};
    const gchar* v = gst_structure_get_string(s, name);
    return v ? v : std::string();
}

bool isCamera(GstDevice* device) { return gst_device_has_classes(device, "Video/Source"); }

// Devices of one provider; started providers keep watching, others are asked once.
GstDeviceProvider* startProvider(const char* name, std::vector<GstDevice*>& devices) {
    GstDeviceProvider* provider = gst_device_provider_factory_get_by_name(name);
    if (!provider) return nullptr;
    if (!gst_device_provider_start(provider)) {
        gst_object_unref(provider);
        return nullptr;
    }
    GList* list = gst_device_provider_get_devices(provider);
    for (GList* l = list; l; l = l->next) devices.push_back(GST_DEVICE(l->data));  // takes the references
    g_list_free(list);
    return provider;
}

}  // namespace

FoundCamera GstDeviceDiscovery::describe(GstDevice* device, const std::string& provider) {
    FoundCamera c;
    c.provider = provider;
    gchar* name = gst_device_get_display_name(device);
    c.displayName = name ? name : "";
    g_free(name);
    GstStructure* props = gst_device_get_properties(device);
    c.devicePath = field(props, "api.v4l2.path");
    if (c.devicePath.empty() && provider == "v4l2") c.devicePath = field(props, "device.path");
    c.physicalKey = field(props, "api.v4l2.cap.bus_info");
    c.driver = field(props, "api.v4l2.cap.driver");
    std::string location = field(props, "api.libcamera.location");
    if (location == "front" || location == "external") c.facesUser = true;
    else if (location == "back") c.facesUser = false;
    std::string key = provider == "pipewire" ? field(props, "node.name") : c.devicePath;
    if (key.empty()) key = field(props, "object.serial");
    if (key.empty()) key = c.displayName;
    c.id = "gst." + provider + ":" + key;
    if (props) gst_structure_free(props);
    CapsRef caps(gst_device_get_caps(device));
    c.modes = modesFromCaps(caps.get());
    return c;
}

namespace {

// A provider started on a thread of its own: PipeWire's waits for its daemon without a limit,
// and a daemon that does not answer must not hang the app. One that answers late is stopped
// and dropped by its thread.
struct TimedStart {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool abandoned = false;
    GstDeviceProvider* provider = nullptr;
    std::vector<GstDevice*> devices;
};

GstDeviceProvider* startProviderWithin(const char* name, double seconds, std::vector<GstDevice*>& devices) {
    auto start = std::make_shared<TimedStart>();
    std::thread([start, name] {
        std::vector<GstDevice*> found;
        GstDeviceProvider* provider = startProvider(name, found);
        std::lock_guard lock(start->mutex);
        if (start->abandoned) {
            for (GstDevice* d : found) gst_object_unref(d);
            return;  // the provider is kept, never stopped (see pipeWireProvider)
        }
        start->provider = provider;
        start->devices = std::move(found);
        start->finished = true;
        start->done.notify_all();
    }).detach();
    std::unique_lock lock(start->mutex);
    if (!start->done.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return start->finished; })) {
        start->abandoned = true;
        return nullptr;
    }
    devices = std::move(start->devices);
    return start->provider;
}

// PipeWire's provider of this release corrupts the heap as it stops (its loop thread frees a
// block twice on the way out), so it is started once per process and never stopped; each
// discovery asks it for its devices.
GstDeviceProvider* pipeWireProvider(std::vector<GstDevice*>& devices) {
    static std::mutex mutex;
    static GstDeviceProvider* provider = nullptr;
    static bool tried = false;
    std::lock_guard lock(mutex);
    if (!tried) {
        tried = true;
        provider = startProviderWithin("pipewiredeviceprovider", 3, devices);
    } else if (provider) {
        GList* list = gst_device_provider_get_devices(provider);
        for (GList* l = list; l; l = l->next) devices.push_back(GST_DEVICE(l->data));
        g_list_free(list);
    }
    return provider ? GST_DEVICE_PROVIDER(gst_object_ref(provider)) : nullptr;
}

}  // namespace

std::optional<std::string> GstDeviceDiscovery::start() {
    if (auto error = ensureGStreamer()) return error;
    std::lock_guard lock(mutex_);
    if (provider_) return std::nullopt;
    for (const char* name : {"pipewiredeviceprovider", "v4l2deviceprovider"}) {
        std::vector<GstDevice*> devices;
        bool last = std::string(name) == "v4l2deviceprovider";
        GstDeviceProvider* provider = last ? startProvider(name, devices) : pipeWireProvider(devices);
        if (!provider) continue;
        std::string shortName = last ? "v4l2" : "pipewire";
        bool offersCamera = false;
        for (GstDevice* d : devices) offersCamera |= isCamera(d);
        if (!offersCamera && !last) {
            for (GstDevice* d : devices) gst_object_unref(d);
            gst_object_unref(provider);
            continue;
        }
        provider_ = provider;
        providerName_ = shortName;
        for (GstDevice* d : devices) {
            if (isCamera(d)) add(d);
            gst_object_unref(d);
        }
        GstBus* bus = gst_device_provider_get_bus(provider_);
        gst_bus_set_sync_handler(bus, &GstDeviceDiscovery::onBusMessage, this, nullptr);
        gst_object_unref(bus);
        return std::nullopt;
    }
    return std::nullopt;  // no provider at all: no cameras
}

void GstDeviceDiscovery::stop() {
    GstDeviceProvider* provider;
    std::vector<Entry> entries;
    bool shared;
    {
        std::lock_guard lock(mutex_);
        provider = std::exchange(provider_, nullptr);
        entries = std::exchange(entries_, {});
        shared = providerName_ == "pipewire";
    }
    if (provider) {
        GstBus* bus = gst_device_provider_get_bus(provider);
        gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
        gst_object_unref(bus);
        if (!shared) gst_device_provider_stop(provider);
        gst_object_unref(provider);
    }
    for (auto& e : entries) gst_object_unref(e.device);
}

GstDeviceDiscovery::~GstDeviceDiscovery() { stop(); }

std::string GstDeviceDiscovery::providerName() const {
    std::lock_guard lock(mutex_);
    return providerName_;
}

void GstDeviceDiscovery::add(GstDevice* device) {
    for (const auto& e : entries_)
        if (e.device == device) return;
    entries_.push_back({describe(device, providerName_), GST_DEVICE(gst_object_ref(device))});
}

void GstDeviceDiscovery::remove(GstDevice* device) {
    auto it = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.device == device; });
    if (it == entries_.end()) return;
    gst_object_unref(it->device);
    entries_.erase(it);
}

std::vector<FoundCamera> GstDeviceDiscovery::cameras() const {
    std::vector<FoundCamera> all;
    {
        std::lock_guard lock(mutex_);
        for (const auto& e : entries_) all.push_back(e.camera);
    }
    return usableCameras(all);
}

GstElement* GstDeviceDiscovery::makeSource(const std::string& id) const {
    std::lock_guard lock(mutex_);
    for (const auto& e : entries_)
        if (e.camera.id == id) return gst_device_create_element(e.device, nullptr);
    return nullptr;
}

void GstDeviceDiscovery::setChangeHandler(std::function<void()> handler) {
    std::lock_guard lock(mutex_);
    onChange_ = std::move(handler);
}

GstBusSyncReply GstDeviceDiscovery::onBusMessage(GstBus*, GstMessage* message, gpointer data) {
    auto* self = static_cast<GstDeviceDiscovery*>(data);
    GstDevice* device = nullptr;
    bool added = GST_MESSAGE_TYPE(message) == GST_MESSAGE_DEVICE_ADDED;
    if (added) gst_message_parse_device_added(message, &device);
    else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_DEVICE_REMOVED) gst_message_parse_device_removed(message, &device);
    if (!device) return GST_BUS_DROP;
    std::function<void()> handler;
    {
        std::lock_guard lock(self->mutex_);
        if (!added) self->remove(device);
        else if (isCamera(device)) self->add(device);
        handler = self->onChange_;
    }
    gst_object_unref(device);
    if (handler) handler();
    return GST_BUS_DROP;
}

}  // namespace sorvel
