// The memory an intersection search may take, from what this machine and
// the limits of this process still leave.
#include "nurbs/ssi_budget.hpp"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <optional>
#include <string>

namespace qs::nurbs {

namespace {

constexpr std::size_t kNoLimit = static_cast<std::size_t>(-1);

// The first number in a file; none when it is absent or not a number ("max").
std::optional<std::size_t> read_number(const std::string& path) {
    std::ifstream in(path);
    unsigned long long v = 0;
    if (!(in >> v)) return std::nullopt;
    return static_cast<std::size_t>(v);
}

std::size_t headroom(std::size_t limit, std::size_t used) { return limit > used ? limit - used : 0; }

// What the memory cgroups of this process still allow: the least headroom
// of its group and every group above it, version 2 (memory.max) or
// version 1 (memory.limit_in_bytes). Groups whose files are not visible are
// skipped.
std::size_t cgroup_headroom() {
    std::ifstream groups("/proc/self/cgroup");
    std::size_t room = kNoLimit;
    std::string line;
    while (std::getline(groups, line)) {
        // "0::/path" (version 2) or "4:memory:/path" (version 1)
        const std::size_t a = line.find(':');
        const std::size_t b = a == std::string::npos ? a : line.find(':', a + 1);
        if (b == std::string::npos) continue;
        const std::string controllers = line.substr(a + 1, b - a - 1);
        // The group's path below the root, "" for the root itself.
        std::string dir = line.substr(b + 1);
        if (dir == "/") dir.clear();
        std::string root, limit_file, usage_file;
        if (controllers.empty()) {
            root = "/sys/fs/cgroup";
            limit_file = "/memory.max";
            usage_file = "/memory.current";
        } else if ((',' + controllers + ',').find(",memory,") != std::string::npos) {
            root = "/sys/fs/cgroup/memory";
            limit_file = "/memory.limit_in_bytes";
            usage_file = "/memory.usage_in_bytes";
        } else {
            continue;
        }
        while (true) {
            std::optional<std::size_t> limit = read_number(root + dir + limit_file);
            std::optional<std::size_t> used = read_number(root + dir + usage_file);
            if (limit && used) room = std::min(room, headroom(*limit, *used));
            if (dir.empty()) break;
            const std::size_t up = dir.rfind('/');  // "/a/b" to "/a", "/a" to ""
            dir.resize(up == std::string::npos ? 0 : up);
        }
    }
    return room;
}

// What a resource limit still allows, given the pages now in use.
std::size_t rlimit_headroom(int resource, std::size_t used) {
    rlimit r{};
    if (getrlimit(resource, &r) != 0 || r.rlim_cur == RLIM_INFINITY) return kNoLimit;
    return headroom(static_cast<std::size_t>(r.rlim_cur), used);
}

}  // namespace

std::size_t default_ssi_budget() {
    constexpr std::size_t kCap = std::size_t{2} << 30;
    std::size_t budget = kCap;
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long page = sysconf(_SC_PAGESIZE);
    if (pages > 0 && page > 0)
        budget = std::min(budget, static_cast<std::size_t>(pages) * static_cast<std::size_t>(page) / 4);
    // Limits below physical memory: address space and data size (from the
    // sizes in /proc/self/statm), and the memory cgroup. Half of what they
    // leave, since the process needs room beside the search.
    std::size_t room = cgroup_headroom();
    std::ifstream statm("/proc/self/statm");
    std::size_t size = 0, resident = 0, shared = 0, text = 0, lib = 0, data = 0;
    if (page > 0 && statm >> size >> resident >> shared >> text >> lib >> data) {
        const std::size_t ps = static_cast<std::size_t>(page);
        room = std::min(room, rlimit_headroom(RLIMIT_AS, size * ps));
        room = std::min(room, rlimit_headroom(RLIMIT_DATA, data * ps));
    }
    if (room != kNoLimit) budget = std::min(budget, room / 2);
    return budget;
}

}  // namespace qs::nurbs
