// The overland constituent mass update: the terms the sub-steps gathered become a source rate
// per cell, the mass moves between cells, dried cells hand on what they hold, and the step's
// amounts are booked into the balance totals.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <vector>

#include "common/parallel_team.hpp"
#include "quality/constituent_tables.hpp"
#include "quality/overland_constituents.hpp"
#include "quality/quality_phases.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

enum booked_term : int { precip, exfil, uptake, decay, infil, outlet, lateral, lost, sediment, unpaid, term_count };

int flag(const std::vector<int32_t>& v, int i) { return size_t(i) < v.size() ? v[size_t(i)] : 0; }

// One update of the running mass M of a cell: terms are taken from their accumulators.
struct running_mass {
  double M;
  double dt;

  // Takes the accumulated term acc gathered over interval s (a gain, or a loss when loss is set);
  // returns the amount taken.
  double take(double& acc, double interval, bool loss) {
    double T = acc;
    if (std::fabs(T) <= 1e-16) return 0.0;
    T = scale_loss_by_depth(dt, interval, T);
    M += loss ? -T : T;
    if (M < 0.0) {
      // Only what the cell holds can go; the share held back by the scaling is dropped too.
      T += loss ? M : -M;
      M = 0.0;
      acc = 0.0;
    } else {
      acc -= T;
    }
    return T;
  }
};

double* row(checked_array_2d<double>& a, int k) { return checked_array_2d_row(a, k); }

// Land mass into a lake (x g; negative when the lake gives), taken at the lake's next update.
void hand_to_lake(model_state& m, int k, int lake, double x) {
  m.lake_ov_inflow_mass[k][lake] += x;
  for (auto* terms : {&m.event_constituent_terms, &m.run_constituent_terms})
    if (size_t(k) < terms->size()) (*terms)[size_t(k)].ov_to_lake += x / 1000.0;
}

}  // namespace

double update_overland_constituent_mass(model_state& m, int k, int j, double dt, double* booked) {
  if (m.lakes_on && flag(m.lake_mask, j) > 0) return 0.0;
  running_mass r{row(m.ov_mass, k)[j], dt};
  const int type = int(m.constituent_type[k]);
  double net = 0.0;

  double& load = row(m.ov_precip_load_step, k)[j];
  const double p = scale_loss_by_depth(dt, m.ov_precip_load_dt, load);
  load -= p;
  booked[precip] += p;

  if (m.water_table_on && flag(m.yes_exfil, j)) {
    const double since = m.soil_con_trans_on ? m.soil_wq_last_time : m.ov_con_last_time;
    const double x = r.take(row(m.ov_exfil_mass_step, k)[j], (m.cur_julian - since) * 86400.0, false);
    booked[exfil] += x;
    net += x;
  }
  double& uptake_step = row(m.ov_uptake_mass_step, k)[j];
  double& decay_step = row(m.ov_decay_mass_step, k)[j];
  if (m.contam_table_on && type == 1) {
    const double x = r.take(uptake_step, m.ov_uptake_dt, false);
    booked[uptake] += x;
    if (m.soil_con_trans_on) row(m.soil_exchange_mass, k)[j] += x;
    const double d = r.take(decay_step, m.ov_decay_dt, true);
    booked[decay] += d;
    net += x - d;
  }
  if (m.sediment_contam_on && m.ov_sed_con_source.size() > size_t(k) * size_t(m.cell_count + 1) + size_t(j)) {
    const double interval = (m.cur_julian - m.ov_con_last_time) * 86400.0;
    const double x = r.take(m.ov_sed_con_source[size_t(k) * size_t(m.cell_count + 1) + size_t(j)], interval, false);
    booked[sediment] += x;
    net += x;
  }
  const double infiltrated = r.take(row(m.ov_infil_mass_step, k)[j], m.ov_infil_wq_dt, true);
  booked[infil] += infiltrated;
  booked[lost] += infiltrated_to_soil(m, k, j, infiltrated);
  net -= infiltrated;
  if (m.nutrients_on && type == 2 && m.soil_con_trans_on) {
    const double interval = m.ov_tvx_soil_dt * 86400.0;
    const double x = r.take(uptake_step, interval, false);
    const double d = r.take(decay_step, interval, true);
    booked[uptake] += x;
    booked[decay] += d;
    net += x - d;
  }
  if (!m.chan_explic_on) {
    if (j == m.outlet_cell) {
      const double x = r.take(m.ov_exit_mass[k], m.ov_outlet_wq_dt, true);
      booked[outlet] += x;
      net -= x;
    }
  } else {
    double& q = row(m.ov_qlat_mass_step, k)[j];
    const double asked = q;
    const double x = r.take(q, m.ov_chan_wq_dt, true);
    // The stream node has had all it asked for: what the cell could not pay is put back on it,
    // as on a cell gone negative, so the streams' gain and the cell's loss stay one figure.
    const double short_of = q == 0.0 && asked > x ? asked - x : 0.0;
    booked[lateral] += x + short_of;
    booked[unpaid] += short_of;
    net -= x;
  }
  return dt > 0.0 ? net / dt : 0.0;
}

void advect_disperse_overland_constituent(model_state& m, int k, double dt, int sweep, overland_transport_work& w) {
  const int n = m.cell_count;
  const double area = m.cell_size * m.cell_size;
  const double* h = m.ov_depth.data();
  const double* lake_conc = checked_array_2d_row(m.lake_con_conc, k);
  const int lake_conc_last = m.lake_con_conc.row_length;
  auto lake = [&](int i) { return lake_cell_for_update(m, i); };
  std::vector<double> lake_books, lake_paid;
  auto conc_of_lake = [&](int i) {
    const int l = flag(m.lake_mask, i);
    return lake_conc && l >= 1 && l <= lake_conc_last ? lake_conc[l] : 0.0;
  };
  // Fluxes across the face cell j shares with its upstream neighbour up[j], into j.
  auto face = [&](const int* up, const double* flow, const double* c, int j, double& Fd, double& Fa) {
    Fd = Fa = 0.0;
    const int u = up[j];
    if (u < 1) return;
    const bool lj = lake(j), lu = lake(u);
    if (lj && lu) return;
    const double Q = flow[u];
    if (!lj && !lu) {
      if (h[j] > 1e-16 && h[u] > 1e-16) Fd = std::min(h[j] * w.disp[j], h[u] * w.disp[u]) * (c[u] - c[j]);
      Fa = Q >= 0.0 ? Q * c[u] : Q * c[j];
      return;
    }
    const double cu = lu ? conc_of_lake(u) : c[u], cj = lj ? conc_of_lake(j) : c[j];
    Fa = Q > 0.0 ? Q * cu : Q * cj;
  };
  // Lake water runs onto the land at the lake's concentration of the last channel update, which
  // can ask for more than the lake holds by now; the land then gets only what the lake has: its
  // dissolved mass, plus what it is owed and less what it owes since (what it takes in on this
  // sweep too), shared over its outgoing faces in proportion.
  auto pay_out_no_more_than_lakes_hold = [&](const int* up, double* fa) {
    if (!m.lakes_on || m.nlakes < 1 || m.lake_ov_inflow_mass.rows() < k || !lake_conc) return;
    const int lakes = std::min({m.nlakes, m.lake_ov_inflow_mass.cols(), lake_conc_last});
    lake_books.assign(size_t(lakes) + 1, 0.0);
    lake_paid.assign(size_t(lakes) + 1, 0.0);
    for (int j = 1; j <= n; ++j) {
      if (w.lake_in[j] == 0.0) continue;
      const int l = flag(m.lake_mask, lake(j) ? j : up[j]);
      if (l < 1 || l > lakes) continue;
      (w.lake_in[j] > 0.0 ? lake_books[size_t(l)] : lake_paid[size_t(l)]) += std::fabs(w.lake_in[j]);
    }
    const double* held = checked_array_2d_row(m.lake_con_mass, k);
    for (int l = 1; l <= lakes; ++l) {
      double& share = lake_paid[size_t(l)];
      const double has = (held && l <= m.lake_con_mass.row_length ? held[l] : 0.0) + m.lake_ov_inflow_mass[k][l] +
                         lake_books[size_t(l)];
      share = share > has ? std::max(has, 0.0) / share : 1.0;
    }
    for (int j = 1; j <= n; ++j) {
      if (w.lake_in[j] >= 0.0) continue;
      const int l = flag(m.lake_mask, lake(j) ? j : up[j]);
      if (l < 1 || l > lakes || lake_paid[size_t(l)] == 1.0) continue;
      fa[j] *= lake_paid[size_t(l)];
      w.lake_in[j] *= lake_paid[size_t(l)];
    }
  };
  auto direction = [&](const int* up, const int* down, const double* flow) {
    w.fd[0] = w.fa[0] = 0.0;
    parallel_for_cells(n, [&](int j) {
      w.mass0[j] = w.mass[j];
      face(up, flow, w.conc, j, w.fd[j], w.fa[j]);
    });
    auto change = [&](int j) {
      const int d = down[j];
      return dt * (w.fd[j] - w.fd[d] + w.fa[j] - w.fa[d] + 0.5 * w.source[j]);
    };
    parallel_for_cells(n, [&](int j) {
      w.conc1[j] = w.conc[j];
      if (lake(j)) return;
      const double M = w.mass0[j] + change(j);
      w.conc1[j] = h[j] >= 1e-16 && M >= 0.0 ? M / (h[j] * area) : 0.0;
    });
    parallel_for_cells(n, [&](int j) {
      face(up, flow, w.conc1, j, w.fd2[j], w.fa2[j]);
      w.fd2[j] = 0.5 * (w.fd[j] + w.fd2[j]);
      w.fa2[j] = 0.5 * (w.fa[j] + w.fa2[j]);
      // Mass crossing a lake shore is the lake's: positive into the lake.
      const int u = up[j];
      w.lake_in[j] = 0.0;
      if (u >= 1 && lake(j) != lake(u)) w.lake_in[j] = (lake(j) ? w.fa2[j] : -w.fa2[j]) * dt;
    });
    pay_out_no_more_than_lakes_hold(up, w.fa2);
    std::swap(w.fd, w.fd2);
    std::swap(w.fa, w.fa2);
    parallel_for_cells(n, [&](int j) {
      w.deficit[j] = 0.0;
      if (lake(j)) return;
      double M = w.mass0[j] + change(j);
      double c = 0.0;
      if (M < 0.0) {
        w.deficit[j] = -M;  // put back, wet or dry
        M = 0.0;
      } else if (h[j] >= 1e-16) {
        c = M / (h[j] * area);
      }
      w.mass[j] = M;
      w.conc[j] = c;
    });
    const std::array<double, 1> put_back = parallel_cell_sums<1>(n, [&](int j) { return std::array<double, 1>{w.deficit[j]}; });
    m.event_ov_neg_mass[k] += put_back[0] / 1000.0;
    m.OV_NEG_MASS[k] += put_back[0] / 1000.0;
    if (!m.lakes_on || m.lake_ov_inflow_mass.rows() < k) return;
    for (int j = 1; j <= n; ++j) {
      if (w.lake_in[j] == 0.0) continue;
      const int l = flag(m.lake_mask, lake(j) ? j : up[j]);
      if (l >= 1 && l <= m.lake_ov_inflow_mass.cols()) hand_to_lake(m, k, l, w.lake_in[j]);
    }
  };
  // Before the routing has run the faces carry nothing.
  const auto faces = [&](const std::vector<double>& q) { return q.size() > size_t(n) ? q.data() : w.still; };
  const auto y = [&] { direction(m.abovecon.data(), m.belowcon.data(), faces(m.ov_qy)); };
  const auto x = [&] { direction(m.leftcon.data(), m.rightcon.data(), faces(m.ov_qx)); };
  if (sweep == 1) {
    y();
    x();
  } else {
    x();
    y();
  }
}

namespace {

// Scratch of the mass update, rebuilt whenever the grid changes size.
struct transport_scratch {
  std::vector<double> v[13];
  std::vector<double> handed_to_lake;
  overland_transport_work work(int n) {
    for (auto& a : v)
      if (a.size() != size_t(n) + 1) a.assign(size_t(n) + 1, 0.0);
    if (handed_to_lake.size() != size_t(n) + 1) handed_to_lake.assign(size_t(n) + 1, 0.0);
    return {v[0].data(), v[1].data(), v[2].data(), v[3].data(), v[4].data(),  v[5].data(),
            v[6].data(), v[7].data(), v[8].data(), v[9].data(), v[10].data(), v[11].data(), v[12].data()};
  }
};

// A cell whose water is gone hands on its mass: to the land surface without soil transport, to
// the soil with it, to its lake inside a channel lake. Returns {to land, to soil, no soil row}.
std::array<double, 3> hand_on_dried_cell(model_state& m, int k, int j, double* mass, double* conc, double* to_lake) {
  to_lake[j] = 0.0;
  if (!(m.ov_depth[size_t(j)] < 1e-16 && mass[j] >= 1e-16)) return {0.0, 0.0, 0.0};
  const double x = mass[j];
  mass[j] = conc[j] = 0.0;
  // A cell a channel lake has just flooded hands what it held to the lake, as its water went.
  if (lake_cell_for_update(m, j) || channel_lake_cell(m, j)) {
    to_lake[j] = x;
    return {0.0, 0.0, 0.0};
  }
  if (!m.soil_con_trans_on) {
    row(m.ov_land_load, k)[j] += x;
    return {x, 0.0, 0.0};
  }
  return {0.0, x, infiltrated_to_soil(m, k, j, x)};
}

// Adds x / 1000 to every total named.
void book(double x, std::initializer_list<checked_array<double>*> totals, int k) {
  for (checked_array<double>* t : totals) (*t)[k] += x / 1000.0;
}

// The cell's total, dissolved and sorbed, that the sorbed-pool step splits at its next call.
void rebuild_total_mass(model_state& m, int k, const double* mass) {
  const size_t cells = size_t(m.cell_count) + 1;
  if (!m.sediment_contam_on || m.ov_total_con_mass.size() < (size_t(k) + 1) * cells) return;
  double* total = &m.ov_total_con_mass[size_t(k) * cells];
  for (int j = 1; j <= m.cell_count; ++j) {
    total[j] += mass[j];
    if (total[j] < 0.0) total[j] = 0.0;
    if (std::isnan(total[j])) std::printf("Total cell mass, contam %d cell %d NAN", k, j);
  }
}

void book_sediment_release(model_state& m, int k, double released) {
  if (!m.sediment_contam_on) return;
  for (auto* terms : {&m.event_constituent_terms, &m.run_constituent_terms})
    if (size_t(k) < terms->size()) (*terms)[size_t(k)].ov_sed_source += released / 1000.0;
}

void book_step_rates(model_state& m, int k, double exfiltrated) {
  if (m.chan_explic_on)
    book(m.ov_qlat_dmt[k], {&m.OV_QLAT_MASS, &m.event_ov_qlat_mass}, k);
  else
    book(m.ov_out_dmt[k], {&m.OV_MASS_OUT, &m.GLOBAL_MASS_OUT, &m.event_ov_mass_out}, k);
  book(m.ov_point_dmt[k], {&m.OV_POINT_MASS, &m.event_ov_point_mass, &m.GLOBAL_POINT_SOURCE}, k);
  book(m.ov_decay_dmt[k], {&m.OV_MASS_DECAY, &m.event_ov_decay_mass, &m.GLOBAL_MASS_DECAY}, k);
  book(m.ov_infil_dmt[k], {&m.OV_INFIL_MASS, &m.event_ov_infil_mass}, k);
  book(m.ov_uptake_dmt[k], {&m.OV_UPTAKE_MASS, &m.event_ov_uptake_mass}, k);
  book(m.ov_precip_dmt[k], {&m.OV_PRECIP_MASS, &m.event_ov_precip_mass}, k);
  book(exfiltrated, {&m.OV_EXFIL_MASS, &m.event_ov_exfil_mass}, k);
  if (size_t(k) < m.run_constituent_terms.size() && size_t(k) < m.event_constituent_terms.size()) {
    const double gain = m.ov_tvx_dmt_in[k] / 1000.0, loss = m.ov_tvx_dmt_out[k] / 1000.0;
    m.run_constituent_terms[size_t(k)].ov_tvx_gain += gain;
    m.event_constituent_terms[size_t(k)].ov_tvx_gain += gain;
    m.run_constituent_terms[size_t(k)].ov_tvx_loss += loss;
    m.event_constituent_terms[size_t(k)].ov_tvx_loss += loss;
  }
  for (checked_array<double>* r : {&m.ov_out_dmt, &m.ov_point_dmt, &m.ov_decay_dmt, &m.ov_infil_dmt, &m.ov_qlat_dmt,
                                   &m.ov_uptake_dmt, &m.ov_precip_dmt, &m.ov_tvx_dmt, &m.ov_tvx_dmt_in, &m.ov_tvx_dmt_out})
    (*r)[k] = 0.0;
}

}  // namespace

void total_cell_contaminant_mass(model_state& m) {
  if (!m.ov_con_trans_on || !(std::fabs(m.ov_con_next_time - m.cur_julian) < m.time_tolerance)) return;
  static transport_scratch scratch;
  const int n = m.cell_count;
  const double dt = (m.ov_con_next_time - m.ov_con_last_time) * 86400.0;
  overland_transport_work w = scratch.work(n);
  for (int k = 1; k <= m.num_constituents; ++k) {
    if (int(m.constituent_type[k]) == 3) continue;
    double* conc = row(m.ov_conc, k);
    double* mass = row(m.ov_mass, k);
    const double* disp = row(m.ov_disp_cell, k);
    if (!conc || !mass || !disp) continue;
    const std::array<double, term_count> taken = parallel_cell_sums<term_count>(n, [&](int j) {
      std::array<double, term_count> b{};
      w.conc[j] = conc[j];
      w.mass[j] = mass[j];
      w.disp[j] = disp[j];
      w.source[j] = lake_cell_for_update(m, j) ? 0.0 : update_overland_constituent_mass(m, k, j, dt, b.data());
      return b;
    });
    w.mass[0] = w.conc[0] = w.disp[0] = w.source[0] = 0.0;
    m.ov_precip_dmt[k] += taken[precip];
    m.ov_uptake_dmt[k] += taken[uptake];
    m.ov_decay_dmt[k] += taken[decay];
    m.ov_infil_dmt[k] += taken[infil];
    m.ov_out_dmt[k] += taken[outlet];
    m.ov_qlat_dmt[k] += taken[lateral];
    m.ov_infil_lost_mass[k] += taken[lost];
    book(taken[unpaid], {&m.OV_NEG_MASS, &m.event_ov_neg_mass}, k);

    advect_disperse_overland_constituent(m, k, dt, m.cell_mass_toggle, w);
    double* to_lake = scratch.handed_to_lake.data();
    const std::array<double, 3> handed = parallel_cell_sums<3>(n, [&](int j) {
      mass[j] = w.mass[j];
      conc[j] = w.conc[j];
      return hand_on_dried_cell(m, k, j, mass, conc, to_lake);
    });
    book(handed[0], {&m.OV_LAND_MASS, &m.event_ov_land_mass}, k);
    m.ov_infil_dmt[k] += handed[1];
    m.ov_infil_lost_mass[k] += handed[2];
    for (int j = 1; m.lakes_on && m.lake_ov_inflow_mass.rows() >= k && j <= n; ++j) {
      const int l = flag(m.lake_mask, j);
      if (to_lake[j] > 0.0 && l >= 1 && l <= m.lake_ov_inflow_mass.cols()) hand_to_lake(m, k, l, to_lake[j]);
    }
    rebuild_total_mass(m, k, mass);
    book_sediment_release(m, k, taken[sediment]);
    book_step_rates(m, k, taken[exfil]);
  }
  m.ov_con_last_time = m.cur_julian;
  m.ov_con_next_time = m.cur_julian + m.ov_con_interval;
  m.cell_mass_toggle = m.cell_mass_toggle == 1 ? 2 : 1;
  m.ov_depth_prev.assign(m.ov_depth.begin(), m.ov_depth.end());
}

}  // namespace pluvo
