// LD_PRELOAD shim for the removal tests: at the first unlinkat call it moves
// the directory SWAP_DIR away and puts a symbolic link to SWAP_TARGET in its
// place, as an attacker racing the walk would.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

// The C library names the parameters differently on each system.
// NOLINTNEXTLINE(readability-inconsistent-declaration-parameter-name)
extern "C" int unlinkat(int dir_fd, const char *name, int flags)
{
    using unlinkat_function = int (*)(int, const char *, int);
    static const auto real = reinterpret_cast<unlinkat_function>(dlsym(RTLD_NEXT, "unlinkat"));
    static bool swapped = false;
    const char *dir = std::getenv("SWAP_DIR");
    const char *target = std::getenv("SWAP_TARGET");
    if (!swapped && dir != nullptr && target != nullptr) {
        swapped = true;
        if (std::rename(dir, (std::string(dir) + ".moved").c_str()) != 0 ||
            symlink(target, dir) != 0)
            std::perror("swap_shim");
    }
    return real(dir_fd, name, flags);
}
