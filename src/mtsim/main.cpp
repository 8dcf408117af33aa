// mtsim: simulates one coded transmission end to end.  No arguments: reads
// the parameter file from the working directory, writes the report to the
// console and to the results file.  --help and --version are the only
// options; anything else is refused before any file is touched.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "mtsim/params.h"
#include "mtsim/run.h"

namespace {

void print_usage(std::FILE* to) {
  std::fprintf(to,
               "Usage: mtsim [--help | --version]\n"
               "\n"
               "Simulates one coded transmission end to end. Reads the parameters from\n"
               "\"%s\" in the working directory, prints the report on standard output\n"
               "and writes it to \"%s\" there as well. Takes no other arguments.\n"
               "README.md explains the parameter file and how to read the report.\n",
               mtsim::PARAMETER_FILE, mtsim::RESULTS_FILE);
}

}  // namespace

int main(int argc, char** argv) {
  mtsim::Clock clock;  // readings count from program start

  if (argc > 1) {
    const char* arg = argv[1];
    if (argc == 2 && (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0)) {
      print_usage(stdout);
      return 0;
    }
    if (argc == 2 && (std::strcmp(arg, "--version") == 0 || std::strcmp(arg, "-V") == 0)) {
      std::printf("mtsim %s\n", MTSIM_VERSION);
      return 0;
    }
    std::fprintf(stderr, "mtsim: unexpected argument \"%s\"\n", argc == 2 ? arg : argv[argc - 1]);
    print_usage(stderr);
    return 2;
  }

  std::FILE* params_in = std::fopen(mtsim::PARAMETER_FILE, "r");
  if (params_in == nullptr) {
    std::fprintf(stderr, "mtsim: cannot open parameter file \"%s\": %s\n",
                 mtsim::PARAMETER_FILE, std::strerror(errno));
    return 1;
  }
  // Reading a directory opens fine and fails at the first read; catch that
  // before the results file of an earlier run is emptied.  The character
  // is pushed back rather than rewound, so a pipe loses nothing.
  const int first = std::fgetc(params_in);
  if (first == EOF && std::ferror(params_in)) {
    std::fprintf(stderr, "mtsim: cannot open parameter file \"%s\": %s\n",
                 mtsim::PARAMETER_FILE, std::strerror(errno));
    std::fclose(params_in);
    return 1;
  }
  if (first != EOF) std::ungetc(first, params_in);

  std::FILE* results = std::fopen(mtsim::RESULTS_FILE, "w");
  if (results == nullptr) {
    std::fprintf(stderr, "mtsim: cannot open results file \"%s\": %s\n", mtsim::RESULTS_FILE,
                 std::strerror(errno));
    std::fclose(params_in);
    return 1;
  }

  auto run = std::make_unique<mtsim::Run>(
      params_in, std::make_unique<mtsim::ReportWriter>(stdout, results, stderr), std::move(clock));
  run->execute();

  const int results_error = run->out->close_results();
  std::fclose(params_in);
  if (results_error != 0) {
    std::fprintf(stderr, "mtsim: cannot write results file \"%s\": %s\n", mtsim::RESULTS_FILE,
                 std::strerror(results_error));
    return 1;
  }
  // A console report that did not arrive is a lost result too.
  errno = 0;
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "mtsim: cannot write the console report: %s\n",
                 std::strerror(errno != 0 ? errno : EIO));
    return 1;
  }
  return 0;
}
