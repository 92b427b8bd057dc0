// End-to-end test support: run a built program in a scratch folder and
// collect its exit status, standard output and standard error.
#ifndef TESTS_E2E_H
#define TESTS_E2E_H

#include <functional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace e2e {

struct Result {
    int status = -1; // exit status, or 128 + signal
    std::string out, err;
};

// A scratch folder, removed with everything in it on destruction.
class TempDir {
  public:
    TempDir();
    TempDir(const TempDir&) = delete;
    ~TempDir();

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    void write(const std::string& name, const std::string& content) const;
    std::string read(const std::string& name) const;
    bool exists(const std::string& name) const;

  private:
    std::string path_;
};

// Runs `program` with `args` in the folder `cwd` (standard input empty);
// `meanwhile`, when given, is called with its process id once it started.
Result run(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
           const std::function<void(pid_t)>& meanwhile = {});

// Runs `program` with `args` in `dir` while the folder takes no new file,
// and expects the refusal of the write: status 1, "sorry, something wrong"
// and the file `target` as it was. Root writes anyway, so as root the run
// is made and not judged.
void expect_write_refused_in_locked_folder(const std::string& program, const std::vector<std::string>& args,
                                           const TempDir& dir, const std::string& target);

// The bytes "%1.15E" gives for each value: tab-separated rows.
std::string table(const std::vector<std::vector<double>>& rows);

} // namespace e2e

#endif
