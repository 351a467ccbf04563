#pragma once

#include "logdate.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace nimbra {

struct RebuildResult
{
    std::size_t files = 0;
    std::int64_t readings = 0;
};

// Before each local copy: its station name, its place (from 1) and the number of copies.
using RebuildProgress = std::function<void(const std::string&, std::size_t, std::size_t)>;

// Builds the kept history at archive anew from the local copies of station logs (*.csv) in
// folder, in name order, each as an import would keep it, all in one transaction: a failure or
// a kill leaves the history as it was. Each copy's stamps are read in the date order its file
// remembers from its import, a copy without one in order. Throws StoreError, also for a copy
// that cannot be read.
RebuildResult RebuildArchive(const std::filesystem::path& folder,
                             const std::filesystem::path& archive, DateOrder order,
                             const RebuildProgress& progress);

} // namespace nimbra
