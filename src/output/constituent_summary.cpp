// Constituent mass balances of the run summary: the soil, overland, channel and lake blocks of
// each event (dotted lines) and the soil, overland, channel, lake and global summaries of the
// whole run (fixed labels), with their errors stored back per constituent.
#include <algorithm>
#include <cstdio>
#include <string>

#include "output/report_lines.hpp"
#include "output/transport_summary.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

using terms = output_state::constituent_terms;

constexpr double tiny = 1e-16;

double val(const checked_array<double>& a, int c) { return c >= 1 && c <= a.count ? a[c] : 0.0; }
double at(const std::vector<double>& v, int c) { return c >= 0 && size_t(c) < v.size() ? v[size_t(c)] : 0.0; }

void store(std::vector<double>& v, int c, double x) {
  if (v.size() <= size_t(c)) v.resize(size_t(c) + 1, 0.0);
  v[size_t(c)] = x;
}

const terms& of(const std::vector<terms>& v, int c) {
  static const terms none{};
  return c >= 0 && size_t(c) < v.size() ? v[size_t(c)] : none;
}

int type_of(const model_state& m, int c) { return int(val(m.constituent_type, c)); }
bool nutrient(int type) { return type == 2 || type == 3; }

// Adds x to the inputs when positive, its negation to the outputs otherwise.
void split(double x, double& in, double& out) {
  if (x > 0.0)
    in += x;
  else
    out -= x;
}

double percent(double in, double out) { return in > tiny ? (in - out) / in * 100.0 : 0.0; }
double percent_if_positive(double in, double out) { return in > 0.0 ? (in - out) / in * 100.0 : 0.0; }

// The first constituent of type 2 or 3: nutrient names count from it.
int first_nutrient(const model_state& m) {
  for (int c = 1; c <= m.num_constituents; ++c)
    if (nutrient(type_of(m, c))) return c;
  return m.num_constituents + 1;
}

// A nutrient's name from the soil pools or the water constituents, by its position.
std::string name_of(const model_state& m, int c, bool soil_list) {
  if (nutrient(type_of(m, c))) {
    const int p = c - first_nutrient(m);
    if (p < 0 || p >= (soil_list ? 13 : 12)) return std::string();
    return soil_list ? tvx_soil_pool_names[p] : tvx_water_constituent_names[p];
  }
  return size_t(c) < m.constituent_output_name.size() ? m.constituent_output_name[size_t(c)] : std::string();
}

void amount(std::FILE* f, const char* label, double v, int extra = 0) {
  write_summary_line(f, label, v, summary_format::amount, extra);
}
void fine(std::FILE* f, const char* label, double v, int extra = 0) {
  write_summary_line(f, label, v, summary_format::fine, extra);
}
void fixed(std::FILE* f, const char* format, double v) { std::fprintf(f, format, v); }

// ---------------------------------------------------------------- event balances

double event_soil_error(model_state& m, int c) {
  const terms& t = of(m.event_constituent_terms, c);
  const int type = type_of(m, c);
  double in = t.soil_initial + val(m.event_soil_inflow_mass, c) + t.soil_seep_up;
  double out = at(m.soil_mass_final, c) + val(m.event_soil_deep, c);
  if (m.water_table_on) {
    // The water constituent a soil pool feeds gives its exfiltration; a contaminant, like any
    // constituent outside the table, loses its own.
    const int first = first_nutrient(m), p = c - first;
    const int w = p < 0 || p >= 13 ? c : tvx_soil_to_water[p] < 0 ? -1 : first + tvx_soil_to_water[p];
    if (w > 0) out += of(m.event_constituent_terms, w).soil_exfil;
  }
  if ((m.contam_table_on && type == 1) || (m.nutrients_on && nutrient(type))) {
    if (type == 1) out += val(m.event_soil_decay, c);
    out += val(m.event_soil_exchange_loss, c);
    in += val(m.event_soil_exchange_gain, c);
  }
  if (m.sediment_contam_on) split(t.soil_sed_exchange, in, out);
  return percent(in, out);
}

double event_overland_error(model_state& m, int c) {
  const terms& t = of(m.event_constituent_terms, c);
  const int type = type_of(m, c);
  if (type == 3) return 0.0;
  double in = val(m.event_ov_mass_init, c) + val(m.event_ov_point_mass, c) + val(m.event_ov_precip_mass, c);
  if (m.water_table_on) in += val(m.event_ov_exfil_mass, c);
  double out = val(m.OV_MASS_FINAL, c) + val(m.event_ov_infil_mass, c);
  if (m.contam_table_on && type == 1) {
    out += val(m.event_ov_decay_mass, c);
    // The water's own exchange with the land or soil, booked when its mass changed; the soil
    // books its side only at its own, later, update.
    split(val(m.event_ov_uptake_mass, c), in, out);
  }
  // Mass put back on cells that went negative, and the mass of dried cells left on the land.
  in += val(m.event_ov_neg_mass, c);
  out += val(m.event_ov_land_mass, c);
  // The attached mass leaving the outlet leaves the sorbed pools, not the water: the sediment
  // source already carries the water's exchange with them.
  out += m.chan_explic_on ? val(m.event_ov_qlat_mass, c) : val(m.event_ov_mass_out, c);
  if (m.lakes_on) out += t.ov_to_lake;
  if (m.sediment_contam_on) split(t.ov_sed_source, in, out);
  if (m.nutrients_on && type == 2) {
    out += t.ov_tvx_loss;
    in += t.ov_tvx_gain;
    if (m.soil_con_trans_on) {
      out += val(m.event_ov_decay_mass, c);
      in += val(m.event_ov_uptake_mass, c);
    }
  }
  return percent(in, out);
}

// Channel balance of one constituent on event or run figures.
double channel_error(const model_state& m, const terms& t, double initial, double final_mass) {
  double in = initial + t.chan_point + t.chan_from_ov + t.chan_gw;
  double out = t.chan_decay + final_mass + t.chan_out;
  if (m.lakes_on) {
    in += t.chan_from_lake;
    out += t.chan_to_lake + t.chan_lake_exchange;
  }
  if (m.sediment_contam_on) split(t.chan_sed_exchange, in, out);
  return percent(in, out);
}

double lake_error(const model_state& m, const terms& t, double initial, double final_mass, bool decay) {
  double in = initial + t.lake_precip + t.chan_to_lake + t.lake_from_ov + t.lake_gw + t.chan_lake_exchange;
  if (m.sediment_contam_on) in += t.lake_sed_exchange;
  const double out = t.chan_from_lake + final_mass + (decay ? t.lake_decay : 0.0);
  return percent_if_positive(in, out);
}

// ---------------------------------------------------------------- event blocks

void write_event_soil(const model_state& m, std::FILE* f, int c) {
  const terms& t = of(m.event_constituent_terms, c);
  const int type = type_of(m, c);
  std::fprintf(f, "\n\nSoil Contaminant Transport Summary for %s \n\n", name_of(m, c, true).c_str());
  amount(f, "Initial Mass in Soil Column", t.soil_initial);
  amount(f, "Final Mass in Soil Column", at(m.soil_mass_final, c), 1);
  amount(f, "Mass added by infiltration", val(m.event_soil_inflow_mass, c), 1);
  if (m.water_table_on) amount(f, "Exfiltration mass loss", t.soil_exfil);
  amount(f, "Mass seepage to water table", val(m.event_soil_deep, c));
  if (m.water_table_on) amount(f, "Mass seepage from water table", t.soil_seep_up);
  if (type == 1 && m.contam_table_on) {
    amount(f, "Soil decay mass", val(m.event_soil_decay, c));
    amount(f, "Surface water exchange from soil", val(m.event_soil_exchange_loss, c));
    amount(f, "Surface water exchange to soil", val(m.event_soil_exchange_gain, c));
  }
  if (nutrient(type) && m.nutrients_on) {
    amount(f, "TVX surface water exchange from soil", val(m.event_soil_exchange_loss, c));
    amount(f, "TVX surface water exchange to soil", val(m.event_soil_exchange_gain, c));
  }
  if (m.sediment_contam_on) amount(f, "Sediment eroded(-)/deposited(+)", t.soil_sed_exchange);
  std::fputc('\n', f);
  fine(f, "Soil mass balance error %", at(m.soil_mass_error, c));
  if (m.soil_static_conc_on)
    put_line(f, "When using static soil concentrations, mass balance errors represent implied additions to soil top "
                "layer ");
}

void write_event_overland(const model_state& m, std::FILE* f, int c) {
  const terms& t = of(m.event_constituent_terms, c);
  const int type = type_of(m, c);
  std::fputs("\n \n", f);
  if (type == 3) return;
  std::fprintf(f, "Overland Contaminant Transport Summary for %s \n", name_of(m, c, false).c_str());
  put_line(f, "Amounts are total mass for event in (Kg) ");
  put_line(f, " ");
  amount(f, "Initial Dissolved Mass on Overland", val(m.event_ov_mass_init, c));
  amount(f, "Final Dissolved Mass on Overland", val(m.OV_MASS_FINAL, c));
  if (m.sediment_contam_on) {
    amount(f, "Final attached to susp seds", at(m.ov_attached_final, c));
    amount(f, "Final total (attached+dissolved)", at(m.ov_total_final, c));
  }
  std::fputc('\n', f);
  if (m.contam_table_on && !m.soil_con_trans_on) {
    amount(f, "Initial undissolved mass", val(m.OV_LAND_MASS_INIT, c));
    amount(f, "Final undissolved mass", val(m.OV_LAND_MASS_FINAL, c));
    std::fputc('\n', f);
  }
  amount(f, "Point source mass gain", val(m.event_ov_point_mass, c));
  if (m.water_table_on) amount(f, "Exfiltration gain", val(m.event_ov_exfil_mass, c));
  amount(f, "Precipitation gain", val(m.event_ov_precip_mass, c));
  if (type == 1 && m.contam_table_on) amount(f, "Uptake from soil", val(m.event_ov_uptake_mass, c));
  if (type == 2 && m.nutrients_on && m.soil_con_trans_on) amount(f, "Uptake from soil (TVX)", val(m.event_ov_uptake_mass, c));
  if (type == 2) fine(f, "Gained from TVX kinetics", t.ov_tvx_gain);
  std::fputc('\n', f);
  amount(f, "Infiltration", val(m.event_ov_infil_mass, c));
  if (!m.chan_explic_on)
    amount(f, "Outlet flux", val(m.event_ov_mass_out, c));
  else
    amount(f, "Lateral flow to streams", val(m.event_ov_qlat_mass, c));
  if (type == 1 && m.contam_table_on) amount(f, "Decay loss", val(m.event_ov_decay_mass, c));
  if (type == 2) fine(f, "Loss to TVX kinetics", t.ov_tvx_loss);
  if (m.lakes_on) amount(f, "Flux to lake", t.ov_to_lake);
  amount(f, "Negative mass", val(m.event_ov_neg_mass, c));
  if (m.sediment_contam_on) {
    amount(f, "Sediment source", t.ov_sed_source);
    std::fputc('\n', f);
    // With channels the attached mass entering them is the one the channel block receives.
    if (m.chan_explic_on)
      amount(f, "Attached entering channels", at(m.event_attached_to_chan, c));
    else
      amount(f, "Attached exiting outlet", t.ov_attached_out);
    if (m.lakes_on) amount(f, "Attached entering lakes", at(m.event_ov_lake_sed_contam_mass, c));
  }
  std::fputc('\n', f);
  fine(f, "Dissolved mass balance error %", val(m.OV_MASS_ERROR, c));
}

void write_event_channel(const model_state& m, std::FILE* f, int c) {
  const terms& t = of(m.event_constituent_terms, c);
  const int type = type_of(m, c);
  std::fputs("\n \n", f);
  std::fprintf(f, "Channel Contaminant Transport Summary for %s \n", name_of(m, c, false).c_str());
  put_line(f, "Amounts are total for event in (Kg) ");
  put_line(f, " ");
  put_line(f, "Dissolved State Mass Balance... ");
  put_line(f, " ");
  amount(f, "Initial Dissolved Mass in Channels", t.chan_initial);
  amount(f, "Final Dissolved Mass in Channels", at(m.chan_mass_final, c), 1);
  amount(f, "Mass gain from overland", t.chan_from_ov);
  amount(f, "Point source mass gain", t.chan_point);
  if (type == 2) fine(f, "Mass gained in TVX kinetics", t.chan_tvx_gain, 1);
  if (m.lakes_on) {
    amount(f, "Flow from lake to channel", t.chan_from_lake);
    amount(f, "Exchange with lakes (-)", t.chan_lake_exchange);
  }
  if (m.stream_loss_on) amount(f, "Groundwater net mass gain(+)/loss(-)", t.chan_gw);
  if (m.sediment_contam_on) amount(f, "Exhange with sediments", t.chan_sed_exchange);
  if (m.lakes_on) amount(f, "Flows to lake", t.chan_to_lake);
  amount(f, "Outlet mass flux", t.chan_out);
  if (type == 1 && m.contam_table_on) amount(f, "Mass decay loss", t.chan_decay);
  if (type == 2) fine(f, "Mass lost in TVX kinetics", t.chan_tvx_loss);
  std::fputc('\n', f);
  fine(f, "Contam mass balance error %", at(m.chan_mass_error, c));
  std::fputc('\n', f);
  if (!m.sediment_contam_on) return;
  put_line(f, "Contaminants Attached to Sediment Mass Balance...");
  put_line(f, " ");
  amount(f, "Lateral flow into channels", at(m.event_attached_to_chan, c));
  amount(f, "Exiting watershed", t.attached_out);
  amount(f, "Exchange with dissolved", -t.chan_sed_exchange);
  amount(f, "Attached to suspended sed", at(m.chan_attached_final, c));
  if (m.lakes_on) amount(f, "Attached entering lakes", at(m.event_chan_lake_sed_contam_mass, c));
  fine(f, "Total (dissolved+attached)", at(m.chan_mass_final, c) + at(m.chan_attached_final, c));
  std::fputc('\n', f);
}

void write_event_lake(const model_state& m, std::FILE* f, int c) {
  const terms& t = of(m.event_constituent_terms, c);
  std::fprintf(f, "Lake Contaminant Transport Summary for %s \n", name_of(m, c, false).c_str());
  put_line(f, "Amounts are total mass for event (Kg) ");
  put_line(f, " ");
  put_line(f, "Dissolved State Mass Balance...");
  amount(f, "Initial Dissolved in Lakes", t.lake_initial);
  amount(f, "Final Dissolved in Lakes", at(m.lake_mass_final, c));
  std::fputc('\n', f);
  amount(f, "Precip", t.lake_precip);
  amount(f, "Inflow", t.chan_to_lake);
  amount(f, "Lake/chan exchange", t.chan_lake_exchange);
  amount(f, "Overland flux", t.lake_from_ov);
  amount(f, "Point source", t.lake_point);
  amount(f, "Groundwater flux", t.lake_gw, 1);
  amount(f, "Outflow", t.chan_from_lake);
  amount(f, "Dissolved decay loss", t.lake_decay);
  if (m.sediment_contam_on) amount(f, "Exchange with attached", t.lake_sed_exchange);
  std::fputc('\n', f);
  fine(f, "Dissolved mass balance error %", at(m.lake_mass_error, c));
  if (m.sediment_contam_on) {
    std::fputc('\n', f);
    amount(f, "Overland inflow", at(m.event_ov_lake_sed_contam_mass, c));
    amount(f, "Channel inflow", at(m.event_chan_lake_sed_contam_mass, c));
    amount(f, "Exchange with dissolved", -t.lake_sed_exchange);
  }
  std::fputc('\n', f);
  for (int l = 1; l <= m.nlakes; ++l) {
    const double* mass = checked_array_2d_row(m.lake_con_mass, c);
    const double* conc = checked_array_2d_row(m.lake_con_conc, c);
    std::fprintf(f, "Final Mass in lake %ld =        %14.2lf \n", long(l), mass ? mass[l] / 1000.0 : 0.0);
    std::fprintf(f, "Final Conc in lake (mg/L) %ld = %14.2lf \n", long(l), conc ? conc[l] : 0.0);
    put_line(f, " ");
  }
}

// ---------------------------------------------------------------- end of the run

// Mass of constituent c in the soil contaminant layers of cell i, kg.
double soil_column_mass(const model_state& m, int c, int i) {
  double** plane = checked_array_3d_plane(m.soil_mass, c);
  if (!plane || i > m.soil_mass.rows) return 0.0;
  double sum = 0.0;
  for (int layer = 1; layer <= m.soil_contam_layers && layer <= m.soil_mass.columns; ++layer) sum += plane[i][layer] / 1000.0;
  return sum;
}

bool in_channel_lake(const model_state& m, int i) {
  return m.lakes_on && size_t(i) < m.lake_mask.size() && m.lake_mask[size_t(i)] > 0;
}

// The overland figures of constituent c, kg: dissolved (outside channel lakes), land surface,
// and with sediment-bound constituents the attached (on the suspended sediment), the total, the
// sorbed pools (total less dissolved, outside channel lakes) and what the pools gave the soil
// (+) or took from it (-) that the soil has not yet booked; infiltrated mass on its way to a soil
// the transport follows, not yet taken by its next update; what the water took up from that soil
// (+) or gave it (-), which the soil's next update takes from its layers; what the streams have
// received (+) or given (-) that the cells' books still hold.
struct overland_stores {
  double dissolved = 0.0, land = 0.0, soil = 0.0, attached = 0.0, total = 0.0, sorbed = 0.0, to_soil = 0.0,
         infiltrating = 0.0, exchanging = 0.0, to_streams = 0.0;
};

// The dissolved mass is the cells' own, at the end of an event as at the end of the run: the
// depth has moved since the concentration was formed (the streams drew water after it), so
// depth x concentration is not the mass the books moved.
overland_stores sum_overland(const model_state& m, int c) {
  overland_stores s;
  const double* mass = checked_array_2d_row(m.ov_mass, c);
  const double* load = checked_array_2d_row(m.ov_land_load, c);
  const double* infiltrating = checked_array_2d_row(m.soil_inflow_mass, c);
  const double* exchanging = checked_array_2d_row(m.soil_exchange_mass, c);
  const double* to_streams = m.chan_explic_on ? checked_array_2d_row(m.ov_qlat_mass_step, c) : nullptr;
  const int classes = m.ov_sed ? m.ov_sed->num_sed_classes : 0;
  const size_t cells = size_t(m.cell_count) + 1, slots = size_t(classes) + 1;
  const bool attached = m.sediment_contam_on && m.ov_total_con_mass.size() >= (size_t(c) + 1) * cells &&
                        m.ov_sed_con_conc.size() >= (size_t(c) + 1) * cells * slots && m.ov_sed &&
                        m.ov_sed->vol_sed.size() > m.ov_sed->cell_class_layer(m.cell_count, classes, 2);
  for (int i = 1; i <= m.cell_count; ++i) {
    const bool lake = in_channel_lake(m, i);
    if (!lake && mass) s.dissolved += mass[i] / 1000.0;
    if (load) s.land += load[i] / 1000.0;
    if (m.soil_con_trans_on) s.soil += soil_column_mass(m, c, i);
    if (m.soil_con_trans_on && infiltrating) s.infiltrating += infiltrating[i] / 1000.0;
    if (m.soil_con_trans_on && exchanging) s.exchanging += exchanging[i] / 1000.0;
    if (to_streams) s.to_streams += to_streams[i] / 1000.0;
    if (!attached) continue;
    const size_t cell = size_t(c) * cells + size_t(i);
    s.total += m.ov_total_con_mass[cell] / 1000.0;
    if (!lake) s.sorbed += (m.ov_total_con_mass[cell] - (mass ? mass[i] : 0.0)) / 1000.0;
    if (m.ov_sed_con_soil_exchange.size() > cell) s.to_soil += m.ov_sed_con_soil_exchange[cell] / 1000.0;
    for (int k = 1; k <= classes; ++k)
      s.attached += m.ov_sed->vol_sed[m.ov_sed->cell_class_layer(i, k, 2)] * m.ov_sed_con_conc[cell * slots + size_t(k)] /
                    1000.0;
  }
  return s;
}

// The channel figures of constituent c, kg: dissolved in the water of the nodes the channel
// volume counts, attached to their suspended wash load, and their sorbed pools (total less
// dissolved, with what was released but not yet taken by the dissolved routing).
struct channel_stores {
  double dissolved = 0.0, attached = 0.0, sorbed = 0.0;
};

channel_stores sum_channels(const model_state& m, int c) {
  channel_stores s;
  const double* mass = checked_array_2d_row(m.chan_node_mass, c);
  const int classes = m.ov_sed ? m.ov_sed->num_sed_classes : 0;
  const size_t slots = size_t(classes) + 1, keys = size_t(m.chan_slot_count);
  const bool attached = m.sediment_contam_on && m.ov_sed && m.chan_sed_contam_node_conc.size() >= (size_t(c) + 1) * keys * slots &&
                        m.ch_wash_vol.size() >= keys * slots;
  const bool pools = m.sediment_contam_on && m.chan_tot_node_mass.rows() >= c && m.chan_node_sed_source_mass.rows() >= c &&
                     mass && m.chan_tot_node_mass.cols() >= m.chan_slot_count - 1 &&
                     m.chan_node_sed_source_mass.cols() >= m.chan_slot_count - 1;
  for (int link = 1; link <= m.nlinks; ++link) {
    const int type = m.ltype[size_t(link)];
    if ((type & (ltype_lake | ltype_structure)) || ((type & (4 | 8)) && (type & ltype_taken_by_lake))) continue;
    const int last = m.lakes_on && size_t(link) < m.og_nx1.size() ? m.og_nx1[size_t(link)] : m.nx[size_t(link)];
    for (int node = 1; node <= last; ++node) {
      const size_t key = size_t(link * m.chan_node_extent + node);
      // The nodes' own masses: a node that ran dry still holds what it carried.
      if (mass) s.dissolved += mass[key] / 1000.0;
      if (pools)
        s.sorbed += (m.chan_tot_node_mass[c][key] - mass[key] + m.chan_node_sed_source_mass[c][key]) / 1000.0;
      if (!attached) continue;
      for (int k = 1; k <= classes; ++k)
        if (m.ov_sed->sand[size_t(k)] == 0)
          s.attached += m.chan_sed_contam_node_conc[(size_t(c) * keys + key) * slots + size_t(k)] *
                        m.ch_wash_vol[key * slots + size_t(k)] / 1000.0;
    }
  }
  return s;
}

double sum_lakes(const model_state& m, int c) {
  const double* lake = checked_array_2d_row(m.lake_con_mass, c);
  double sum = 0.0;
  for (int l = 1; lake && l <= m.nlakes; ++l) sum += lake[l] / 1000.0;
  return sum;
}

// The lakes' sorbed pools of constituent c, kg: total less dissolved, with what was released
// but not yet taken by the lakes' dissolved balance.
double sum_lake_pools(const model_state& m, int c) {
  const double* lake = checked_array_2d_row(m.lake_con_mass, c);
  if (!m.sediment_contam_on || !lake || m.lake_tot_mass.rows() < c || m.lake_sed_contam_source.rows() < c) return 0.0;
  double sum = 0.0;
  for (int l = 1; l <= m.nlakes && l <= m.lake_tot_mass.cols() && l <= m.lake_sed_contam_source.cols(); ++l)
    sum += (m.lake_tot_mass[c][l] - lake[l] + m.lake_sed_contam_source[c][l]) / 1000.0;
  return sum;
}

// Net mass the sorbed pools of constituent c gave a soil that no transport follows (deposited
// less eroded), kg: it has left the watershed's books, or entered them when negative.
double untracked_soil_exchange(const model_state& m, int c) {
  if (!m.sediment_contam_on || m.soil_con_trans_on) return 0.0;
  return sum_overland(m, c).to_soil + of(m.run_constituent_terms, c).soil_sed_exchange;
}

// Final stores of every constituent, kg, from the cells, nodes and lakes; GLOBAL_MASS_FINAL is
// their sum, each store counted once: dissolved and sorbed, and what the sorbed pools owe a soil
// the transport follows.
void sum_final_stores(model_state& m, bool run_end) {
  for (int c = 1; c <= m.num_constituents; ++c) {
    const overland_stores ov = sum_overland(m, c);
    if (m.ov_con_trans_on) {
      m.OV_MASS_FINAL[c] = ov.dissolved;
      m.OV_LAND_MASS_FINAL[c] = ov.land;
    }
    if (m.sediment_contam_on) {
      store(m.ov_attached_final, c, ov.attached);
      store(m.ov_total_final, c, ov.total);
    }
    if (m.soil_con_trans_on) store(m.soil_mass_final, c, ov.soil);
    const channel_stores ch = m.chan_con_trans_on ? sum_channels(m, c) : channel_stores{};
    // The run's end keeps the channel figures its last event summed.
    if (m.chan_con_trans_on && !run_end) {
      store(m.chan_mass_final, c, ch.dissolved);
      if (m.sediment_contam_on) store(m.chan_attached_final, c, ch.attached);
    }
    if (m.lakes_on) store(m.lake_mass_final, c, sum_lakes(m, c));
    // With soil transport the land-surface mass is the soil column's: counted once, as soil; the
    // uptake the water already holds is no longer the soil's.
    m.GLOBAL_MASS_FINAL[c] = val(m.OV_MASS_FINAL, c) - ov.to_streams +
                             (m.soil_con_trans_on ? ov.soil + ov.infiltrating - ov.exchanging
                                                  : val(m.OV_LAND_MASS_FINAL, c)) +
                             at(m.chan_mass_final, c) +
                             (m.lakes_on ? at(m.lake_mass_final, c) : 0.0);
    if (m.sediment_contam_on)
      m.GLOBAL_MASS_FINAL[c] += ov.sorbed + ch.sorbed + (m.lakes_on ? sum_lake_pools(m, c) : 0.0) +
                                (m.soil_con_trans_on ? ov.to_soil : 0.0);
  }
}

void write_run_soil(model_state& m, std::FILE* f) {
  put_line(f, "Soil Contaminant Transport Summary ");
  put_line(f, " ");
  for (int c = 1; c <= m.num_constituents; ++c) {
    const terms& t = of(m.run_constituent_terms, c);
    const int type = type_of(m, c);
    double in = t.soil_initial + val(m.soil_inflow_total, c) + t.soil_seep_up;
    double out = at(m.soil_mass_final, c) + val(m.soil_deep_total, c);
    if (m.water_table_on) out += val(m.soil_exfil_total, c);
    if (m.contam_table_on && type == 1) out += val(m.soil_decay_total, c) + t.soil_uptake;
    if (m.nutrients_on && nutrient(type)) out += t.soil_tvx_uptake + t.soil_tvx_decay;
    if (m.sediment_contam_on) split(t.soil_sed_exchange, in, out);
    store(m.soil_mass_error, c, percent_if_positive(in, out));
    std::fprintf(f, "\n \nSoil Constituent Transport Summary for %s \n\n", name_of(m, c, true).c_str());
    fixed(f, "Initial Mass in Soil Column   %14.2lf \n", t.soil_initial);
    fixed(f, "Final Mass in Soil Column     %14.2lf \n \n", at(m.soil_mass_final, c));
    fixed(f, "Mass added by infiltration    %14.2lf \n", val(m.soil_inflow_total, c));
    fixed(f, "Mass seepage up from GW       %14.2lf \n \n", t.soil_seep_up);
    if (type == 1 && m.contam_table_on) {
      fixed(f, "Uptake from soil              %14.2lf \n", t.soil_uptake);
      fixed(f, "Soil decay mass               %14.2lf \n", val(m.soil_decay_total, c));
    }
    if (nutrient(type) && m.nutrients_on) {
      fixed(f, "Uptake from soil (TVX)        %14.2lf \n", t.soil_tvx_uptake);
      fixed(f, "TVX decay mass               %14.2lf \n", t.soil_tvx_decay);
    }
    if (m.water_table_on) fixed(f, "Exfiltration mass loss        %14.2lf \n", val(m.soil_exfil_total, c));
    fixed(f, "Mass seepage down to GW       %14.2lf \n \n", val(m.soil_deep_total, c));
    if (m.sediment_contam_on) fixed(f, "Sediment eroded(-)/deposited  %14.2lf \n \n", t.soil_sed_exchange);
    std::fprintf(f, "Soil mass balance error       %14.4lf percent \n", at(m.soil_mass_error, c));
    if (m.soil_static_conc_on)
      put_line(f, "When using static soil concentrations, mass balance errors represent implied additions to soil "
                  "top layer ");
  }
  std::fputc('\n', f);
}

void write_run_overland(model_state& m, std::FILE* f) {
  std::fputs("\n\n *************   Overland Transport Summaries   **************** \n\n\n", f);
  for (int c = 1; c <= m.num_constituents; ++c) {
    const int type = type_of(m, c);
    if (type == 3) continue;
    const terms& t = of(m.run_constituent_terms, c);
    const bool uptake = type == 2 && m.nutrients_on;
    // Mass put back on cells that went negative is an input, as in the event's balance.
    double in = val(m.OV_MASS_INIT, c) + val(m.OV_POINT_MASS, c) + val(m.OV_PRECIP_MASS, c) + val(m.OV_NEG_MASS, c);
    double out = val(m.OV_MASS_FINAL, c) + val(m.OV_INFIL_MASS, c);
    if (m.water_table_on) in += val(m.OV_EXFIL_MASS, c);
    if (uptake || (type == 1 && m.contam_table_on)) split(val(m.OV_UPTAKE_MASS, c), in, out);
    out += val(m.OV_LAND_MASS, c);
    if (!m.chan_explic_on) out += val(m.OV_MASS_OUT, c);
    if (type == 1 && m.contam_table_on) out += val(m.OV_MASS_DECAY, c);
    if (m.chan_explic_on) out += val(m.OV_QLAT_MASS, c);
    if (m.lakes_on) out += t.ov_to_lake;
    // The kinetics gain and the sediment source are inputs of the run as of each event.
    if (uptake) {
      in += t.ov_tvx_gain;
      out += t.ov_tvx_loss;
    }
    if (m.sediment_contam_on) split(t.ov_sed_source, in, out);
    m.OV_MASS_ERROR[c] = percent_if_positive(in, out);
    std::fputs("\n\n", f);
    if (nutrient(type))
      std::fprintf(f, "Overland Constituent Transport Summary for %s \n", name_of(m, c, false).c_str());
    else
      std::fprintf(f, "Overland Constituent Transport Summary for Constituent %5d (%s)\n", c, name_of(m, c, false).c_str());
    put_line(f, "Amounts are total for simulations in (Kg) ");
    put_line(f, " ");
    fixed(f, "Initial Dissolved mass on ov  %14.2lf \n", val(m.OV_MASS_INIT, c));
    fixed(f, "Final Dissolved mass on ov    %14.2lf \n\n", val(m.OV_MASS_FINAL, c));
    if (m.contam_table_on && !m.soil_con_trans_on) {
      fixed(f, "Initial undissolved mass      %14.2lf \n", val(m.OV_LAND_MASS_INIT, c));
      fixed(f, "Final undissolved mass        %14.2lf \n\n", val(m.OV_LAND_MASS_FINAL, c));
    }
    fixed(f, "Point source mass gain        %14.2lf \n", val(m.OV_POINT_MASS, c));
    if (m.water_table_on) fixed(f, "Exfiltration mass gain        %14.2lf \n", val(m.OV_EXFIL_MASS, c));
    fixed(f, "Precipitation mass gain       %14.2lf \n", val(m.OV_PRECIP_MASS, c));
    if (uptake) fixed(f, "Uptake from soil              %14.2lf \n", val(m.OV_UPTAKE_MASS, c));
    if (m.sediment_contam_on) fixed(f, "Sediment source               %14.2lf \n", t.ov_sed_source);
    std::fputc('\n', f);
    fixed(f, "Mass loss to infiltration     %14.2lf \n", val(m.OV_INFIL_MASS, c));
    if (m.chan_explic_on) fixed(f, "Mass loss to stream           %14.2lf \n", val(m.OV_QLAT_MASS, c));
    fixed(f, "Outlet mass flux              %14.2lf \n", val(m.OV_MASS_OUT, c));
    if (type == 1 && m.contam_table_on) fixed(f, "Mass decay loss on overland   %14.2lf \n", val(m.OV_MASS_DECAY, c));
    if (uptake) {
      fixed(f, "Mass gained from TVX kinetics   %14.4lf \n", t.ov_tvx_gain);
      fixed(f, "Mass lost to TVX kinetics       %14.4lf \n", t.ov_tvx_loss);
    }
    if (m.lakes_on) fixed(f, "Lateral flow to lake          %14.2lf \n", t.ov_to_lake);
    std::fputc('\n', f);
    if (m.sediment_contam_on) {
      fixed(f, "Attached to susp sediments    %14.2lf \n", at(m.ov_attached_final, c));
      if (m.chan_explic_on)
        fixed(f, "Attached entering streams     %14.2lf \n", at(m.attached_to_chan_total, c));
      else
        fixed(f, "Attached exiting watershed    %14.2lf \n", t.ov_attached_out);
      std::fputc('\n', f);
    }
    fixed(f, "Contam mass balance error       %14.4lf percent \n", val(m.OV_MASS_ERROR, c));
  }
}

void write_run_lake(model_state& m, std::FILE* f, int c) {
  const terms& t = of(m.run_constituent_terms, c);
  const double initial = at(m.lake_con_mass_initial, c);
  store(m.lake_mass_error, c, lake_error(m, t, initial, at(m.lake_mass_final, c), type_of(m, c) == 1));
  std::fprintf(f, "\n \nLake Contaminant Transport Summary for Constituent %5ld \n", long(c));
  put_line(f, "Amounts are total for simulations in (Kg) ");
  put_line(f, " ");
  fixed(f, "Initial Mass in Lakes         %14.2lf \n", initial);
  fixed(f, "Final Mass in Lakes           %14.2lf \n \n", at(m.lake_mass_final, c));
  fixed(f, "Mass gain from overland       %14.2lf \n", t.lake_from_ov);
  fixed(f, "Mass channel trib inflow      %14.2lf \n", t.chan_to_lake);
  fixed(f, "Mass lake outlet flow         %14.2lf \n", t.chan_from_lake);
  fixed(f, "Lake chan exchange mass       %14.2lf \n", t.chan_lake_exchange);
  fixed(f, "Point source mass gain        %14.2lf \n", t.lake_point);
  fixed(f, "Groundwater mass gain/loss    %14.2lf \n \n", t.lake_gw);
  fixed(f, "Precip mass flux              %14.2lf \n", t.lake_precip);
  fixed(f, "Mass decay loss               %14.2lf \n \n", t.lake_decay);
  fixed(f, "Contam mass balance error       %14.4lf percent \n\n \n", at(m.lake_mass_error, c));
  const double* mass = checked_array_2d_row(m.lake_con_mass, c);
  const double* conc = checked_array_2d_row(m.lake_con_conc, c);
  for (int l = 1; l <= m.nlakes; ++l) {
    std::fprintf(f, "Final Mass in lake %ld = %14.2lf \n", long(l), mass ? mass[l] / 1000.0 : 0.0);
    std::fprintf(f, "Final Conc in lake %ld = %14.2lf \n\n \n", long(l), conc ? conc[l] : 0.0);
  }
}

void write_run_channel(model_state& m, std::FILE* f) {
  std::fputs("\n\n *************   Channel Transport Summaries   **************** \n\n\n", f);
  for (int c = 1; c <= m.num_constituents; ++c) {
    const int type = type_of(m, c);
    if (type == 3) continue;
    const terms& t = of(m.run_constituent_terms, c);
    const double initial = at(m.chan_con_mass_initial, c);
    store(m.chan_mass_error, c, channel_error(m, t, initial, at(m.chan_mass_final, c)));
    std::fputs("\n \n", f);
    if (nutrient(type))
      std::fprintf(f, "Channel Contaminant Transport Summary for %s \n", name_of(m, c, false).c_str());
    else
      std::fprintf(f, "Channel Contaminant Transport Summary for Contaminant %5d \n", c);
    put_line(f, "Amounts are total for simulations in (Kg) ");
    put_line(f, " ");
    put_line(f, "Dissolved");
    fixed(f, "Initial Mass in Channels      %14.2lf \n", initial);
    fixed(f, "Final Mass in Channels        %14.2lf \n \n", at(m.chan_mass_final, c));
    fixed(f, "Mass gain from overland       %14.2lf \n", t.chan_from_ov);
    fixed(f, "Point source mass gain        %14.2lf \n", t.chan_point);
    if (m.lakes_on) fixed(f, "Flux from lake                %14.2lf \n", t.chan_from_lake);
    if (m.stream_loss_on) fixed(f, "Groundwater mass gain/loss    %14.2lf \n \n", t.chan_gw);
    fixed(f, "Outlet mass flux              %14.2lf \n", t.chan_out);
    if (type == 1 && m.contam_table_on) fixed(f, "Mass decay loss               %14.2lf \n", t.chan_decay);
    if (type == 2) {
      fixed(f, "Mass gained from TVX kinetics   %14.6lf \n", t.chan_tvx_gain);
      fixed(f, "Mass lost to TVX kinetics       %14.6lf \n", t.chan_tvx_loss);
    }
    if (m.lakes_on) {
      fixed(f, "Flux to lake                  %14.2lf \n", t.chan_to_lake);
      fixed(f, "Exchange with lake            %14.2lf \n", t.chan_lake_exchange);
    }
    if (m.sediment_contam_on) fixed(f, "Exchange with sediment        %14.2lf \n", t.chan_sed_exchange);
    std::fputc('\n', f);
    fixed(f, "Dissolved mass balance error       %14.4lf percent \n", at(m.chan_mass_error, c));
    std::fputc('\n', f);
    put_line(f, "Attached");
    if (m.sediment_contam_on) {
      fixed(f, "Lateral flow into channels    %14.2lf \n", at(m.attached_to_chan_total, c));
      fixed(f, "Final suspended               %14.2lf \n", at(m.chan_attached_final, c));
      fixed(f, "Exchange with dissolved       %14.2lf \n", -t.chan_sed_exchange);
      fixed(f, "Exiting outlet                %14.2lf \n", t.attached_out);
    }
    std::fputc('\n', f);
    if (m.lakes_on) write_run_lake(m, f, c);
  }
}

void write_run_global(model_state& m, std::FILE* f) {
  std::fputs("\n\n *************   Global Transport Summaries   **************** \n\n\n", f);
  for (int c = 1; c <= m.num_constituents; ++c) {
    const terms& t = of(m.run_constituent_terms, c);
    const int type = type_of(m, c);
    const bool tvx = type == 2 && m.nutrients_on;
    const double precip = val(m.OV_PRECIP_MASS, c) + t.lake_precip;
    const double gw = val(m.GLOBAL_GW_MASS, c);
    double in = val(m.GLOBAL_MASS_INIT, c) + val(m.GLOBAL_POINT_SOURCE, c) + precip + val(m.OV_NEG_MASS, c);
    // Mass eroded from a soil no transport follows enters the books (deposits left them, booked
    // as out at the run's end).
    in += std::max(-untracked_soil_exchange(m, c), 0.0);
    if (tvx) in += t.ov_tvx_gain + t.chan_tvx_gain;
    if (m.chan_explic_on && (m.water_table_on || m.stream_loss_on)) {
      if (gw > 0.0)
        in += gw;
      else
        m.GLOBAL_MASS_OUT[c] -= gw;
    }
    // Infiltration and exfiltration move mass between the water and the soil: with soil
    // transport both stay in the system, where the soil's final mass holds them.
    if (m.soil_con_trans_on) in += t.soil_seep_up;
    double out = val(m.GLOBAL_MASS_OUT, c) + val(m.GLOBAL_MASS_FINAL, c);
    if (type == 1 && m.contam_table_on) out += val(m.GLOBAL_MASS_DECAY, c);
    if (tvx) out += t.ov_tvx_loss + t.chan_tvx_loss;
    m.GLOBAL_MASS_CON_ERROR[c] = percent_if_positive(in, out);
    std::fputs("\n \n", f);
    if (nutrient(type))
      std::fprintf(f, "Contaminant Transport Global Summary for %s \n", name_of(m, c, false).c_str());
    else
      std::fprintf(f, "Contaminant Transport Global Summary for Contaminant %5d \n", c);
    put_line(f, "Amounts are total for simulations in (Kg) ");
    put_line(f, " ");
    fixed(f, "Total initial mass            %14.2lf \n", val(m.GLOBAL_MASS_INIT, c));
    fixed(f, "Total final Mass              %14.2lf \n \n", val(m.GLOBAL_MASS_FINAL, c));
    fixed(f, "Point source inputs           %14.2lf\n", val(m.GLOBAL_POINT_SOURCE, c));
    fixed(f, "Precipitation inputs          %14.2lf \n", precip);
    fixed(f, "Flux from GW to streams       %14.2lf \n", gw);
    if (m.soil_con_trans_on) fixed(f, "Soil mass in from groundwater %14.2lf \n \n", t.soil_seep_up);
    fixed(f, "Total mass out of system      %14.2lf \n \n", val(m.GLOBAL_MASS_OUT, c));
    if (type == 1 && m.contam_table_on) fixed(f, "Mass decay loss               %14.2lf \n", val(m.GLOBAL_MASS_DECAY, c));
    if (tvx) fixed(f, "TVX gain/loss                 %14.2lf \n", t.ov_tvx_gain + t.chan_tvx_gain - t.ov_tvx_loss - t.chan_tvx_loss);
    std::fputc('\n', f);
    fixed(f, "Contam mass balance error       %14.4lf percent \n", val(m.GLOBAL_MASS_CON_ERROR, c));
  }
}

}  // namespace

void sum_event_constituent_stores(model_state& m) {
  if (m.num_constituents >= 1) sum_final_stores(m, false);
}

void write_event_constituent_blocks(model_state& m, std::FILE* f) {
  const int n = m.num_constituents;
  for (int c = 1; c <= n; ++c) {
    if (m.soil_con_trans_on) store(m.soil_mass_error, c, event_soil_error(m, c));
    if (m.ov_con_trans_on) m.OV_MASS_ERROR[c] = event_overland_error(m, c);
  }
  if (m.soil_con_trans_on)
    for (int c = 1; c <= n; ++c) write_event_soil(m, f, c);
  if (m.ov_con_trans_on) {
    for (int c = 1; c <= n; ++c) write_event_overland(m, f, c);
    std::fputc('\n', f);
  }
  if (!m.chan_con_trans_on) return;
  for (int c = 1; c <= n; ++c) {
    if (type_of(m, c) == 3) continue;
    const terms& t = of(m.event_constituent_terms, c);
    store(m.chan_mass_error, c, channel_error(m, t, t.chan_initial, at(m.chan_mass_final, c)));
    write_event_channel(m, f, c);
    if (!m.lakes_on) continue;
    store(m.lake_mass_error, c, lake_error(m, t, t.lake_initial, at(m.lake_mass_final, c), true));
    write_event_lake(m, f, c);
  }
  std::fputc('\n', f);
}

void write_run_constituent_summaries(model_state& m, std::FILE* f) {
  if (m.num_constituents < 1) return;
  sum_final_stores(m, true);
  // What infiltrated into a soil no transport follows has left the system. Without channels,
  // what leaves the outlet on sediment has left it too; so has what the sorbed pools left on a
  // soil no transport follows.
  for (int c = 1; c <= m.num_constituents; ++c) {
    if (!m.soil_con_trans_on) m.GLOBAL_MASS_OUT[c] += val(m.OV_INFIL_MASS, c);
    if (!m.sediment_contam_on) continue;
    if (!m.chan_explic_on) m.GLOBAL_MASS_OUT[c] += of(m.run_constituent_terms, c).ov_attached_out;
    m.GLOBAL_MASS_OUT[c] += std::max(untracked_soil_exchange(m, c), 0.0);
  }
  if (m.soil_con_trans_on) write_run_soil(m, f);
  if (m.ov_con_trans_on) write_run_overland(m, f);
  if (m.chan_con_trans_on) write_run_channel(m, f);
  if (m.global_transport_on) write_run_global(m, f);
  if (m.nutrients_on) {
    put_line(f, "TVX dm/dt Summary");
    std::fprintf(f, "  Total dm/dt in:  %14.4lf\n", m.tvx_dmdt_in_total);
    std::fprintf(f, "  Total dm/dt out: %14.4lf\n\n", m.tvx_dmdt_out_total);
  }
}

}  // namespace pluvo
