// Writing table files: output_matrix and the "%1.15E" formatter.
#include "matrix/matrix.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>


namespace {

// Output is gathered in blocks of this size, so a table of 65535 numbers
// (about 1.5 MB) takes a few dozen write calls.
inline constexpr std::size_t OUT_CHUNK = 1 << 16;

// Longest part of the target's name kept in the temporary file's name, so
// that the added prefix and suffix stay within the system's name limit.
inline constexpr std::size_t TMP_BASE_MAX = 200;

// Writes all of text to fd, continuing after partial and interrupted writes.
bool write_all(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t done = ::write(fd, text.data(), text.size());
        if (done < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(done));
    }
    return true;
}

// The rectangle to write; rows may be empty (row_max < row_min).
struct range {
    double** mat;
    int row_min, row_max, col_min, col_max;
};

// Writes the table text of r to fd; false at the first failed write.
bool write_table(int fd, const range& r) {
    std::vector<char> buf(OUT_CHUNK);
    std::size_t used = 0;
    for (long long i = r.row_min; i <= r.row_max; ++i) {
        const double* row = r.mat[i];
        for (long long j = r.col_min; j <= r.col_max; ++j) {
            if (OUT_CHUNK - used <= FORMAT_E15_MAX) {
                if (!write_all(fd, {buf.data(), used})) return false;
                used = 0;
            }
            used += format_e15(row[j], buf.data() + used);
            buf[used++] = j < r.col_max ? '\t' : '\n';
        }
    }
    return write_all(fd, {buf.data(), used});
}

// The signals that end the program while a temporary file stands beside
// the target: on each, the handler removes the file and the signal then
// ends the program as it would have.
inline constexpr int CLEANUP_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

// The temporary file to remove on one of those signals: its name, set
// while it is not armed, and armed once the file exists. A name longer
// than the buffer is longer than any path the system opens.
char temp_to_remove[PATH_MAX + 1];
volatile std::sig_atomic_t temp_armed = 0;

// Removes the armed temporary file, then raises the signal again with its
// default action, which ends the program once the handler returns (the
// signal stays blocked until then). Only async-signal-safe calls.
extern "C" void remove_temp_and_die(int sig) {
    if (temp_armed != 0) ::unlink(temp_to_remove);
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    ::sigemptyset(&dfl.sa_mask);
    ::sigaction(sig, &dfl, nullptr);
    ::raise(sig);
}

// The dispositions in force while a table is written, restored on
// destruction. Always: SIGXFSZ ignored, so that a file size limit fails a
// write (EFBIG) instead of killing the program. Writing through a
// temporary file: CLEANUP_SIGNALS caught by remove_temp_and_die, except
// those the program was started to ignore (nohup). Writing directly:
// SIGPIPE ignored, so that a FIFO whose reader has gone fails the write
// (EPIPE) like any other fault.
class write_signals {
  public:
    explicit write_signals(bool temp_file) {
        struct sigaction act {};
        ::sigemptyset(&act.sa_mask);
        act.sa_handler = SIG_IGN;
        change(SIGXFSZ, act);
        if (!temp_file) {
            change(SIGPIPE, act);
            return;
        }
        for (const int sig : CLEANUP_SIGNALS) ::sigaddset(&act.sa_mask, sig);
        act.sa_handler = remove_temp_and_die;
        for (const int sig : CLEANUP_SIGNALS) {
            struct sigaction now {};
            if (::sigaction(sig, nullptr, &now) == 0 && now.sa_handler == SIG_DFL) change(sig, act);
        }
    }
    write_signals(const write_signals&) = delete;
    write_signals& operator=(const write_signals&) = delete;
    ~write_signals() {
        for (int k = 0; k < count_; ++k) ::sigaction(saved_[k].sig, &saved_[k].act, nullptr);
    }

  private:
    struct saved {
        int sig;
        struct sigaction act;
    };
    saved saved_[6]{};
    int count_ = 0;

    void change(int sig, const struct sigaction& act) {
        if (::sigaction(sig, &act, &saved_[count_].act) == 0) saved_[count_++].sig = sig;
    }
};

// Blocks CLEANUP_SIGNALS while it lives, so that a step and the arming or
// disarming of temp_to_remove happen together; a signal that arrives
// meanwhile is handled once they are done.
class cleanup_signals_blocked {
  public:
    cleanup_signals_blocked() {
        sigset_t set;
        ::sigemptyset(&set);
        for (const int sig : CLEANUP_SIGNALS) ::sigaddset(&set, sig);
        ::sigprocmask(SIG_BLOCK, &set, &old_);
    }
    cleanup_signals_blocked(const cleanup_signals_blocked&) = delete;
    cleanup_signals_blocked& operator=(const cleanup_signals_blocked&) = delete;
    ~cleanup_signals_blocked() { ::sigprocmask(SIG_SETMASK, &old_, nullptr); }

  private:
    sigset_t old_{};
};

// Writes straight into the target: for devices, FIFOs and the like, which
// cannot be replaced by a rename.
bool write_direct(const char* path, const range& r) {
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    const bool written = write_table(fd, r);
    const bool closed = ::close(fd) == 0;
    return written && closed;
}

// A name for the temporary file beside `target`, e.g. "dir/.c.tsv.k3x9qa"
// for "dir/c.tsv"; `seed` varies the six-letter suffix between attempts.
std::string temp_name(std::string_view target, std::uint64_t seed) {
    const std::size_t slash = target.rfind('/');
    const std::string_view dir = slash == std::string_view::npos ? "" : target.substr(0, slash + 1);
    const std::string_view base = target.substr(dir.size()).substr(0, TMP_BASE_MAX);
    std::string name;
    name.append(dir).append(".").append(base).append(".");
    // splitmix64 spreads the seed over the suffix letters
    std::uint64_t z = seed + 0x9E3779B97F4A7C15ULL;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z ^= z >> 31;
    constexpr std::string_view letters = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int k = 0; k < 6; ++k, z /= letters.size()) name += letters[z % letters.size()];
    return name;
}

// Creates a new temporary file beside target, arming it for removal on a
// signal; its descriptor, or -1.
int create_temp(const std::string& target, std::string& tmp) {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const auto seed = static_cast<std::uint64_t>(now.tv_nsec) ^
                      (static_cast<std::uint64_t>(now.tv_sec) << 20) ^
                      (static_cast<std::uint64_t>(::getpid()) << 40);
    for (std::uint64_t attempt = 0; attempt < 100; ++attempt) {
        tmp = temp_name(target, seed + attempt);
        if (tmp.size() >= sizeof temp_to_remove) return -1;
        std::memcpy(temp_to_remove, tmp.c_str(), tmp.size() + 1);
        const cleanup_signals_blocked blocked;
        const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            temp_armed = 1;
            return fd;
        }
        if (errno != EEXIST) return -1;
    }
    return -1;
}

// Writes the table into a new temporary file beside target and renames it
// over target, so target is either untouched or wholly replaced. The new
// file gets 0666 less the umask; when it replaces the file `old`, that
// file's owner, group (as far as the caller may give them) and permission
// bits, never a setuid or setgid bit. The temporary file is removed on
// every failure, and on a signal that ends the program meanwhile.
bool write_atomic(const std::string& target, const struct stat* old, const range& r) {
    const write_signals signals(true);
    std::string tmp;
    const int fd = create_temp(target, tmp);
    if (fd < 0) return false;

    // the owner first: a change of owner may clear permission bits
    bool ok = true;
    if (old != nullptr) {
        if (::fchown(fd, old->st_uid, old->st_gid) != 0 &&
            ::fchown(fd, ~uid_t{0}, old->st_gid) != 0) {
            // neither is the caller's to give: the new file stays its own
        }
        ok = ::fchmod(fd, old->st_mode & 07777 & ~mode_t{S_ISUID | S_ISGID}) == 0;
    }
    // fsync before the rename: otherwise a crash soon after could leave the
    // new name on a file whose data never reached the disk
    ok = ok && write_table(fd, r) && (::fsync(fd) == 0 || errno == EINVAL);
    ok = (::close(fd) == 0) && ok;
    const cleanup_signals_blocked blocked;
    ok = ok && ::rename(tmp.c_str(), target.c_str()) == 0;
    if (!ok) ::unlink(tmp.c_str());
    temp_armed = 0;
    return ok;
}

// The name a dangling symbolic link leads to, following a chain of links
// to the name that does not exist yet: the link "out/c.tsv" holding
// "new.tsv" leads to "out/new.tsv". Empty when a link cannot be read or
// the chain is longer than the system follows.
std::string dangling_target(const char* path) {
    std::string at = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(at.c_str(), &st) != 0) return errno == ENOENT ? at : std::string{};
        if (!S_ISLNK(st.st_mode)) return {};
        char link[PATH_MAX];
        const ssize_t n = ::readlink(at.c_str(), link, sizeof link);
        if (n <= 0 || static_cast<std::size_t>(n) == sizeof link) return {};
        const std::string_view to(link, static_cast<std::size_t>(n));
        const std::size_t slash = at.rfind('/');
        if (to[0] == '/' || slash == std::string::npos)
            at.assign(to);
        else
            at.erase(slash + 1).append(to);
    }
    return {};
}

// The file a regular-file target stands for: itself, or for a symbolic link
// the file it leads to, so that the rename replaces that file and keeps the
// link. Empty when the link cannot be resolved.
std::string resolve(const char* path) {
    struct stat link {};
    if (::lstat(path, &link) != 0 || !S_ISLNK(link.st_mode)) return path;
    char* real = ::realpath(path, nullptr);
    if (real == nullptr) return {};
    std::string resolved = real;
    std::free(real);
    return resolved;
}

// Writes the table through the open descriptor fd, after what the program's
// own streams hold (flushed first, so the table comes after them).
bool write_descriptor(int fd, const range& r) {
    std::fflush(nullptr);
    return write_table(fd, r);
}

} // namespace

int table_descriptor(const char* name) {
    if (name == nullptr) return -1;
    const std::string_view n = name;
    if (n == "/dev/stdin") return STDIN_FILENO;
    if (n == "/dev/stdout") return STDOUT_FILENO;
    if (n == "/dev/stderr") return STDERR_FILENO;
    std::string_view digits;
    for (const std::string_view prefix : {"/dev/fd/", "/proc/self/fd/"})
        if (n.substr(0, prefix.size()) == prefix) digits = n.substr(prefix.size());
    int fd = -1;
    const char* end = digits.data() + digits.size();
    if (digits.empty() || digits[0] == '+' || digits[0] == '-' ||
        std::from_chars(digits.data(), end, fd).ptr != end)
        return -1;
    return fd;
}

int output_matrix(const char* filedest, double** mat, int row_min, int row_max, int col_min,
                  int col_max) {
    if (filedest == nullptr || *filedest == '\0') return 0;
    if (row_max >= row_min && (mat == nullptr || col_max < col_min)) return 0;
    const range r{mat, row_min, row_max, col_min, col_max};
    if (const int fd = table_descriptor(filedest); fd >= 0) return write_descriptor(fd, r) ? -1 : 0;

    struct stat st {};
    if (::stat(filedest, &st) != 0) {
        if (errno != ENOENT) return 0;
        // a link to a file not yet there creates that file, like any new file
        struct stat link {};
        if (::lstat(filedest, &link) != 0) return write_atomic(filedest, nullptr, r) ? -1 : 0;
        const std::string target = dangling_target(filedest);
        return !target.empty() && write_atomic(target, nullptr, r) ? -1 : 0;
    }
    if (S_ISDIR(st.st_mode)) return 0;
    if (!S_ISREG(st.st_mode)) {
        const write_signals signals(false);
        return write_direct(filedest, r) ? -1 : 0;
    }

    // standard output or error redirected to this file (the target named as
    // /dev/stdout, say): replacing the file would drop what the stream has
    // written and will write, so the table goes through the stream's own
    // descriptor, after what it holds already
    for (const int fd : {STDOUT_FILENO, STDERR_FILENO}) {
        struct stat out {};
        if (::fstat(fd, &out) == 0 && out.st_dev == st.st_dev && out.st_ino == st.st_ino) {
            std::fflush(fd == STDOUT_FILENO ? stdout : stderr);
            const write_signals signals(false);
            return write_table(fd, r) ? -1 : 0;
        }
    }

    // a regular file the caller may not write is not replaced behind its back
    if (::faccessat(AT_FDCWD, filedest, W_OK, AT_EACCESS) != 0) return 0;
    const std::string target = resolve(filedest);
    if (target.empty()) return 0;
    return write_atomic(target, &st, r) ? -1 : 0;
}
