// One sub-step of every Richards soil column (50 nodes each) under a thin pond, at 1 thread and
// at all threads.
#include <benchmark/benchmark.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "record/model_state.hpp"
#include "soil/hydraulic_functions.hpp"
#include "soil/infiltration_methods.hpp"
#include "soil/richards_columns.hpp"

namespace {

constexpr int nodes = 50;
constexpr double sub_step_h = 0.001;

int threads_of(const benchmark::State& state) {
  return state.range(1) == 0 ? omp_get_num_procs() : int(state.range(1));
}

// cells columns of a Brooks and Corey loam, 2 cm nodes at a water content of 0.2, 1 mm of water.
std::unique_ptr<pluvo::model_state> loam_columns(int cells) {
  auto m = std::make_unique<pluvo::model_state>();
  const size_t size = size_t(cells) + 1;
  m->cell_count = cells;
  m->cell_size = 30.0;
  m->inf_richards_on = 1;
  m->richards_c_option_value = 1;
  m->richards_k_option_value = 1;
  m->richards_upper_opt = 3;
  m->richards_max_iter = 1;
  m->richards_weight_value = 1.0;
  m->richards_dtheta_max_value = 0.0025;
  m->richards_nnodes = nodes + 2;
  for (pluvo::node_matrix<double>* a : {&m->PHEAD, &m->KHEAD, &m->THETA, &m->WATCAP, &m->WATFLUX, &m->SOURCE,
                                        &m->DZ, &m->KS, &m->THETAS, &m->THETAR, &m->THETAWP, &m->THETAFC, &m->LAM,
                                        &m->BP, &m->thehac, &m->BChc})
    a->assign(cells, nodes + 2, 0.0);
  m->numcells.assign(size, nodes);
  m->bound_type.assign(size, 1);
  m->yes_exfil.assign(size, 0);
  for (std::vector<double>* v : {&m->infil_rate, &m->infil_depth, &m->inf_rich, &m->unsat_downward_flux,
                                 &m->dtr, &m->root_depth, &m->ov_depth})
    v->assign(size, 0.0);
  for (int i = 1; i <= cells; ++i) {
    for (int j = 0; j <= nodes; ++j) {
      m->THETA[i][j] = 0.2;
      m->DZ[i][j] = 2.0;
      m->KS[i][j] = 1.3;
      m->THETAS[i][j] = 0.45;
      m->THETAR[i][j] = 0.05;
      m->LAM[i][j] = 0.4;
      m->BP[i][j] = -20.0;
      m->thehac[i][j] = 0.45 * 2.0 / 2.4;
      m->BChc[i][j] = -20.0 * std::pow(2.0 / 2.4, -1.0 / 0.4);
      pluvo::retention_head(m->PHEAD, m->THETA, m->THETAS, m->THETAR, m->thehac, m->ALPHA, m->BETA, m->LAM, m->BP,
                            i, j, 1);
    }
    pluvo::update_column_conductivity(*m, i);
  }
  return m;
}

void bm_richards_sub_step(benchmark::State& state) {
  const int cells = int(state.range(0));
  omp_set_num_threads(threads_of(state));
  auto m = loam_columns(cells);
  for (auto _ : state) {
    state.PauseTiming();
    std::fill(m->ov_depth.begin(), m->ov_depth.end(), 0.001);
    std::fill(m->dtr.begin(), m->dtr.end(), sub_step_h);
    state.ResumeTiming();
    benchmark::DoNotOptimize(pluvo::solve_richards_columns(*m, sub_step_h * 3600.0));
  }
  state.counters["threads"] = threads_of(state);
  state.counters["node_substeps_per_s"] =
      benchmark::Counter(double(cells) * nodes * double(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(bm_richards_sub_step)->ArgsProduct({{10000, 100000}, {1, 0}})->ArgNames({"cells", "threads"})->UseRealTime();

}  // namespace
