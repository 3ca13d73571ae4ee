// One superlink interval (solve_superlink_network, dt = 60 s) on synthetic storm sewers: a chain
// of superjunctions, each a manhole with an inlet taking 0.01 m3/s, joined by superlinks of ten
// pipes, ending in an outfall onto its cell.
#include <benchmark/benchmark.h>

#include <memory>

#include "groundwater/superlink_solve.hpp"
#include "record/model_state.hpp"

namespace {

constexpr int pipes = 10;

std::unique_ptr<pluvo::model_state> sewer(int junctions) {
  auto m = std::make_unique<pluvo::model_state>();
  const int links = junctions - 1, n = junctions;
  m->cell_count = n;
  m->cell_size = 10.0;
  m->ov_depth.assign(size_t(n) + 1, 0.0);
  m->num_superjunctions = n;
  m->num_superlinks = links;
  m->num_superlink_nodes = pipes;
  for (std::vector<double>* v : {&m->sjunc_ground_elev, &m->sjunc_invert_elev, &m->sjunc_area, &m->sjunc_grate_sidelength,
                                 &m->sjunc_grate_dia, &m->sjunc_head, &m->sjunc_ext_inflow})
    v->assign(size_t(n) + 1, 0.0);
  for (std::vector<int32_t>* v : {&m->superjunct_i, &m->superjunct_j, &m->bound, &m->us_sjunc, &m->ds_sjunc,
                                  &m->nnodes, &m->superlink_cnodes, &m->superlink_junc_gnum})
    v->assign(size_t(n) + 1, 0);
  for (pluvo::node_matrix<double>* x : {&m->node_ground_elev, &m->slink_node_Zinv, &m->As, &m->grate_sidelength_node,
                                        &m->grate_dia_node, &m->slink_node_depth, &m->Q_node, &m->diameter, &m->width,
                                        &m->S0, &m->M_n, &m->dx, &m->dxc})
    x->assign(pipes + 1, n);
  for (pluvo::node_matrix<int32_t>* x : {&m->inlet_type, &m->sec_type, &m->superlink_node_i, &m->superlink_node_j,
                                         &m->superlink_node_gnum})
    x->assign(pipes + 1, n);
  const double drop = 0.005 * 20.0 * pipes + 0.05;  // bed fall of a superlink and a step at each manhole
  for (int j = 1; j <= n; ++j) {
    const size_t j_ = size_t(j);
    m->sjunc_invert_elev[j_] = 100.0 - drop * (j - 1);
    m->sjunc_ground_elev[j_] = m->sjunc_invert_elev[j_] + 3.0;
    m->sjunc_area[j_] = 20.0;
    m->inlet_type[0][j] = j == n ? 888 : 10;
    m->bound[j_] = j == n ? 1 : 0;
    m->superlink_junc_gnum[j_] = j;
  }
  for (int l = 1; l <= links; ++l) {
    m->us_sjunc[size_t(l)] = l;
    m->ds_sjunc[size_t(l)] = l + 1;
    m->nnodes[size_t(l)] = m->superlink_cnodes[size_t(l)] = pipes;
    for (int k = 1; k <= pipes + 1; ++k) {
      m->slink_node_Zinv[k][l] = m->sjunc_invert_elev[size_t(l)] - 0.1 * (k - 1);
      m->node_ground_elev[k][l] = m->slink_node_Zinv[k][l] + 3.0;
    }
    for (int k = 1; k <= pipes; ++k) {
      m->sec_type[k][l] = 1;
      m->diameter[k][l] = 0.6;
      m->S0[k][l] = 0.005;
      m->M_n[k][l] = 0.013;
      m->dx[k][l] = m->dxc[k][l] = 20.0;
    }
  }
  m->superlink_chan_con_flow.assign(size_t(n) + 1, 0.0);
  return m;
}

void bm_superlink_interval(benchmark::State& state) {
  const int junctions = int(state.range(0));
  auto m = sewer(junctions);
  pluvo::superlink_volumes out;
  const double dt = 60.0;
  const auto feed = [&] {
    for (int c = 1; c < junctions; ++c) m->ov_depth[size_t(c)] = 0.01 * dt / 100.0;
  };
  for (int i = 0; i < (junctions > 100 ? 3 : 20); ++i) {  // fill the sewer first
    feed();
    pluvo::solve_superlink_network(*m, dt, out);
    m->superlink_call_count += 1;
  }
  for (auto _ : state) {
    feed();
    pluvo::solve_superlink_network(*m, dt, out);
    m->superlink_call_count += 1;
  }
  const double nodes = double(junctions - 1) * (pipes + 1);
  state.counters["nodes_per_s"] = benchmark::Counter(nodes * double(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["stored_m3"] = out.stored;
}

BENCHMARK(bm_superlink_interval)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(bm_superlink_interval)->Arg(1000)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
