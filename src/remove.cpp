// The removal walk. It works on directory descriptors, never on paths:
// every object is looked up by name in a directory that is already open and
// verified, so a directory swapped for a symbolic link while the walk runs
// cannot lead it outside the tree, and depth is limited by memory alone.
#include "remove.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/sysmacros.h>
#endif

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "options.h"

// The call named when a walk cannot start or a directory cannot be read. The
// walk once was nftw's, and the name stays because it is the one that users
// and their scripts see in messages.
static const char walk_call[] = "nftw";

// What a directory that changed under the walk is reported with.
static const char replaced_text[] = "Directory replaced during removal";

// The directory that holds the last operand and its path as given. Most
// operands share one, so it stays open for the next entry: opening it anew
// each time would double the system calls of a prune of plain files. Its
// hazard: a parent renamed during the run is still used as first opened.
static std::string cached_parent_path;
static int cached_parent_fd = -1;

// The identity of the root directory, taken at the first directory operand,
// so that "/" under another name (a bind mount of it, say) is refused too.
// Its hazard: a root that changes during the run (chroot) is not seen.
static struct stat root_identity;
static bool have_root_identity = false;
static bool root_identity_taken = false;

namespace {

// At most this many directories are open at once; the walk closes the
// shallowest ones beyond it and re-opens them on the way back up.
constexpr size_t max_open_directories = 64;

// One directory on the way down from the operand to the one being read.
struct level {
    DIR *stream = nullptr; // null while closed to save descriptors
    dev_t dev = 0;         // identity checked whenever it is opened
    ino_t ino = 0;
    size_t name_offset = 0; // its name in walk::path
    size_t path_length = 0; // walk::path up to and including its name
};

struct walk {
    const char *entry_name = nullptr;
    std::string path;       // for messages only
    size_t root_length = 0; // the operand's own part of path
    dev_t dev = 0;          // the entry's file system; the walk never leaves it
    int parent_fd = -1;     // the operand's parent, open for the whole walk and after
    std::vector<level> levels;
    size_t first_open = 0; // levels below this index are closed
};

// The object at w.path for messages; the operand itself as it was given.
const char *shown_path(const walk &w)
{
    return w.path.size() == w.root_length ? w.entry_name : w.path.c_str();
}

// Reports the failed removal of the object at w.path.
[[noreturn]] void fail_remove(const walk &w)
{
    fail_call("remove", shown_path(w));
}

// Reports that the directory at w.path is no longer the one examined: it
// was replaced, or moved away, while the walk ran. The walk stops rather
// than remove what it did not examine.
[[noreturn]] void fail_replaced(const walk &w)
{
    fail_call_text("remove", shown_path(w), replaced_text);
}

// Examines name in dir_fd without following a link. Where the platform tells,
// also reports whether it is the root of a mount, which a bind mount of the
// same device is, although its device number is the same as its parent's.
int examine(int dir_fd, const char *name, struct stat *st, bool *mount_root)
{
    *mount_root = false;
#if defined(__linux__) && defined(STATX_ATTR_MOUNT_ROOT)
    struct statx sx;
    if (statx(dir_fd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT,
              STATX_TYPE | STATX_MODE | STATX_INO, &sx) == 0) {
        st->st_mode = sx.stx_mode;
        st->st_ino = sx.stx_ino;
        st->st_dev = makedev(sx.stx_dev_major, sx.stx_dev_minor);
        *mount_root = (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0 &&
                      (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
        return 0;
    }
    if (errno != ENOSYS)
        return -1;
#endif
    return fstatat(dir_fd, name, st, AT_SYMLINK_NOFOLLOW);
}

// Closes fd, if it is open, without losing the error that made it go.
void close_keeping_errno(int fd)
{
    const int error = errno;
    if (fd >= 0)
        close(fd);
    errno = error;
}

// Closes the shallowest open directory but the one being read; false if
// there is none.
bool close_shallowest(walk &w)
{
    if (w.first_open + 1 >= w.levels.size())
        return false;
    closedir(w.levels[w.first_open].stream);
    w.levels[w.first_open].stream = nullptr;
    w.first_open++;
    return true;
}

// Opens a directory relative to dir_fd, closing ancestors when descriptors
// run short, and checks that it is the object expected; when another object
// has taken its place, sets *replaced and returns null.
DIR *open_directory(walk &w, int dir_fd, const char *name, dev_t dev, ino_t ino, bool *replaced)
{
    *replaced = false;
    int fd;
    while ((fd = openat(dir_fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)) < 0 &&
           (errno == EMFILE || errno == ENFILE) && close_shallowest(w)) {
    }
    if (fd < 0)
        return nullptr;
    struct stat st;
    if (fstat(fd, &st) != 0) {
        close_keeping_errno(fd);
        return nullptr;
    }
    if (st.st_dev != dev || st.st_ino != ino) {
        close(fd);
        *replaced = true;
        return nullptr;
    }
    DIR *stream = fdopendir(fd);
    if (stream == nullptr)
        close_keeping_errno(fd);
    return stream;
}

// Enters the directory name (already appended to w.path) in dir_fd.
void enter(walk &w, int dir_fd, const char *name, size_t name_offset, const struct stat &st)
{
    bool replaced = false;
    DIR *stream = open_directory(w, dir_fd, name, st.st_dev, st.st_ino, &replaced);
    if (replaced)
        fail_replaced(w);
    if (stream == nullptr) {
        // A directory that cannot be read can still be removed if it is empty.
        if (errno == EACCES) {
            if (unlinkat(dir_fd, name, AT_REMOVEDIR) != 0)
                fail_remove(w);
            w.path.resize(name_offset > 0 ? name_offset - 1 : 0);
            return;
        }
        if (errno == EMFILE || errno == ENFILE || errno == ENOMEM)
            fail_call(walk_call, w.entry_name);
        // Replaced by a symbolic link or a file since it was examined:
        // O_NOFOLLOW answers a link with ELOOP on Linux, EMLINK on FreeBSD.
        if (errno == ELOOP || errno == EMLINK)
            errno = ENOTDIR;
        fail_remove(w);
    }
    level l;
    l.stream = stream;
    l.dev = st.st_dev;
    l.ino = st.st_ino;
    l.name_offset = name_offset;
    l.path_length = w.path.size();
    w.levels.push_back(l);
    if (w.levels.size() - w.first_open + 1 > max_open_directories)
        close_shallowest(w);
}

// Whether the directory itself says that an entry is not a directory.
bool known_non_directory(const struct dirent *d)
{
#ifdef DT_DIR
    return d->d_type != DT_DIR && d->d_type != DT_UNKNOWN;
#else
    (void)d;
    return false;
#endif
}

// Removes one object found in the directory being read.
void remove_child(walk &w, const struct dirent *d)
{
    const char *name = d->d_name;
    const int dir_fd = dirfd(w.levels.back().stream);
    const size_t parent_length = w.path.size();
    w.path += '/';
    w.path += name;
    struct stat st {};
    bool mount_root = false;
    // Where the directory tells the type, a non-directory needs no examining:
    // unlinkat removes neither a directory nor a link's target, so one that
    // changed in the meantime only makes it fail.
    if (known_non_directory(d))
        st.st_mode = S_IFREG;
    else if (examine(dir_fd, name, &st, &mount_root) != 0)
        fail_remove(w);
    if (!S_ISDIR(st.st_mode)) {
        // unlinkat never follows a symbolic link: a link goes, its target stays.
        if (unlinkat(dir_fd, name, 0) != 0)
            fail_remove(w);
    } else if (st.st_dev == w.dev && !mount_root) {
        enter(w, dir_fd, name, parent_length + 1, st);
        return;
    }
    // A mount point is neither entered nor removed; its parent stays too.
    w.path.resize(parent_length);
}

// Re-opens the closed parent of the deepest directory through its "..".
void reopen_parent(walk &w)
{
    const size_t index = w.levels.size() - 2;
    level &parent = w.levels[index];
    bool replaced = false;
    DIR *stream =
        open_directory(w, dirfd(w.levels.back().stream), "..", parent.dev, parent.ino, &replaced);
    if (replaced) {
        // The directory was moved away from the parent it was entered from.
        w.path.resize(parent.path_length);
        fail_replaced(w);
    }
    if (stream == nullptr)
        fail_call(walk_call, w.entry_name);
    parent.stream = stream;
    w.first_open = index;
}

// Leaves the deepest directory, now empty, and removes it.
void leave(walk &w)
{
    if (w.levels.size() > 1 && w.levels[w.levels.size() - 2].stream == nullptr)
        reopen_parent(w);
    const level top = w.levels.back();
    w.levels.pop_back();
    if (w.first_open > w.levels.size())
        w.first_open = w.levels.size();
    closedir(top.stream);
    const int parent_fd = w.levels.empty() ? w.parent_fd : dirfd(w.levels.back().stream);
    w.path.resize(top.path_length);
    if (unlinkat(parent_fd, w.path.c_str() + top.name_offset, AT_REMOVEDIR) != 0)
        fail_remove(w);
    w.path.resize(top.name_offset > 0 ? top.name_offset - 1 : 0);
}

// Reads and empties directories until the walk is back above the operand.
void run_walk(walk &w)
{
    while (!w.levels.empty()) {
        errno = 0;
        // One thread, one stream each: readdir is safe; readdir_r is deprecated.
        // cppcheck-suppress readdirCalled
        const struct dirent *d = readdir(w.levels.back().stream);
        if (d == nullptr) {
            if (errno != 0)
                fail_call(walk_call, w.entry_name);
            leave(w);
        } else if (std::strcmp(d->d_name, ".") != 0 && std::strcmp(d->d_name, "..") != 0) {
            remove_child(w, d);
        }
    }
}

// Directories on the way to an operand are only looked up in, never read,
// so a descriptor that allows lookups is all they need: search permission
// is enough, as it is for rm.
#if defined(O_PATH)
constexpr int lookup_flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
#elif defined(O_SEARCH)
constexpr int lookup_flags = O_SEARCH | O_DIRECTORY | O_CLOEXEC;
#else
constexpr int lookup_flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

// More symbolic links than this on the way to one operand end the run, as
// they end a lookup in the kernel.
constexpr int max_links = 32;

// Whether a step from an object owned by from to one owned by to is unsafe:
// what a user other than root and ourselves owns, that user can replace, so
// from there only that user's own objects may be reached.
bool unsafe_step(uid_t from, uid_t to)
{
    return from != 0 && from != geteuid() && to != from;
}

// Pushes the components of path on todo, the first one last; empty ones
// and "." name nothing.
void push_components(std::vector<std::string> &todo, const std::string &path)
{
    size_t end = path.size();
    while (end > 0) {
        const size_t slash = path.rfind('/', end - 1);
        const size_t start = slash == std::string::npos ? 0 : slash + 1;
        const std::string name = path.substr(start, end - start);
        if (!name.empty() && name != ".")
            todo.push_back(name);
        if (slash == std::string::npos)
            break;
        end = slash;
    }
}

// The target of the symbolic link name in dir_fd, whose size lstat gave.
bool read_link(int dir_fd, const char *name, off_t size, std::string *target)
{
    target->resize(static_cast<size_t>(size > 0 ? size : 255) + 1);
    for (;;) {
        const ssize_t n = readlinkat(dir_fd, name, target->data(), target->size());
        if (n < 0)
            return false;
        if (static_cast<size_t>(n) < target->size()) {
            target->resize(static_cast<size_t>(n));
            return true;
        }
        // The link grew since it was examined.
        target->resize(target->size() * 2);
    }
}

// A directory reached on the way to an operand, and its owner.
struct step {
    int fd = -1;
    uid_t owner = 0;
};

// Opens a starting point ("/" or "."); false with errno on failure.
bool start_at(const char *where, step *s)
{
    s->fd = open(where, lookup_flags);
    struct stat st;
    if (s->fd < 0 || fstat(s->fd, &st) != 0)
        return false;
    s->owner = st.st_uid;
    return true;
}

// Moves s to the directory name in it, following it if it is a symbolic
// link by pushing its target on todo (from "/" again for an absolute one).
// False with errno when that fails, and with *unsafe when it would be an
// unsafe step.
bool take_step(step *s, const std::string &name, std::vector<std::string> &todo, int *links,
               bool *unsafe)
{
    const int next = openat(s->fd, name.c_str(), lookup_flags | O_NOFOLLOW);
    struct stat st;
    if (next >= 0) {
        if (fstat(next, &st) != 0 || (*unsafe = unsafe_step(s->owner, st.st_uid))) {
            close_keeping_errno(next);
            return false;
        }
        close(s->fd);
        s->fd = next;
        s->owner = st.st_uid;
        return true;
    }
    // A symbolic link fails to open as a directory, with an error that
    // differs between systems; only its status tells.
    const int error = errno;
    std::string target;
    if (fstatat(s->fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(st.st_mode)) {
        errno = error;
        return false;
    }
    if (++*links > max_links) {
        errno = ELOOP;
        return false;
    }
    if ((*unsafe = unsafe_step(s->owner, st.st_uid)) ||
        !read_link(s->fd, name.c_str(), st.st_size, &target))
        return false;
    if (target.empty()) {
        errno = ENOENT;
        return false;
    }
    push_components(todo, target);
    const uid_t link_owner = st.st_uid;
    if (target[0] == '/') {
        close(s->fd);
        if (!start_at("/", s))
            return false;
    }
    // The link's target is the link owner's choice: the directory it leads
    // to next must be safe to reach from the link.
    *unsafe = unsafe_step(link_owner, s->owner);
    return !*unsafe;
}

// Opens the directory parent one component at a time, from "/" or from the
// working directory, never following a symbolic link whole but resolving
// each through the descriptors, so that no link or directory swapped in on
// the way is followed unchecked. Returns the descriptor, or -1 with errno, or
// -1 with *unsafe when a step of the way is unsafe.
int resolve(const std::string &parent, bool *unsafe)
{
    *unsafe = false;
    std::vector<std::string> todo;
    push_components(todo, parent);
    step s;
    bool resolved = start_at(parent[0] == '/' ? "/" : ".", &s);
    int links = 0;
    while (resolved && !todo.empty()) {
        const std::string name = std::move(todo.back());
        todo.pop_back();
        resolved = take_step(&s, name, todo, &links, unsafe);
    }
    if (resolved)
        return s.fd;
    close_keeping_errno(s.fd);
    return -1;
}

// Opens the directory that holds an operand, or returns the one still open
// for the operand before.
int open_parent(const std::string &parent, bool *unsafe)
{
    *unsafe = false;
    if (cached_parent_fd >= 0 && parent == cached_parent_path)
        return cached_parent_fd;
    if (cached_parent_fd >= 0)
        close(cached_parent_fd);
    cached_parent_fd = resolve(parent, unsafe);
    cached_parent_path = parent;
    return cached_parent_fd;
}

// True when st is the root directory.
bool is_root(const struct stat &st)
{
    if (!root_identity_taken) {
        root_identity_taken = true;
        have_root_identity = stat("/", &root_identity) == 0;
    }
    return have_root_identity && root_identity.st_dev == st.st_dev &&
           root_identity.st_ino == st.st_ino;
}

// An operand split for removal: its path without trailing slashes, and
// where its last component starts.
struct operand {
    std::string path;
    size_t base = 0;
};

operand split(const char *path)
{
    operand o;
    // Trailing slashes name the same object; the last component is what is
    // removed from its parent.
    o.path = path;
    while (o.path.size() > 1 && o.path.back() == '/')
        o.path.pop_back();
    const size_t slash = o.path.rfind('/');
    o.base = slash == std::string::npos ? 0 : slash + 1;
    return o;
}

// The error that refuses an operand by its name, or 0. They are the answers
// rmdir gives: EBUSY for the root directory, EINVAL for a path that ends in
// "." or "..".
int refusal(const operand &o)
{
    const std::string last = o.path.substr(o.base);
    if (o.path == "/")
        return EBUSY;
    if (last == "." || last == "..")
        return EINVAL;
    return 0;
}

} // namespace

void check_removable(const char *path, const struct stat &target)
{
    if (const int error = refusal(split(path)))
        fail_call_errno("remove", path, error);
    // The root directory under another name; a link to it is only a link.
    struct stat st;
    if (is_root(target) && lstat(path, &st) == 0 && !S_ISLNK(st.st_mode))
        fail_call_errno("remove", path, EBUSY);
}

void remove_tree(const char *path)
{
    const operand o = split(path);
    if (const int error = refusal(o))
        fail_call_errno("remove", path, error);
    const std::string last = o.path.substr(o.base);
    walk w;
    w.entry_name = path;
    w.path = o.path;
    w.root_length = w.path.size();
    bool unsafe = false;
    w.parent_fd = open_parent(o.base == 0 ? std::string(".") : w.path.substr(0, o.base), &unsafe);
    // A step of the way that another user could have redirected: nothing of
    // this operand is touched.
    if (unsafe)
        fail_call_errno("remove", path, EPERM);
    if (w.parent_fd < 0)
        fail_call(walk_call, path);
    struct stat st;
    bool mount_root = false;
    if (examine(w.parent_fd, last.c_str(), &st, &mount_root) != 0)
        fail_call(walk_call, path);
    if (!S_ISDIR(st.st_mode)) {
        if (unlinkat(w.parent_fd, last.c_str(), 0) != 0)
            fail_call("remove", path);
    } else {
        // The root directory under another name, such as a bind mount of it.
        if (is_root(st))
            fail_call_errno("remove", path, EBUSY);
        w.dev = st.st_dev;
        enter(w, w.parent_fd, last.c_str(), o.base, st);
        run_walk(w);
    }
}
