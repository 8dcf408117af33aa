// A cluster of one process: the build without MPI.
#include <algorithm>
#include <cstdlib>

#include "sweep/rounds/cluster.h"

namespace mtsweep {

Cluster::Cluster(int&, char**&) {}

Cluster::~Cluster() = default;

int Cluster::share(int value) { return value; }

std::string Cluster::share(const std::string& text) { return text; }

std::vector<int> Cluster::gather(int mine) { return {mine}; }

void Cluster::gather(std::span<const int32_t> mine, std::span<const int>,
                     std::span<const int> displacements, std::span<int32_t> all) {
  std::copy(mine.begin(), mine.end(), all.begin() + displacements[0]);
}

void Cluster::abort(int status) { std::_Exit(status); }

}  // namespace mtsweep
