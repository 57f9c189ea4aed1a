#include "platform/capture/CaptureSession.h"

#include <algorithm>

#include "platform/capture/CaptureBackend.h"

namespace sorvel {

CaptureSession::CaptureSession() = default;

CaptureSession::~CaptureSession() {
    stopRunning();
    std::lock_guard lock(mutex_);
    for (auto& o : outputs_) o->attach(nullptr);
}

void CaptureSession::beginConfiguration() {
    std::lock_guard lock(mutex_);
    ++configurationDepth_;
}

void CaptureSession::commitConfiguration() {
    {
        std::lock_guard lock(mutex_);
        if (configurationDepth_ > 0) --configurationDepth_;
        ++generation_;
        if (configurationDepth_ > 0) return;
    }
    CaptureBackend::current().sessionConfigurationChanged(*this);
}

bool CaptureSession::canAddInput(const DeviceInput& input) const {
    std::lock_guard lock(mutex_);
    for (auto& existing : inputs_) {
        if (existing.get() == &input) return false;
        // One camera and one microphone at a time.
        if (existing->device()->hasMediaType(MediaType::Video) == input.device()->hasMediaType(MediaType::Video))
            return false;
    }
    return true;
}

void CaptureSession::addInput(std::shared_ptr<DeviceInput> input) {
    if (!input || !canAddInput(*input)) return;
    std::lock_guard lock(mutex_);
    inputs_.push_back(std::move(input));
    ++generation_;
}

void CaptureSession::removeInput(const DeviceInput& input) {
    std::lock_guard lock(mutex_);
    std::erase_if(inputs_, [&](auto& i) { return i.get() == &input; });
    ++generation_;
}

std::vector<std::shared_ptr<DeviceInput>> CaptureSession::inputs() const {
    std::lock_guard lock(mutex_);
    return inputs_;
}

bool CaptureSession::canAddOutput(const CaptureOutput& output) const {
    std::lock_guard lock(mutex_);
    if (output.session() != nullptr) return false;
    return std::none_of(outputs_.begin(), outputs_.end(), [&](auto& o) { return o.get() == &output; });
}

void CaptureSession::addOutput(std::shared_ptr<CaptureOutput> output) {
    if (!output || !canAddOutput(*output)) return;
    std::lock_guard lock(mutex_);
    output->attach(this);
    outputs_.push_back(std::move(output));
    ++generation_;
}

void CaptureSession::removeOutput(const CaptureOutput& output) {
    std::lock_guard lock(mutex_);
    for (auto& o : outputs_)
        if (o.get() == &output) o->attach(nullptr);
    std::erase_if(outputs_, [&](auto& o) { return o.get() == &output; });
    ++generation_;
}

std::vector<std::shared_ptr<CaptureOutput>> CaptureSession::outputs() const {
    std::lock_guard lock(mutex_);
    return outputs_;
}

SessionPreset CaptureSession::sessionPreset() const {
    std::lock_guard lock(mutex_);
    return preset_;
}

void CaptureSession::setSessionPreset(SessionPreset preset) {
    std::lock_guard lock(mutex_);
    preset_ = preset;
}

void CaptureSession::startRunning() {
    {
        std::lock_guard lock(mutex_);
        if (running_) return;
        running_ = true;
    }
    // The backend is called without the session lock: its frame thread reads the session.
    CaptureBackend::current().sessionStarted(*this);
}

void CaptureSession::stopRunning() {
    {
        std::lock_guard lock(mutex_);
        if (!running_) return;
        running_ = false;
    }
    CaptureBackend::current().sessionStopped(*this);
}

bool CaptureSession::isRunning() const {
    std::lock_guard lock(mutex_);
    return running_;
}

std::shared_ptr<CaptureDevice> CaptureSession::videoDevice() const {
    std::lock_guard lock(mutex_);
    for (auto& i : inputs_)
        if (i->device()->hasMediaType(MediaType::Video)) return i->device();
    return nullptr;
}

void CaptureSession::attachPreview(PreviewSink* sink) {
    std::lock_guard lock(mutex_);
    previews_.push_back(sink);
}

void CaptureSession::detachPreview(PreviewSink* sink) {
    std::lock_guard lock(mutex_);
    std::erase(previews_, sink);
}

std::vector<PreviewSink*> CaptureSession::previews() const {
    std::lock_guard lock(mutex_);
    return previews_;
}

std::uint64_t CaptureSession::configurationGeneration() const {
    std::lock_guard lock(mutex_);
    return generation_;
}

}  // namespace sorvel
