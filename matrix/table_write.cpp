// Writing table files: output_matrix and the "%1.15E" formatter.
#include "matrix/format_e15.h"
#include "matrix/matrix.h"

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>


namespace {

using matrix_internal::format_e15;
using matrix_internal::FORMAT_E15_MAX;

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

// Writes the table into a new temporary file beside target and renames it
// over target, so target is either untouched or wholly replaced. The new
// file gets 0666 less the umask, or `mode` when one is given (the mode of
// the file it replaces). The temporary file is removed on every failure.
bool write_atomic(const std::string& target, const mode_t* mode, const range& r) {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const auto seed = static_cast<std::uint64_t>(now.tv_nsec) ^
                      (static_cast<std::uint64_t>(now.tv_sec) << 20) ^
                      (static_cast<std::uint64_t>(::getpid()) << 40);
    std::string tmp;
    int fd = -1;
    for (std::uint64_t attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        tmp = temp_name(target, seed + attempt);
        fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;

    // fsync before the rename: otherwise a crash soon after could leave the
    // new name on a file whose data never reached the disk
    bool ok = (mode == nullptr || ::fchmod(fd, *mode) == 0) && write_table(fd, r) &&
              (::fsync(fd) == 0 || errno == EINVAL);
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(tmp.c_str(), target.c_str()) == 0;
    if (!ok) ::unlink(tmp.c_str());
    return ok;
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
        // a link to a file not yet there is written through, creating that file
        struct stat link {};
        if (::lstat(filedest, &link) == 0) return write_direct(filedest, r) ? -1 : 0;
        return write_atomic(filedest, nullptr, r) ? -1 : 0;
    }
    if (S_ISDIR(st.st_mode)) return 0;
    if (!S_ISREG(st.st_mode)) return write_direct(filedest, r) ? -1 : 0;

    // standard output or error redirected to this file (the target named as
    // /dev/stdout, say): replacing the file would drop what the stream has
    // written and will write, so the table goes through the stream's own
    // descriptor, after what it holds already
    for (const int fd : {STDOUT_FILENO, STDERR_FILENO}) {
        struct stat out {};
        if (::fstat(fd, &out) == 0 && out.st_dev == st.st_dev && out.st_ino == st.st_ino) {
            std::fflush(fd == STDOUT_FILENO ? stdout : stderr);
            return write_table(fd, r) ? -1 : 0;
        }
    }

    // a regular file the caller may not write is not replaced behind its back
    if (::faccessat(AT_FDCWD, filedest, W_OK, AT_EACCESS) != 0) return 0;
    const std::string target = resolve(filedest);
    if (target.empty()) return 0;
    const mode_t mode = st.st_mode & 07777;
    return write_atomic(target, &mode, r) ? -1 : 0;
}
