#include "tests/e2e.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace e2e {

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "xsuite_e2e_XXXXXX").string();
    if (mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    // a test may have taken permissions away; give them back first
    for (auto& e : std::filesystem::recursive_directory_iterator(path_, ec))
        std::filesystem::permissions(e.path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

void TempDir::write(const std::string& name, const std::string& content) const {
    std::ofstream(file(name), std::ios::binary) << content;
}

std::string TempDir::read(const std::string& name) const {
    std::ifstream in(file(name), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool TempDir::exists(const std::string& name) const { return std::filesystem::exists(file(name)); }

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

Result run(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
           const std::function<void(pid_t)>& meanwhile) {
    TempDir io;
    const std::string out_path = io.file("out"), err_path = io.file("err");
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0 || chdir(cwd.c_str()) != 0) _exit(126);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    if (pid > 0 && meanwhile) meanwhile(pid);
    Result r;
    int st = 0;
    if (pid > 0 && waitpid(pid, &st, 0) == pid)
        r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    r.out = slurp(out_path);
    r.err = slurp(err_path);
    return r;
}

std::string table(const std::vector<std::vector<double>>& rows) {
    std::string s;
    char buf[40];
    for (const auto& row : rows)
        for (std::size_t j = 0; j < row.size(); ++j) {
            std::snprintf(buf, sizeof buf, j + 1 < row.size() ? "%1.15E\t" : "%1.15E\n", row[j]);
            s += buf;
        }
    return s;
}

void expect_write_refused_in_locked_folder(const std::string& program, const std::vector<std::string>& args,
                                           const TempDir& dir, const std::string& target) {
    const std::string before = dir.read(target);
    chmod(dir.path().c_str(), 0500);
    const Result r = run(program, args, dir.path());
    chmod(dir.path().c_str(), 0700);
    if (geteuid() == 0) return;
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "sorry, something wrong");
    EXPECT_EQ(dir.read(target), before);
}

} // namespace e2e
