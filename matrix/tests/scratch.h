// A fresh folder for the files of one test, removed with its contents when
// the test ends.
#ifndef MATRIX_TESTS_SCRATCH_H
#define MATRIX_TESTS_SCRATCH_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

class scratch {
  public:
    scratch() {
        std::string tmpl = ::testing::TempDir() + "matrix_test_XXXXXX";
        dir_ = ::mkdtemp(tmpl.data()) != nullptr ? tmpl : std::string();
        EXPECT_FALSE(dir_.empty()) << "mkdtemp failed";
    }
    ~scratch() { std::filesystem::remove_all(dir_); }

    std::string path(std::string_view name) const { return dir_ + "/" + std::string(name); }
    const std::string& dir() const { return dir_; }

    // Writes text (byte for byte) to the file `name` and returns its path.
    std::string write(std::string_view name, std::string_view text) const {
        std::ofstream(path(name), std::ios::binary).write(text.data(), std::ssize(text));
        return path(name);
    }
    static std::string read(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    // How many entries the folder holds.
    std::ptrdiff_t entries() const {
        return std::distance(std::filesystem::directory_iterator(dir_),
                             std::filesystem::directory_iterator());
    }

  private:
    std::string dir_;
};

#endif
