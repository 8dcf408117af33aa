// A cluster of the ranks of an MPI job, on MPI_COMM_WORLD.  Started without
// mpirun, MPI makes a job of this one process.
//
// Only the main thread calls MPI (MPI_THREAD_FUNNELED): the workers compute
// frames and the signal watcher only sets a flag.  Errors in MPI calls keep
// MPI's default handler, which aborts the whole job: a lost rank ends the
// job instead of leaving the others waiting.
#include <mpi.h>

#include <cstdlib>
#include <stdexcept>

#include "sweep/rounds/cluster.h"

namespace mtsweep {

Cluster::Cluster(int& argc, char**& argv) {
  int provided = 0;
  MPI_Init_thread(&argc, &argv, MPI_THREAD_FUNNELED, &provided);
  if (provided < MPI_THREAD_FUNNELED) {
    // The workers and the signal watcher are threads of every rank.
    MPI_Finalize();
    throw std::runtime_error("this MPI gives no thread support (MPI_THREAD_FUNNELED), which mtsweep's worker threads need");
  }
  MPI_Comm_rank(MPI_COMM_WORLD, &rank_);
  MPI_Comm_size(MPI_COMM_WORLD, &size_);
}

Cluster::~Cluster() { MPI_Finalize(); }

int Cluster::share(int value) {
  MPI_Bcast(&value, 1, MPI_INT, 0, MPI_COMM_WORLD);
  return value;
}

std::string Cluster::share(const std::string& text) {
  // Every rank takes part in the broadcast of the size, so a leader that
  // cannot share sends -1 and all ranks fail alike instead of waiting.
  const bool too_long = leader() && text.size() > static_cast<size_t>(INT32_MAX);
  const int size = share(too_long ? -1 : static_cast<int>(text.size()));
  if (size < 0) throw std::length_error("a file to share of 2 GB or more");
  std::string out(static_cast<size_t>(size), '\0');
  if (leader()) out = text;
  MPI_Bcast(out.data(), static_cast<int>(out.size()), MPI_CHAR, 0, MPI_COMM_WORLD);
  return out;
}

std::vector<int> Cluster::gather(int mine) {
  std::vector<int> all(static_cast<size_t>(size_));
  MPI_Allgather(&mine, 1, MPI_INT, all.data(), 1, MPI_INT, MPI_COMM_WORLD);
  return all;
}

void Cluster::gather(std::span<const int32_t> mine, std::span<const int> counts,
                     std::span<const int> displacements, std::span<int32_t> all) {
  MPI_Allgatherv(mine.data(), static_cast<int>(mine.size()), MPI_INT32_T, all.data(), counts.data(),
                 displacements.data(), MPI_INT32_T, MPI_COMM_WORLD);
}

void Cluster::abort(int status) {
  MPI_Abort(MPI_COMM_WORLD, status);
  std::_Exit(status);  // MPI_Abort does not return; this keeps [[noreturn]] honest
}

}  // namespace mtsweep
