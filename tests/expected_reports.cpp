#include "expected_reports.h"

namespace mtsim::testing {

std::string estimates_three_decibels() {
  std::string s =
      "\n  new mpch=22"
      "\n channel capacity C8=0.896317\n channel capacity C8=0.896317"
      "\n channel capacity C8=0.896317\n channel capacity C8=0.896317"
      "\n channel capacity C8=0.896317"
      "\n0.788502 -comp rate M=8"
      "\n M=2 C=0.842699  R1=0.622576"
      "\n channel capacity C16=0.908235"
      "\n0.808982 -comp rate M=16"
      "\n M=2 C=0.842699  R1=0.622576"
      " \n  MPCH test     22876     ";
  const char* noise[11] = {"0.022877", "0.022878", "0.022878", "0.022878", "0.022878", "0.022878",
                           "0.022878", "0.022878", "0.022878", "0.022878", "0.022878"};
  const char* rates[11] = {"0.808971", "0.809646", "0.810278", "0.810858", "0.811370", "0.811788",
                           "0.812066", "0.812135", "0.811885", "0.811149", "0.809690"};
  for (int j = 0; j < 11; ++j) {
    s += std::string(" \n  your noice level A/N (0-5)    ") + noise[j] + "  ";
    s += std::string("\n  ") + rates[j] + " -comp rate M=16";
  }
  return s;
}

std::string estimates_noiseless() {
  std::string s = "\n  new mpch=0";
  for (int i = 0; i < 5; ++i) s += "\n channel capacity C8=1.000000";
  s +=
      "\n1.000000 -comp rate M=8"
      "\n M=2 C=1.000000  R1=1.000000"
      "\n channel capacity C16=1.000000"
      "\n1.000000 -comp rate M=16"
      "\n M=2 C=1.000000  R1=1.000000"
      " \n  MPCH test     0     ";
  for (int j = 0; j < 11; ++j) {
    s += std::string(" \n  your noice level A/N (0-5)    ") + (j == 0 ? "{F}" : "0.000000") + "  ";
    s += "\n  1.000000 -comp rate M=16";
  }
  return s;
}

std::string expected_console(const ExpectedRun& e) {
  return "\n \n  "
         "\n  code=" + e.code + " \n  kst=" + e.kst + " \n  infind =" + e.infind +
         "    ndkdd=" + e.ndkdd + " n  iterat=" + e.iterat + " \n   AN=" + e.AN +
         " n  npacketll=" + e.npacketll + " \n lim88=" + e.lim88 + "-free control par " +
         e.estimates +
         " \n  start time is       " + e.start_s + " s    \n ============================= "
         " \n    Program finish print  "
         " \n  inf start       " + e.inf_start + " ms    "
         " \n  coding start       " + e.coding_start + " ms    "
         "\n  inf weight=" + e.inf_weight + " \n  check weight=" + e.check_weight + " "
         " \n  inftot=" + e.inftot + " "
         " \n  coding end & noise  gen start  =  " + e.coding_end + " ms    "
         " \n ********* coder speed= " + e.coder_speed + "  bits/s   "
         " \n  noise gen end     " + e.noise_end + " ms    "
         " \n inftot=" + e.inftot + "  \n inferr W=" + e.inferr + "    isaerr W=" + e.isaerr + " "
         " \n  time  decoding  start=" + e.d0 + " ms    "
         " \n  time  decoding end = " + e.d1 + " ms "
         " \n ********* decoder speed= " + e.decoder_speed + "  bits/s   "
         "\n  packet length = " + e.npacketll + " \n " + e.counts +
         " \n ---=========================================-- \n";
}

std::string expected_results(const ExpectedRun& e) {
  return "\n \n  "
         "\n  --------  code=" + e.code + "  -----------\n =================================="
         "\n  kst=" + e.kst + " \n  infind =" + e.infind + " \n   ndkdd=" + e.ndkdd +
         " \n  iterat=" + e.iterat + " \n  AN=" + e.AN + " \n  npacketll=" + e.npacketll +
         " \n ===  lim88=" + e.lim88 + "  ====-free control parameter"
         "\n ==================================================="
         " \n start time is       " + e.start_s + " s    \n ========================== "
         " \n  Program finish print   "
         " \n  inf start   " + e.inf_start + " ms    "
         " \n  coding start   " + e.coding_start + " ms    "
         " \n  inf weight=" + e.inf_weight + " \n   check weight=" + e.check_weight + " "
         " \n  inftot=" + e.inftot + " "
         " \n coding end & noise  gen start = " + e.coding_end + " ms    "
         "\n ******** coder speed= " + e.coder_speed + "  bits/s  "
         " \n   noise gen end   " + e.noise_end + " ms    "
         " \n inftot=" + e.inftot + "  \n  inferr gen=" + e.inferr + "     isaerr gen=" + e.isaerr + " "
         " \n  time    decoding start=" + e.d0 + " ms    "
         " \n  time   decoding end  = " + e.d1 + " ms"
         "\n time decoding work= " + e.work + "  ms     "
         "\n ******** decoder speed= " + e.decoder_speed + "  bits/s   "
         "\n  packet length=" + e.npacketll + " \n " + e.counts +
         " \n ----========================================--\n";
}

}  // namespace mtsim::testing
