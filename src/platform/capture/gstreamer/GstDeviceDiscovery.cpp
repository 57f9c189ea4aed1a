#include "platform/capture/gstreamer/GstDeviceDiscovery.h"

#include <algorithm>
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

std::optional<std::string> GstDeviceDiscovery::start() {
    if (auto error = ensureGStreamer()) return error;
    std::lock_guard lock(mutex_);
    if (provider_) return std::nullopt;
    for (const char* name : {"pipewiredeviceprovider", "v4l2deviceprovider"}) {
        std::vector<GstDevice*> devices;
        GstDeviceProvider* provider = startProvider(name, devices);
        if (!provider) continue;
        std::string short_name = std::string(name) == "pipewiredeviceprovider" ? "pipewire" : "v4l2";
        bool offersCamera = false;
        for (GstDevice* d : devices) offersCamera |= isCamera(d);
        bool last = std::string(name) == "v4l2deviceprovider";
        if (!offersCamera && !last) {
            for (GstDevice* d : devices) gst_object_unref(d);
            gst_device_provider_stop(provider);
            gst_object_unref(provider);
            continue;
        }
        provider_ = provider;
        providerName_ = short_name;
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
    {
        std::lock_guard lock(mutex_);
        provider = std::exchange(provider_, nullptr);
        entries = std::exchange(entries_, {});
    }
    if (provider) {
        GstBus* bus = gst_device_provider_get_bus(provider);
        gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
        gst_object_unref(bus);
        gst_device_provider_stop(provider);
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
