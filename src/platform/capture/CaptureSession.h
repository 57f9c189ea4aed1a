#pragma once
// Connects inputs to outputs and runs them. Configuration (begin/commit, add/remove) happens
// on the main thread; startRunning blocks until frames flow and must be called off the main
// thread; stopRunning may be called from any thread.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/capture/CaptureOutput.h"
#include "platform/capture/DeviceInput.h"

namespace sorvel {

enum class SessionPreset { Photo, High, Medium };

class PreviewSink;

class CaptureSession {
public:
    CaptureSession();
    ~CaptureSession();
    CaptureSession(const CaptureSession&) = delete;
    CaptureSession& operator=(const CaptureSession&) = delete;

    void beginConfiguration();
    void commitConfiguration();

    bool canAddInput(const DeviceInput& input) const;
    void addInput(std::shared_ptr<DeviceInput> input);
    void removeInput(const DeviceInput& input);
    std::vector<std::shared_ptr<DeviceInput>> inputs() const;

    bool canAddOutput(const CaptureOutput& output) const;
    void addOutput(std::shared_ptr<CaptureOutput> output);
    void removeOutput(const CaptureOutput& output);
    std::vector<std::shared_ptr<CaptureOutput>> outputs() const;

    SessionPreset sessionPreset() const;
    void setSessionPreset(SessionPreset preset);

    void startRunning();
    void stopRunning();
    bool isRunning() const;

    // Backend side. The camera input's device, or nullptr. Any thread.
    std::shared_ptr<CaptureDevice> videoDevice() const;
    // Preview sinks showing this session (they register themselves).
    void attachPreview(PreviewSink* sink);
    void detachPreview(PreviewSink* sink);
    std::vector<PreviewSink*> previews() const;
    // Configuration changes bump this, so the backend notices a camera switch.
    std::uint64_t configurationGeneration() const;

private:
    mutable std::recursive_mutex mutex_;
    std::vector<std::shared_ptr<DeviceInput>> inputs_;
    std::vector<std::shared_ptr<CaptureOutput>> outputs_;
    std::vector<PreviewSink*> previews_;
    SessionPreset preset_ = SessionPreset::High;
    int configurationDepth_ = 0;
    std::uint64_t generation_ = 0;
    bool running_ = false;
};

}  // namespace sorvel
