#pragma once
// What every GStreamer file here shares: initialising the library once, owning references,
// and turning caps into camera modes.

#include <gst/gst.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/capture/gstreamer/CameraModes.h"

namespace sorvel {

// Initialises GStreamer once per process; the message when it cannot be.
std::optional<std::string> ensureGStreamer();

struct GstObjectUnref {
    void operator()(gpointer object) const {
        if (object) gst_object_unref(object);
    }
};
template <typename T>
using GstRef = std::unique_ptr<T, GstObjectUnref>;

struct GstCapsUnref {
    void operator()(GstCaps* caps) const {
        if (caps) gst_caps_unref(caps);
    }
};
using CapsRef = std::unique_ptr<GstCaps, GstCapsUnref>;

// Every concrete mode the caps allow; ranges are fixed to the preview and still sizes (and
// 30 fps) so that a source offering any size still gets sensible ones.
std::vector<CameraMode> modesFromCaps(const GstCaps* caps);

// The text of an error or warning message, without its closing full stop.
std::string gstMessageText(GstMessage* message);

}  // namespace sorvel
