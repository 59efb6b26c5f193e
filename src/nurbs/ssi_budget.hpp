// How much memory one intersection search may take.
#pragma once

#include <cstddef>

namespace qs::nurbs {

// A quarter of the physical memory, at most 2 GiB, and at most half of what
// the address space and data size limits and the memory cgroup still leave.
std::size_t default_ssi_budget();

// As a budget: default_ssi_budget(), worked out only once a search has
// grown past kSsiProbeBytes, so that the many small calls never read the
// system's limits.
constexpr std::size_t kSsiDefaultBudget = 0;
constexpr std::size_t kSsiProbeBytes = std::size_t{64} << 20;

}  // namespace qs::nurbs
