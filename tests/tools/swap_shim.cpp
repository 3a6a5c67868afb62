// Preload shim for the tests: it changes the tree under agetrim at a chosen
// moment, as an attacker racing it would, fails calls as a failing disk
// would, or stops the clock.
//   SWAP_DIR     the directory to move away (to SWAP_DIR.moved)
//   SWAP_TARGET  what takes its place: a symbolic link to SWAP_TARGET, or,
//                when SWAP_TARGET is empty, a new empty directory
//   SWAP_OWNER   uid:gid given to what takes its place (as chown -h would)
//   SWAP_AT      "unlinkat" (default): at the first unlinkat call;
//                "openat": just before the first openat of SWAP_DIR's last
//                component, after the entry list has been made
//   KILL_AT      N: agetrim gets SIGTERM at its Nth unlinkat call, before
//                that removal
//   FAIL_CALL    readdir, unlinkat, stat or statvfs: every call of it
//                fails with EIO, as on a failing disk
//   FAKE_NOW     seconds since the epoch: the time that time() and
//                clock_gettime(CLOCK_REALTIME) tell, for agetrim and for
//                every other program the shim is loaded in (date among them)
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace {

bool swapped = false;

const char *setting(const char *name)
{
    const char *value = std::getenv(name);
    return value != nullptr ? value : "";
}

void swap()
{
    swapped = true;
    const std::string dir = setting("SWAP_DIR");
    const char *target = setting("SWAP_TARGET");
    if (std::rename(dir.c_str(), (dir + ".moved").c_str()) != 0 ||
        (*target != '\0' ? symlink(target, dir.c_str()) : mkdir(dir.c_str(), 0755)) != 0)
        std::perror("swap_shim");
    char *end = nullptr;
    const char *owner = setting("SWAP_OWNER");
    const auto uid = static_cast<uid_t>(std::strtoul(owner, &end, 10));
    if (*owner != '\0' && *end == ':' &&
        lchown(dir.c_str(), uid, static_cast<gid_t>(std::strtoul(end + 1, nullptr, 10))) != 0)
        std::perror("swap_shim: lchown");
}

bool armed(const char *at)
{
    return !swapped && std::getenv("SWAP_DIR") != nullptr &&
           std::getenv("SWAP_TARGET") != nullptr &&
           std::strcmp(*setting("SWAP_AT") != '\0' ? setting("SWAP_AT") : "unlinkat", at) == 0;
}

template <typename Function> Function next(const char *name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

// True, with errno set, when calls of name are to fail.
bool failing(const char *name)
{
    if (std::strcmp(setting("FAIL_CALL"), name) != 0)
        return false;
    errno = EIO;
    return true;
}

} // namespace

// The C library names the parameters differently on each system.
// NOLINTNEXTLINE(readability-inconsistent-declaration-parameter-name)
extern "C" int unlinkat(int dir_fd, const char *name, int flags)
{
    static const auto real = next<int (*)(int, const char *, int)>("unlinkat");
    static long calls = 0;
    if (++calls == std::strtol(setting("KILL_AT"), nullptr, 10))
        raise(SIGTERM);
    if (failing("unlinkat"))
        return -1;
    if (armed("unlinkat"))
        swap();
    return real(dir_fd, name, flags);
}

// NOLINTNEXTLINE(readability-inconsistent-declaration-parameter-name)
extern "C" int openat(int dir_fd, const char *name, int flags, ...)
{
    static const auto real = next<int (*)(int, const char *, int, ...)>("openat");
    mode_t mode = 0;
    if ((flags & O_CREAT) != 0) {
        va_list arguments;
        va_start(arguments, flags);
        // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized): started above
        mode = static_cast<mode_t>(va_arg(arguments, int));
        va_end(arguments);
    }
    if (armed("openat")) {
        const char *dir = setting("SWAP_DIR");
        const char *last = std::strrchr(dir, '/');
        if (std::strcmp(name, last != nullptr ? last + 1 : dir) == 0)
            swap();
    }
    return real(dir_fd, name, flags, mode);
}

// NOLINTNEXTLINE(readability-inconsistent-declaration-parameter-name)
extern "C" struct dirent *readdir(DIR *stream)
{
    static const auto real = next<struct dirent *(*)(DIR *)>("readdir");
    return failing("readdir") ? nullptr : real(stream);
}

// NOLINTNEXTLINE(readability-inconsistent-declaration-parameter-name)
extern "C" int stat(const char *path, struct stat *st)
{
    static const auto real = next<int (*)(const char *, struct stat *)>("stat");
    return failing("stat") ? -1 : real(path, st);
}

// NOLINTNEXTLINE(readability-inconsistent-declaration-parameter-name)
extern "C" int statvfs(const char *path, struct statvfs *vfs)
{
    static const auto real = next<int (*)(const char *, struct statvfs *)>("statvfs");
    return failing("statvfs") ? -1 : real(path, vfs);
}

// The stopped clock, or false when the clock runs.
static bool fake_now(time_t *now)
{
    const char *text = setting("FAKE_NOW");
    if (*text == '\0')
        return false;
    *now = static_cast<time_t>(std::strtoll(text, nullptr, 10));
    return true;
}

// NOLINTNEXTLINE(readability-inconsistent-declaration-parameter-name)
extern "C" time_t time(time_t *result)
{
    static const auto real = next<time_t (*)(time_t *)>("time");
    time_t now = 0;
    if (!fake_now(&now))
        return real(result);
    if (result != nullptr)
        *result = now;
    return now;
}

// NOLINTNEXTLINE(readability-inconsistent-declaration-parameter-name)
extern "C" int clock_gettime(clockid_t clock, struct timespec *ts)
{
    static const auto real = next<int (*)(clockid_t, struct timespec *)>("clock_gettime");
    time_t now = 0;
    if (clock != CLOCK_REALTIME || !fake_now(&now))
        return real(clock, ts);
    ts->tv_sec = now;
    ts->tv_nsec = 0;
    return 0;
}
