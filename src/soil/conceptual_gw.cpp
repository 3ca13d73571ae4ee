// The conceptual groundwater model: a slow and a fast store turn the watershed's infiltrated
// water into an hourly outflow for the channels.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "common/error_state.hpp"
#include "record/model_state.hpp"
#include "soil/flow_passes.hpp"
#include "soil/lumped_cards.hpp"
#include "soil/lumped_models.hpp"
#include "soil/soil_phases.hpp"

namespace pluvo {

namespace {

constexpr int real_cards = 7;

int conceptual_gw_slot(int id) { return id >= 1 && id <= real_cards ? id - 1 : -1; }

// Negative capacities, rates and contents, and an underflow share above 1, take safe values.
void replace_bad_values(std::vector<double>& p) {
  const struct { int index; double replacement; const char* warning; } negatives[] = {
      {cgw_slow_max, 10.0, "WARNING:slow_max changed!\n"},
      {cgw_fast_max, 10.0, "WARNING:fast_max changed!\n"},
      {cgw_slow_rate, 0.01, "WARNING:slow_rate changed!\n"},
      {cgw_fast_rate, 0.01, "WARNING:fast_rate changed!\n"},
      {cgw_slow_content, 0.01, "WARNING:slow_content changed!\n"},
      {cgw_fast_content, 0.01, "WARNING:fast_content changed!\n"}};
  for (const auto& v : negatives)
    if (p[size_t(v.index)] < 0.0) {
      p[size_t(v.index)] = v.replacement;
      std::fputs(v.warning, stderr);
    }
  if (p[cgw_underflow_percent] > 1.0) {
    p[cgw_underflow_percent] = 0.01;
    std::fputs("WARNING:underflow_percent changed!\n", stderr);
  }
}

bool capacities_positive(const std::vector<double>& p) {
  for (const int k : {int(cgw_slow_max), int(cgw_fast_max)})
    if (!(p[size_t(k)] > 0.0)) {
      stop_run("The Conceptual_GW parameter card %s is %g: a store capacity must be above 0.\n"
               "Program terminated in read_conceptual_gw\n",
               k == cgw_slow_max ? "slow_max" : "fast_max", p[size_t(k)]);
      return false;
    }
  return true;
}

// The areas of the grid rows under a grid header, for inspection.
void write_upslope_file(const model_state& m, const grid<double>& area) {
  checked_file out;
  if (!checked_file_open(out, "upslope.out", "w")) {
    std::printf("Can't open debug file in produce upslope area\n");
    return;
  }
  const int rows = area.rows(), cols = area.cols();
  std::FILE* f = out.stream;
  std::fprintf(f, "north: %f\n", rows * m.cell_size + 1e6);
  std::fprintf(f, "south: %f\n", 1e6);
  std::fprintf(f, "east:  %f\n", cols * m.cell_size + 100000.0);
  std::fprintf(f, "west:  %f\n", 100000.0);
  std::fprintf(f, "rows:  %d\n", rows);
  std::fprintf(f, "cols:  %d\n", cols);
  for (int r = 1; r <= rows; ++r) {
    for (int c = 1; c <= cols; ++c) std::fprintf(f, "%f ", area(r, c));
    std::fputc('\n', f);
  }
  checked_file_close(out);
}

}  // namespace

int conceptual_gw_card_id(char* line) {
  static const char* const names[] = {"pluvo_conceptual_gw", "slow_max",     "fast_max",     "slow_rate",
                                      "fast_rate",           "slow_content", "fast_content", "underflow_percent"};
  static const int ids[] = {0, 1, 2, 3, 4, 5, 6, 7};
  return lumped_card_id(line, names, ids, int(std::size(ids)), -1);
}

void read_conceptual_gw(checked_file& file, model_state& m) {
  static const lumped_card_file spec = {
      "PLUVO_CONCEPTUAL_GW",
      "have the proper header: PLUVO_CONCEPTUAL_GW \nProgram terminated in read_conceptual_gw\n",
      "Premature end-of-file in the Conceptual GW parameter input file.\n"
      "The file should contain 9 parameters.  Only %d parameters read.\n"
      "Program terminated in read_conceptual_gw.\n",
      "Duplicate cards read in Conceptual_GW parameter file.\n"
      "There should be only 8 different cards in the file\n"
      "with no duplicates.\n"
      "Program terminated in read_conceptual_gw\n",
      conceptual_gw_card_id,
      conceptual_gw_slot,
      real_cards,
      real_cards};
  auto& p = m.cgw_params;
  p.assign(cgw_param_count, 0.0);
  if (!read_lumped_card_file(file, spec, p.data())) return;
  replace_bad_values(p);
  if (!capacities_positive(p)) return;
  p[cgw_max_outflow] = p[cgw_fast_max] * p[cgw_fast_rate] + p[cgw_slow_max] * p[cgw_slow_rate];
  p[cgw_slow_content] *= p[cgw_slow_max];
  p[cgw_fast_content] *= p[cgw_fast_max];
  produce_upslope_area(m);
}

void produce_upslope_area(model_state& m) {
  grid<double> area;
  upslope_flow_passes(m.cell_number_grid, m.elevation, m.cell_size, area, nullptr);
  if (error_state.error_terminate) return;
  m.upslope_area.assign(size_t(m.cell_count) + 1, 0.0);
  for (int r = 1; r <= m.cell_number_grid.rows(); ++r)
    for (int c = 1; c <= m.cell_number_grid.cols(); ++c)
      if (const int32_t cell = m.cell_number_grid(r, c); cell > 0) m.upslope_area[size_t(cell)] = area(r, c);
  write_upslope_file(m, area);
}

void two_store_balance_step(double P, std::vector<double>& p, double& slow, double& fast) {
  double& slow_content = p[cgw_slow_content];
  double& fast_content = p[cgw_fast_content];
  fast = fast_content * p[cgw_fast_rate];
  fast_content *= 1.0 - p[cgw_fast_rate];
  slow = slow_content * p[cgw_slow_rate];
  slow_content *= 1.0 - p[cgw_slow_rate];
  if (P > 0.0) {
    const double slow_max = p[cgw_slow_max], fast_max = p[cgw_fast_max];
    // Fullness beyond 1 counts as full, so the share keeps its sign and stays within 0..P.
    const double rf = std::min(1.0, fast_content / fast_max);
    const double rs = std::min(1.0, slow_content / slow_max);
    const double h = 2.0 * fast_max / (slow_max + fast_max);
    const double room = 1.0 - rs + (1.0 - rf);
    const double share = room > 0.0 ? std::clamp(1.0 - h * (1.0 - rf) / room, 0.0, 1.0) : 0.0;
    const double to_slow = share * P;
    slow_content += to_slow;
    double to_fast = P - to_slow;
    // What the slow store cannot hold goes to the fast store: P is conserved.
    if (slow_content > slow_max) {
      to_fast += slow_content - slow_max;
      slow_content = slow_max;
    }
    fast_content += to_fast;
  }
  p[cgw_total_outflow] = slow + fast;
}

void conceptual_gw_step(model_state& m) {
  if (!m.conceptual_gw_on || !(std::fabs(m.cgw_next_time - m.cur_julian) < m.time_tolerance)) return;
  m.cgw_step_count += 1;
  if (m.cgw_step_count == 1) m.cgw_infil_mark = 0.0;
  auto& p = m.cgw_params;
  const double P = m.cell_count > 0 ? (m.cgw_infil_depth_sum - m.cgw_infil_mark) / m.cell_count * 1000.0 : 0.0;
  m.cgw_input_mm = P;
  m.cgw_last_time = m.cur_julian;
  m.cgw_next_time = m.cur_julian + m.cgw_interval;
  m.cgw_storage_before_mm = p[cgw_slow_content] + p[cgw_fast_content];
  two_store_balance_step(P, p, m.cgw_slow_outflow_mm, m.cgw_fast_outflow_mm);
  const double total = p[cgw_total_outflow];
  m.cgw_storage_after_mm = p[cgw_slow_content] + p[cgw_fast_content];
  if (P > 0.0) m.cgw_balance_error_pct = (m.cgw_storage_before_mm - m.cgw_storage_after_mm - total + P) / P * 100.0;
  m.cgw_flow_cms = total * m.watershed_area / 3.6e6;
  m.cgw_infil_mark = m.cgw_infil_depth_sum;
}

}  // namespace pluvo
