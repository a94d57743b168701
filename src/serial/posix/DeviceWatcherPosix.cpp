#include "base/UniqueFd.h"
#include "serial/DeviceSource.h"
#include "serial/DeviceWatcher.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <map>
#include <poll.h>
#include <set>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace brenwick::serial {

std::string DefaultWatchFolder() {
    return "/dev/serial/by-id";
}

namespace serial_detail {

namespace {

namespace fs = std::filesystem;

// On the folder: every way an entry comes or goes, and the folder itself going.
constexpr uint32_t kFolderEvents =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
// On the nearest existing folder above a missing one: the next folder on the way coming, or this one going.
constexpr uint32_t kAncestorEvents = IN_CREATE | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
// Where a dangling link's target would show up. Added to whatever else watches that folder.
constexpr uint32_t kTargetEvents = IN_CREATE | IN_MOVED_TO | IN_ONLYDIR | IN_MASK_ADD;
constexpr uint32_t kSelfGone = IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT;
// A folder that keeps coming and going while it is being watched is given up after this many tries.
constexpr int kArmAttempts = 100;

std::string SystemText(int error) {
    return std::generic_category().message(error);
}

bool IsFolder(const fs::path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

class CInotifySource final : public IDeviceSource {
  public:
    explicit CInotifySource(const std::string& folder);
    CInotifySource(const CInotifySource&) = delete;
    CInotifySource& operator=(const CInotifySource&) = delete;

    const std::string& Error() const override { return m_Error; }
    std::vector<Sighting> List() override;
    SourceNews Wait(std::chrono::milliseconds timeout) override;
    void Wake() override;

  private:
    // What one read of the inotify queue showed.
    struct Batch {
        std::vector<std::string> names; // entries of the folder that changed, first change first
        bool rearm = false;             // the folder or a folder on the way to it came or went
        bool relist = false;            // events were lost: only a new listing tells
        bool targets = false;           // something came where a dangling link points
    };
    // Watches the folder, or while it is missing the nearest folder above it that exists.
    void Arm();
    void Unwatch(int& watch);
    bool ReadEvents(Batch& batch);
    Sighting Look(const std::string& name);
    void WatchTarget(const fs::path& link);
    // Stops watching for good; `error` (an errno value, or 0) says why.
    void Fail(const std::string& what, int error);

    fs::path m_Folder;
    UniqueFd m_Inotify;
    UniqueFd m_Wake;
    int m_FolderWatch = -1;
    int m_AncestorWatch = -1;
    std::string m_Awaited; // the name in that ancestor on the way to the folder
    // Entries that are links to nothing yet, and the watches on where their targets will appear.
    std::set<std::string> m_Dangling;
    std::set<int> m_TargetWatches;
    std::string m_Error;
};

CInotifySource::CInotifySource(const std::string& folder) {
    fs::path path = fs::path(folder).lexically_normal();
    if (!path.has_filename() && path.has_parent_path() && path != path.root_path()) {
        path = path.parent_path(); // "by-id/" names the same folder as "by-id"
    }
    std::error_code ec;
    m_Folder = fs::absolute(path, ec);
    m_Wake.Reset(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (!m_Wake.Valid()) {
        Fail("cannot make a wake-up signal", errno);
        return;
    }
    m_Inotify.Reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!m_Inotify.Valid()) {
        Fail("inotify is not available", errno);
        return;
    }
    if (ec || folder.empty()) {
        Fail("cannot watch \"" + folder + "\"", ec ? ec.value() : ENOENT);
        return;
    }
    Arm();
}

void CInotifySource::Fail(const std::string& what, int error) {
    m_Error = error == 0 ? what : what + ": " + SystemText(error);
    m_Inotify.Reset();
}

void CInotifySource::Unwatch(int& watch) {
    if (watch >= 0 && m_Inotify.Valid()) {
        ::inotify_rm_watch(m_Inotify.Get(), watch); // fails harmlessly when the kernel dropped it already
    }
    watch = -1;
}

void CInotifySource::Arm() {
    for (int watch : m_TargetWatches) {
        if (watch != m_FolderWatch) {
            Unwatch(watch);
        }
    }
    m_TargetWatches.clear();
    m_Dangling.clear();
    Unwatch(m_FolderWatch);
    Unwatch(m_AncestorWatch);
    for (int attempt = 0; attempt < kArmAttempts; ++attempt) {
        m_FolderWatch = ::inotify_add_watch(m_Inotify.Get(), m_Folder.c_str(), kFolderEvents);
        if (m_FolderWatch >= 0) {
            return;
        }
        if (errno != ENOENT && errno != ENOTDIR) {
            Fail("cannot watch " + m_Folder.string(), errno);
            return;
        }
        fs::path child = m_Folder;
        while (child.has_parent_path() && child != child.root_path() && !IsFolder(child.parent_path())) {
            child = child.parent_path();
        }
        m_AncestorWatch = ::inotify_add_watch(m_Inotify.Get(), child.parent_path().c_str(), kAncestorEvents);
        if (m_AncestorWatch < 0) {
            if (errno == ENOENT || errno == ENOTDIR) {
                continue; // that one went meanwhile: look again
            }
            Fail("cannot watch " + child.parent_path().string(), errno);
            return;
        }
        m_Awaited = child.filename().string();
        if (!IsFolder(child)) {
            return; // its creation will show on the watch
        }
        Unwatch(m_AncestorWatch); // it came before the watch was in place: go further down
    }
    Fail("cannot watch " + m_Folder.string() + ": it keeps coming and going", 0);
}

void CInotifySource::WatchTarget(const fs::path& link) {
    std::error_code ec;
    fs::path target = fs::read_symlink(link, ec);
    if (ec) {
        return;
    }
    target = (link.parent_path() / target).lexically_normal();
    while (target.has_parent_path() && target != target.root_path() && !IsFolder(target.parent_path())) {
        target = target.parent_path();
    }
    const int watch = ::inotify_add_watch(m_Inotify.Get(), target.parent_path().c_str(), kTargetEvents);
    if (watch >= 0) {
        m_TargetWatches.insert(watch);
    }
}

Sighting CInotifySource::Look(const std::string& name) {
    const fs::path entry = m_Folder / name;
    Sighting sighting{entry.string(), std::nullopt};
    struct stat st {};
    if (::stat(entry.c_str(), &st) != 0) {
        struct stat link {};
        if (errno == ENOENT && ::lstat(entry.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
            m_Dangling.insert(name);
            WatchTarget(entry);
        } else {
            m_Dangling.erase(name);
        }
        return sighting;
    }
    m_Dangling.erase(name);
    std::error_code ec;
    const fs::path node = fs::canonical(entry, ec);
    if (S_ISCHR(st.st_mode) && !ec) {
        sighting.port = DescribeTty(node.string());
        sighting.port->byId = sighting.key;
    }
    return sighting;
}

std::vector<Sighting> CInotifySource::List() {
    std::vector<Sighting> seen;
    if (m_FolderWatch < 0) {
        return seen;
    }
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(m_Folder, ec), end; !ec && it != end; it.increment(ec)) {
        names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        seen.push_back(Look(name));
    }
    return seen;
}

bool CInotifySource::ReadEvents(Batch& batch) {
    alignas(inotify_event) char buffer[16 * (sizeof(inotify_event) + NAME_MAX + 1)];
    for (;;) {
        const ssize_t n = ::read(m_Inotify.Get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno == EAGAIN) {
                return true;
            }
            Fail("cannot read inotify events", errno);
            return false;
        }
        for (ssize_t at = 0; at < n;) {
            inotify_event event{};
            std::copy_n(buffer + at, sizeof event, reinterpret_cast<char*>(&event));
            const std::string name =
                event.len == 0 ? "" : std::string(buffer + at + static_cast<ssize_t>(sizeof event));
            at += static_cast<ssize_t>(sizeof event + event.len);
            if ((event.mask & IN_Q_OVERFLOW) != 0) {
                batch.relist = true;
                continue;
            }
            if (m_TargetWatches.count(event.wd) != 0) {
                batch.targets = true;
                if ((event.mask & IN_IGNORED) != 0) {
                    m_TargetWatches.erase(event.wd);
                }
            }
            if (event.wd == m_FolderWatch) {
                if ((event.mask & kSelfGone) != 0) {
                    batch.rearm = true;
                } else if (!name.empty() &&
                           std::find(batch.names.begin(), batch.names.end(), name) == batch.names.end()) {
                    batch.names.push_back(name);
                }
            } else if (event.wd == m_AncestorWatch && ((event.mask & kSelfGone) != 0 || name == m_Awaited)) {
                batch.rearm = true;
            }
        }
    }
}

SourceNews CInotifySource::Wait(std::chrono::milliseconds timeout) {
    SourceNews news;
    if (!m_Error.empty()) {
        return news;
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    pollfd fds[2] = {{m_Wake.Get(), POLLIN, 0}, {m_Inotify.Get(), POLLIN, 0}};
    int ready = 0;
    do {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        const int ms =
            static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(left.count(), 0, 0x7FFFFFFF));
        ready = ::poll(fds, 2, ms);
    } while (ready < 0 && errno == EINTR);
    if (ready < 0) {
        Fail("cannot wait for inotify events", errno);
        return news;
    }
    if ((fds[0].revents & POLLIN) != 0) {
        uint64_t count = 0;
        while (::read(m_Wake.Get(), &count, sizeof count) < 0 && errno == EINTR) {
        }
        news.woken = true;
    }
    if ((fds[1].revents & POLLIN) == 0) {
        return news;
    }
    Batch batch;
    if (!ReadEvents(batch)) {
        return news;
    }
    if (batch.rearm || batch.relist) {
        if (batch.rearm) {
            Arm();
        }
        news.complete = true;
        news.seen = List();
        return news;
    }
    for (const std::string& name : batch.names) {
        news.seen.push_back(Look(name));
    }
    if (batch.targets) {
        for (const std::string& name : std::vector<std::string>(m_Dangling.begin(), m_Dangling.end())) {
            if (std::find(batch.names.begin(), batch.names.end(), name) == batch.names.end()) {
                news.seen.push_back(Look(name));
            }
        }
    }
    if (m_Dangling.empty()) {
        for (int watch : m_TargetWatches) {
            if (watch != m_FolderWatch) {
                Unwatch(watch);
            }
        }
        m_TargetWatches.clear();
    }
    return news;
}

void CInotifySource::Wake() {
    const uint64_t one = 1;
    while (::write(m_Wake.Get(), &one, sizeof one) < 0 && errno == EINTR) {
    }
}

} // namespace

std::unique_ptr<IDeviceSource> OpenDeviceSource(const std::string& folder) {
    return std::make_unique<CInotifySource>(folder);
}

} // namespace serial_detail

} // namespace brenwick::serial
