// Test support: an address-space limit under which large requests fail the
// way an exhausted heap makes them fail.
#ifndef TESTSUPPORT_MEMORY_H
#define TESTSUPPORT_MEMORY_H

#include <cstdio>

#include <sys/resource.h>

// Leaves about 512 MiB of address space beyond what the process maps now.
inline void limit_memory() {
    unsigned long pages = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%lu", &pages) != 1) pages = 0;
        std::fclose(f);
    }
    const rlimit r{pages * 4096 + (1UL << 29), pages * 4096 + (1UL << 29)};
    setrlimit(RLIMIT_AS, &r);
}

#endif
