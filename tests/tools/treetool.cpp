// Test helper: what the end-to-end scripts need and a shell cannot do the
// same way on every system.
//   treetool deep DIR DEPTH SIBLINGS  DIR/d/d/... with SIBLINGS files and one
//                                     empty directory beside each d
//   treetool exchange A B             swaps A and B until killed, saying
//                                     "running" after the first swap; at
//                                     once where the system can, else by
//                                     three renames
//   treetool as UID GID COMMAND...    runs COMMAND as that user and group,
//                                     with no supplementary groups
//   treetool touch EPOCH FILE...      sets the access and modification times,
//                                     making a file that is missing
//   treetool date EPOCH FORMAT        prints the UTC time EPOCH by strftime
//   treetool fsinfo DIR               prints the fragment size and the
//                                     fragments available, from statvfs
//   treetool immutable on|off FILE    sets or clears the immutable flag
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

static int deep(const char *dir, long depth, long siblings)
{
    int fd = open(dir, O_RDONLY | O_DIRECTORY);
    for (long level = 0; fd >= 0 && level < depth; level++) {
        for (long s = 0; s < siblings; s++) {
            const std::string name = "f" + std::to_string(s);
            const int f = openat(fd, name.c_str(), O_WRONLY | O_CREAT, 0644);
            if (f < 0)
                return perror("openat"), 1;
            close(f);
        }
        if (siblings > 0 && mkdirat(fd, "e", 0755) != 0)
            return perror("mkdirat"), 1;
        if (mkdirat(fd, "d", 0755) != 0)
            return perror("mkdirat"), 1;
        const int next = openat(fd, "d", O_RDONLY | O_DIRECTORY);
        close(fd);
        fd = next;
    }
    if (fd < 0)
        return perror("open"), 1;
    close(fd);
    return 0;
}

// Swaps a and b once: atomically with Linux's renameat2, else through a
// third name, which leaves moments where one of them is missing.
static void swap_names(const char *a, const char *b, const std::string &spare)
{
#if defined(__linux__) && defined(SYS_renameat2)
    (void)spare;
    syscall(SYS_renameat2, AT_FDCWD, a, AT_FDCWD, b, RENAME_EXCHANGE);
#else
    rename(a, spare.c_str());
    rename(b, a);
    rename(spare.c_str(), b);
#endif
}

static int exchange(const char *a, const char *b)
{
    const std::string spare = std::string(a) + ".exchanging";
    swap_names(a, b, spare);
    std::puts("running");
    std::fflush(stdout);
    for (;;)
        swap_names(a, b, spare);
}

static int run_as(const char *uid, const char *gid, char **command)
{
    const gid_t group = static_cast<gid_t>(std::strtoul(gid, nullptr, 10));
    if (setgroups(0, nullptr) != 0 || setgid(group) != 0 ||
        setuid(static_cast<uid_t>(std::strtoul(uid, nullptr, 10))) != 0)
        return perror("as"), 2;
    execvp(command[0], command);
    return perror(command[0]), 127;
}

static int set_times(const char *epoch, char **files)
{
    const time_t t = static_cast<time_t>(std::strtoll(epoch, nullptr, 10));
    const struct timespec times[2] = {{t, 0}, {t, 0}};
    for (; *files != nullptr; files++) {
        // As touch does, a file that is not there is made.
        const int fd = open(*files, O_WRONLY | O_CREAT | O_NONBLOCK, 0644);
        if (fd >= 0)
            close(fd);
        if (utimensat(AT_FDCWD, *files, times, 0) != 0)
            return perror(*files), 1;
    }
    return 0;
}

static int print_date(const char *epoch, const char *format)
{
    const time_t t = static_cast<time_t>(std::strtoll(epoch, nullptr, 10));
    struct tm tm {};
    char text[256];
    if (gmtime_r(&t, &tm) == nullptr || std::strftime(text, sizeof text, format, &tm) == 0)
        return std::fprintf(stderr, "date: cannot format %s\n", epoch), 1;
    std::puts(text);
    return 0;
}

static int fsinfo(const char *dir)
{
    struct statvfs vfs;
    if (statvfs(dir, &vfs) != 0)
        return perror(dir), 1;
    std::printf("%lu %llu\n", static_cast<unsigned long>(vfs.f_frsize),
                static_cast<unsigned long long>(vfs.f_bavail));
    return 0;
}

static int immutable(bool on, const char *file)
{
#if defined(__linux__) && defined(FS_IOC_SETFLAGS)
    const int fd = open(file, O_RDONLY | O_NONBLOCK);
    int flags = 0;
    if (fd < 0 || ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0)
        return perror(file), 1;
    flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    const int result = ioctl(fd, FS_IOC_SETFLAGS, &flags);
    const int error = errno;
    close(fd);
    errno = error;
    if (result != 0)
        return perror(file), 1;
    return 0;
#elif defined(UF_IMMUTABLE)
    struct stat st;
    if (stat(file, &st) != 0 ||
        chflags(file, on ? (st.st_flags | UF_IMMUTABLE) : (st.st_flags & ~UF_IMMUTABLE)) != 0)
        return perror(file), 1;
    return 0;
#else
    (void)on;
    std::fprintf(stderr, "%s: no immutable files on this system\n", file);
    return 1;
#endif
}

int main(int argc, char **argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "deep" && argc == 5)
        return deep(argv[2], std::strtol(argv[3], nullptr, 10), std::strtol(argv[4], nullptr, 10));
    if (command == "exchange" && argc == 4)
        return exchange(argv[2], argv[3]);
    if (command == "as" && argc >= 5)
        return run_as(argv[2], argv[3], argv + 4);
    if (command == "touch" && argc >= 4)
        return set_times(argv[2], argv + 3);
    if (command == "date" && argc == 4)
        return print_date(argv[2], argv[3]);
    if (command == "fsinfo" && argc == 3)
        return fsinfo(argv[2]);
    if (command == "immutable" && argc == 4)
        return immutable(std::strcmp(argv[2], "on") == 0, argv[3]);
    std::fprintf(stderr, "usage: treetool deep DIR DEPTH SIBLINGS | exchange A B | "
                         "as UID GID COMMAND... | touch EPOCH FILE... | date EPOCH FORMAT | "
                         "fsinfo DIR | immutable on|off FILE\n");
    return 2;
}
