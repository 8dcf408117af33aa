// The processes that run one sweep together: this process alone, or the
// ranks of an MPI job.  The build links one of two implementations:
// cluster_single.cpp, or cluster_mpi.cpp with the option MTSIM_MPI, whose
// binary also runs alone when started without mpirun.
//
// Rank 0 leads: it alone reads and writes files and prints.  Every call
// below but abort() is collective: all processes make it at the same point
// of the program, with the same sizes, or the job hangs.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace mtsweep {

class Cluster {
 public:
  // Joins the MPI job that started the process, if any.  REQUIRES: SIGINT
  // and SIGTERM are blocked already (SignalWatcher), so that the threads
  // MPI starts keep them blocked and only the watcher receives them.
  Cluster(int& argc, char**& argv);
  ~Cluster();  // leaves the job
  Cluster(const Cluster&) = delete;
  Cluster& operator=(const Cluster&) = delete;

  int rank() const { return rank_; }
  int size() const { return size_; }
  bool leader() const { return rank_ == 0; }

  // The leader's value, on every process.
  int share(int value);
  std::string share(const std::string& text);

  // Every process's value, in rank order.
  std::vector<int> gather(int mine);

  // Every process's words, in rank order: rank r's `counts[r]` words land
  // at all[displacements[r]].  REQUIRES: mine.size() == counts[rank()], and
  // the blocks lie within `all` without overlap.
  void gather(std::span<const int32_t> mine, std::span<const int> counts,
              std::span<const int> displacements, std::span<int32_t> all);

  // Ends every process of the job with `status` at once, wherever the
  // others are (for a failure on one process only).
  [[noreturn]] void abort(int status);

 private:
  int rank_ = 0;
  int size_ = 1;
};

}  // namespace mtsweep
