// Test helper: builds trees that a shell cannot (deeper than PATH_MAX) and
// races the removal walk.
//   treetool deep DIR DEPTH SIBLINGS  DIR/d/d/... with SIBLINGS files and one
//                                     empty directory beside each d
//   treetool exchange A B             swaps A and B atomically until killed,
//                                     saying "running" after the first swap
//   treetool can-exchange             succeeds where exchange works
//   treetool as UID GID COMMAND...    runs COMMAND as that user and group,
//                                     with no supplementary groups
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/fs.h>
#include <sys/syscall.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
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

static int exchange(const char *a, const char *b)
{
#if defined(__linux__) && defined(SYS_renameat2)
    syscall(SYS_renameat2, AT_FDCWD, a, AT_FDCWD, b, RENAME_EXCHANGE);
    std::puts("running");
    std::fflush(stdout);
    for (;;)
        syscall(SYS_renameat2, AT_FDCWD, a, AT_FDCWD, b, RENAME_EXCHANGE);
#else
    (void)a;
    (void)b;
    std::fprintf(stderr, "exchange: not supported here\n");
    return 2;
#endif
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

int main(int argc, char **argv)
{
    if (argc >= 5 && std::strcmp(argv[1], "as") == 0)
        return run_as(argv[2], argv[3], argv + 4);
    if (argc == 2 && std::strcmp(argv[1], "can-exchange") == 0) {
#if defined(__linux__) && defined(SYS_renameat2)
        return 0;
#else
        return 1;
#endif
    }
    if (argc == 5 && std::strcmp(argv[1], "deep") == 0)
        return deep(argv[2], std::strtol(argv[3], nullptr, 10), std::strtol(argv[4], nullptr, 10));
    if (argc == 4 && std::strcmp(argv[1], "exchange") == 0)
        return exchange(argv[2], argv[3]);
    std::fprintf(stderr, "usage: treetool deep DIR DEPTH SIBLINGS | exchange A B | can-exchange | "
                         "as UID GID COMMAND...\n");
    return 2;
}
