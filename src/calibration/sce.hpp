#pragma once
// SCE-UA: the shuffled complex evolution search over a box of parameter bounds, its input file,
// settings check and files ("sce_output.out", "sce_log_file.txt", "sce_best.out").
// Vectors and matrices are 1-based (element or row 0 unused).
#include <string>
#include <vector>

#include "calibration/calibration_modes.hpp"

namespace pluvo {

using sce_matrix = std::vector<std::vector<double>>;  // rows 1..points, columns 1..nopt

struct sce_record {
  checked_file log_file;  // "sce_log_file.txt"
  int log_failed = 0;
  std::string project_file;
  std::string pair_file;
  std::string observation_file;
  int output_open = 0;
  checked_file output_file;  // "sce_output.out"
  int model_mode = 0;
  calibration_callback model_run = nullptr;
  int setup_ok = 0;
  int nopt = 0;
  int maxn = 0;
  int kstop = 0;
  int iseed = 0;
  int ngs = 0;
  int npg = 0;
  int nps = 0;
  int nspl = 0;
  int mings = 0;
  int iniflg = 0;
  int iprint = 0;
  int ideflt = 0;
  double pcento = 0.0;
  std::vector<double> a, bl, bu;  // 1..nopt
  std::vector<double> bestx;      // 1..nopt
  double bestf = 0.0;             // the criterion of bestx
  objective_record objective;
  std::vector<double> stat_max, stat_min, stat_mean;  // 1..nopt, made on first use
  long seed = 0;  // state of sce_ran1
};

void sce_setup(sce_record& r, const char* input_file, const char* output_file);
int scein(sce_record& r, checked_file& input);
int sce_check_settings(sce_record& r);
int sce_alloc_objective(sce_record& r);
void sce_cleanup(sce_record& r);

// The search; gives one more than the number of criterion evaluations, or -1 when it cannot start.
int sceua(sce_record& r);
double sce_functn(sce_record& r, const std::vector<double>& x);
void cce(sce_record& r, int igs, int nspl, int nps, int npg, sce_matrix& x, std::vector<double>& xf, int& counter,
         int ngs, const std::vector<double>& bound, const std::vector<double>& xnstd, double& log_min);
double cce_simplex_step(sce_record& r, sce_matrix& s, std::vector<double>& sf, const std::vector<double>& xnstd,
                        int& counter, double log_min);
void sce_getpnt(sce_record& r, int idist, std::vector<double>& out, const std::vector<double>& std_dev,
                const std::vector<double>& centre);
void sce_parstt(sce_record& r, int npt, const sce_matrix& x, std::vector<double>& xnstd,
                const std::vector<double>& bound, double& gnrng, int& ipcnvg);
void sce_comp(int nopt, int npt_new, int ngs_new, int ngs_old, int npg, sce_matrix& x, std::vector<double>& xf);
void sce_sort(int n, sce_matrix& rows, std::vector<double>& values);
void sce_sort_int(int n, std::vector<int>& values);
void sce_index_heapsort(int n, const std::vector<double>& values, std::vector<int>& index);
double sce_ran1(sce_record& r);
double sce_gasdev(sce_record& r);
int sce_open_log(sce_record& r, int n, const std::vector<double>& values, double& log_min, const sce_matrix& rows,
                 int& counter);
void sce_log_entry(sce_record& r, int& counter, double value, double log_min, const std::vector<double>& point);

}  // namespace pluvo
