/// @file dynamic_objects.h
/// @brief Host-internal queries on the libraries the dynamic loader has mapped: which one
///        holds an address, and which libraries one of them needs.
#pragma once

#include <link.h>
#include <string>
#include <vector>

namespace host_detail {

/// The loaded object of a `dlopen` handle, or null.
const link_map *LinkMapOf(void *handle);
/// The loaded object (executable or library) whose code or data holds `address`, or null.
const link_map *ObjectContaining(const void *address);
/// Every loaded object that `object` needs directly or through other libraries (its DT_NEEDED
/// entries, followed transitively), without `object` itself.
std::vector<const link_map *> DependenciesOf(const link_map *object);

}  // namespace host_detail
