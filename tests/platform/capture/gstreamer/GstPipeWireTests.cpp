// Discovery through PipeWire, against a daemon of the test's own: pipewire, wireplumber and a
// private session bus as child processes, and a GStreamer stream offered as a camera.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "platform/capture/gstreamer/GStreamerBackend.h"
#include "platform/capture/gstreamer/GstDeviceDiscovery.h"
#include "platform/capture/gstreamer/GstSupport.h"

extern char** environ;

using namespace sorvel;

namespace {

std::string onPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string all = path ? path : "/usr/bin:/bin";
    for (std::size_t at = 0; at <= all.size();) {
        std::size_t end = all.find(':', at);
        if (end == std::string::npos) end = all.size();
        std::filesystem::path candidate = std::filesystem::path(all.substr(at, end - at)) / name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
        at = end + 1;
    }
    return {};
}

class Children {
public:
    ~Children() {
        for (auto it = pids_.rbegin(); it != pids_.rend(); ++it) {
            ::kill(*it, SIGTERM);
            int status;
            ::waitpid(*it, &status, 0);
        }
    }
    bool spawn(std::vector<std::string> argv, const std::filesystem::path& log) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        std::vector<char*> args;
        for (auto& a : argv) args.push_back(a.data());
        args.push_back(nullptr);
        pid_t pid;
        int r = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (r != 0) return false;
        pids_.push_back(pid);
        return true;
    }

private:
    std::vector<pid_t> pids_;
};

bool waitForPath(const std::filesystem::path& p, double seconds) {
    auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!std::filesystem::exists(p)) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

}  // namespace

TEST(GstPipeWire, ACameraStreamIsFoundThroughThePipeWireProvider) {
    std::string pipewire = onPath("pipewire"), wireplumber = onPath("wireplumber"), dbus = onPath("dbus-daemon"),
                launch = onPath("gst-launch-1.0");
    if (pipewire.empty() || wireplumber.empty() || dbus.empty() || launch.empty())
        GTEST_SKIP() << "pipewire, wireplumber, dbus-daemon or gst-launch-1.0 is not installed";
    ASSERT_FALSE(ensureGStreamer());
    if (GstElementFactory* sink = gst_element_factory_find("pipewiresink")) gst_object_unref(sink);
    else GTEST_SKIP() << "GStreamer's PipeWire plugin is not installed";

    auto runtime = std::filesystem::temp_directory_path() / ("sorvel-pipewire-" + std::to_string(::getpid()));
    std::filesystem::remove_all(runtime);
    std::filesystem::create_directories(runtime);
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    std::string bus = "unix:path=" + (runtime / "bus").string();
    ::setenv("DBUS_SESSION_BUS_ADDRESS", bus.c_str(), 1);
    // PipeWire's own configuration, without the desktop's session services.
    ::setenv("PIPEWIRE_RUNTIME_DIR", runtime.c_str(), 1);

    bool started;
    {
        Children children;
        auto log = runtime / "daemons.log";
        ASSERT_TRUE(children.spawn({dbus, "--session", "--nofork", "--nopidfile", "--address=" + bus}, log));
        if (!waitForPath(runtime / "bus", 5)) GTEST_SKIP() << "the private session bus did not start";
        ASSERT_TRUE(children.spawn({pipewire}, log));
        started = waitForPath(runtime / "pipewire-0", 5);
        if (!started) GTEST_SKIP() << "the PipeWire daemon did not start (see " << log << ")";
        ASSERT_TRUE(children.spawn({wireplumber}, log));

        // The camera is another process's stream, as a camera app or a portal offers one.
        ASSERT_TRUE(children.spawn({launch, "-q", "videotestsrc", "is-live=true", "!",
                                    "video/x-raw,format=YUY2,width=640,height=480,framerate=30/1", "!", "pipewiresink",
                                    "mode=provide", "client-name=sorvel-test-camera",
                                    "stream-properties=props,media.class=Video/Source,media.role=Camera"},
                                   log));

        // The node appears once the stream is negotiated with the daemon.
        std::vector<FoundCamera> found;
        std::string provider;
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < until) {
            GstDeviceDiscovery discovery;
            ASSERT_FALSE(discovery.start());
            provider = discovery.providerName();
            found = discovery.cameras();
            if (!found.empty()) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        EXPECT_EQ(provider, "pipewire");
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(found[0].displayName, "sorvel-test-camera");
        EXPECT_EQ(found[0].id, "gst.pipewire:sorvel-test-camera");
        EXPECT_EQ(found[0].provider, "pipewire");
        ASSERT_FALSE(found[0].modes.empty());
        EXPECT_EQ(found[0].modes[0].width, 640);

        // The backend lists it as a camera of the app, with the microphone.
        auto made = GStreamerBackend::make("");
        ASSERT_TRUE(std::holds_alternative<std::unique_ptr<GStreamerBackend>>(made));
        auto& backend = std::get<std::unique_ptr<GStreamerBackend>>(made);
        EXPECT_EQ(backend->sourceKind(), "pipewire");
        EXPECT_EQ(backend->cameraCount(), 1u);
        EXPECT_EQ(backend->devices().size(), 2u);
        backend.reset();
    }
    std::filesystem::remove_all(runtime);
}
