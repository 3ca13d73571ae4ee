// Sediment and constituent blocks of the run summary: overland, channel and lake sediment of
// each event and of the whole run, the channel bed elevations left by the run, and the soil,
// overland, channel, lake and global constituent balances.
#include "output/transport_summary.hpp"

#include <algorithm>
#include <cstdio>

#include "common/checked_file.hpp"
#include "common/error_state.hpp"
#include "output/report_lines.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

constexpr double tiny = 1e-16;
constexpr int lake_bit = 32;
constexpr int structure_bit = 64;

double at(const std::vector<double>& v, size_t i) { return i < v.size() ? v[i] : 0.0; }

// (in - out) / in x 100, or 0 unless in is above 1e-16.
double error_percent(double in, double out) { return in > tiny ? (in - out) / in * 100.0 : 0.0; }

int classes_of(const model_state& m) { return m.ov_sed ? m.ov_sed->num_sed_classes : 0; }
bool is_sand(const model_state& m, int k) { return m.ov_sed->sand[size_t(k)] != 0; }
size_t lake_class(const model_state& m, int lake, int k) { return size_t(lake) * size_t(classes_of(m) + 1) + size_t(k); }

// Sum over the lakes of a per-lake value.
double over_lakes(const model_state& m, const std::vector<double>& per_lake) {
  double sum = 0.0;
  for (int l = 1; l <= m.nlakes; ++l) sum += at(per_lake, size_t(l));
  return sum;
}

// Sum over the lakes of slot 0 (the wash-load sum) of a [lake][class] total.
double over_lakes_wash(const model_state& m, const std::vector<double>& per_lake_class) {
  double sum = 0.0;
  for (int l = 1; l <= m.nlakes; ++l) sum += at(per_lake_class, lake_class(m, l, 0));
  return sum;
}

double sand_total(const model_state& m, int k, int layer) { return at(m.ov_sed->tot_sed, size_t(k) * 5 + size_t(layer)); }

// Net sediment of class k carried from the overland into the lakes over the run.
double overland_to_lakes(const model_state& m, int k) {
  double sum = 0.0;
  for (int l = 1; l <= m.nlakes; ++l)
    sum += at(m.GLOBAL_sed_vol_overland_to_lake, lake_class(m, l, k));
  return sum;
}

double superlink_sediment(const model_state& m, int k) {
  const size_t cells = size_t(m.cell_count) + 1;
  double sum = 0.0;
  for (int c = 1; c <= m.cell_count; ++c) sum += at(m.ov_sed->ov_superlink_sed, size_t(k) * cells + size_t(c));
  return sum;
}

// The overland sediment block; the run summary's differs in its superlink lines.
void write_overland_sediment(const model_state& m, std::FILE* f, bool event) {
  put_line(f, "Overland Sediment Summary");
  if (event) {
    put_line(f, "Quantities, except for amounts to Superlinks, are running totals for simulation - NOT EVENT ");
    put_line(f, "Quantities for amount of sediment to superlink is for the single event");
  }
  for (int k = 1; k <= classes_of(m); ++k) {
    const long kl = k;
    const double eroded = -sand_total(m, k, 1), suspended = sand_total(m, k, 2), deposited = sand_total(m, k, 3);
    std::fprintf(f, "Total sediment %ld eroded from surface:        %16.8lf m3\n", kl, eroded);
    std::fprintf(f, "Total sediment %ld deposited on surface:       %16.8lf m3\n", kl, deposited);
    std::fprintf(f, "Total sediment %ld remaining in suspension:    %16.8lf m3\n", kl, suspended);
    double out = deposited + suspended;
    if (m.chan_sed_transport_on) {
      const double to_chan = at(m.ov_to_chan_sed_total, size_t(k));
      std::fprintf(f, "Total sediment %ld transported into channels:  %16.8lf m3\n", kl, to_chan);
      out += to_chan;
      if (m.lakes_on) {
        const double to_lakes = overland_to_lakes(m, k);
        std::fprintf(f, "Net sediment %ld from overland to lakes:       %16.8lf m3\n", kl, to_lakes);
        if (!is_sand(m, k)) out += to_lakes;
      }
    } else {
      const double through = sand_total(m, k, 4);
      std::fprintf(f, "Total sediment %ld routed through outlet       %16.8lf m3\n", kl, through);
      out += through;
    }
    if (m.storm_sewer_on) {
      const double to_pipes = superlink_sediment(m, k);
      if (event) {
        std::fprintf(f, "Total sediment %ld into superlinks (event)     %16.8lf m3\n", kl, to_pipes);
        if (k == 1)
          std::fprintf(f, "\nTotal water carrying sediments to superlinks (event) %16.8lf m3\n",
                       m.sed_water_to_superlinks);
      } else {
        std::fprintf(f, "Total sediment %ld into superlinks:            %16.8lf m3\n", kl, to_pipes);
      }
      out += to_pipes;
    }
    std::fprintf(f, "Mass balance error for sediment %ld %10.4lf percent \n", kl, error_percent(eroded, out));
    if (m.lakes_on && !is_sand(m, k)) {
      std::fprintf(f, "NOTE:  Interactions between sediment %ld and lakes in the watershed prevent an exact mass "
                      "balance calculation \n", kl);
      put_line(f, "       Reported errors are likely accounting errors only ");
    }
    std::fputc('\n', f);
  }
  std::fputc('\n', f);
}

// Figures of one channel sediment balance, event or run.
struct channel_sediment_figures {
  double sand_initial, sand_in, sand_to_lakes, sand_out, sand_final;
  double wash_initial, wash_in, wash_to_lakes, wash_from_lakes, wash_out, wash_final;
};

struct channel_sediment_errors {
  double wash, sand, overall;
};

channel_sediment_errors channel_sediment_balance(const model_state& m, const channel_sediment_figures& s) {
  const double sand_in = s.sand_initial + s.sand_in;
  const double sand_out = s.sand_final + s.sand_out + (m.lakes_on ? s.sand_to_lakes : 0.0);
  const double wash_in = s.wash_initial + s.wash_in + (m.lakes_on ? s.wash_from_lakes : 0.0);
  const double wash_out = s.wash_out + s.wash_final + (m.lakes_on ? s.wash_to_lakes : 0.0);
  return {error_percent(wash_in, wash_out), error_percent(sand_in, sand_out),
          error_percent(wash_in + sand_in, wash_out + sand_out)};
}

void write_event_channel_sediment(const model_state& m, std::FILE* f) {
  put_line(f, "Channel sediment routing mass quantities");
  put_line(f, "Quanties are this Event ");
  for (int k = 1; k <= classes_of(m); ++k)
    std::fprintf(f, "Total sediment %d transported into channels this event: %10.2lf m3\n", k,
                 at(m.event_sed_to_chan, size_t(k)));
  std::fputc('\n', f);
  const channel_sediment_figures s{m.event_start_sand, m.event_sand_to_chan, m.event_sand_to_lakes, m.event_sand_out,
                                   channel_sand_volume(m), m.event_start_wash, at(m.event_sed_to_chan, 0),
                                   over_lakes(m, m.event_chan_ss_to_lake), over_lakes(m, m.event_lake_ss_to_chan),
                                   m.event_wash_out, channel_wash_volume(m)};
  std::fprintf(f, "Initial volume of sand in channels:        %16.8lf m3\n", s.sand_initial);
  std::fprintf(f, "Event sand to chan from overland:          %16.8lf m3\n", s.sand_in);
  if (m.lakes_on) std::fprintf(f, "Event sand from chan to lakes:             %16.8lf m3\n", s.sand_to_lakes);
  std::fprintf(f, "Event sand outlet discharge:               %16.8lf m3\n", s.sand_out);
  std::fprintf(f, "Final sand in channels:                    %16.8lf m3\n", s.sand_final);
  std::fputc('\n', f);
  std::fprintf(f, "Initial wash load in suspension:           %16.8lf m3 \n", s.wash_initial);
  std::fprintf(f, "Event wash-load to chan from overland:     %16.8lf m3\n", s.wash_in);
  if (m.lakes_on) {
    std::fprintf(f, "Event wash-load from chan to lakes :       %16.8lf m3\n", s.wash_to_lakes);
    std::fprintf(f, "Event wash-load from lake to chan:         %16.8lf m3\n", s.wash_from_lakes);
  }
  std::fprintf(f, "Event wash-load outlet discharge:          %16.8lf m3\n", s.wash_out);
  std::fprintf(f, "Final wash-load remaining in suspension:   %16.8lf m3\n", s.wash_final);
  std::fputc('\n', f);
  std::fprintf(f, "Maximum rate of wash-load discharge: %16.8lf cms\n", m.max_wash_outflow_rate);
  const channel_sediment_errors e = channel_sediment_balance(m, s);
  std::fputc('\n', f);
  put_line(f, "Event channel sediment mass-balance:");
  std::fprintf(f, "Mass conservation error for wash load:     %10.6lf percent\n", e.wash);
  std::fprintf(f, "Mass conservation error for sand load:     %10.6lf percent\n", e.sand);
  std::fprintf(f, "Overall channel sediment mass cons. error: %10.6lf percent\n", e.overall);
}

// Suspended wash load held in lake l (m3) and its concentration, volumetric and in mg/L.
struct lake_suspension {
  double volume = 0.0, conc = 0.0, mg_per_l = 0.0;
};

lake_suspension lake_suspended(const model_state& m, int l) {
  lake_suspension s;
  for (int k = 1; k <= classes_of(m); ++k) {
    if (is_sand(m, k)) continue;
    s.volume += at(m.SS_vol_lake, lake_class(m, l, k));
    s.conc += at(m.SS_conc_vol_lake, lake_class(m, l, k));
    s.mg_per_l += at(m.SS_conc_lake, lake_class(m, l, k));
  }
  return s;
}

void write_lake_concentration(std::FILE* f, const lake_suspension& s) {
  std::fprintf(f, "Suspended Sediment Concentration              %16.8lf cc/m3\n", s.conc * 1000000.0);
  std::fprintf(f, "Suspended Sediment Concentration              %16.8lf mg/L\n", s.mg_per_l);
  std::fputc('\n', f);
}

void write_event_lake_sediment(const model_state& m, std::FILE* f) {
  std::fputc('\n', f);
  put_line(f, "Lake Summary ");
  put_line(f, "Quanties are for this event ");
  std::fprintf(f, "Net wash-load into lakes from overland:                     %16.8lf m3\n",
               over_lakes(m, m.event_ov_ss_to_lake));
  std::fprintf(f, "Total wash-load settled in lakes:                           %16.8lf m3\n",
               over_lakes(m, m.event_lake_ss_settled));
  std::fprintf(f, "Total sand-load from upstream channel settled in lake bed:  %16.8lf m3\n",
               over_lakes(m, m.event_lake_sand_in));
  std::fprintf(f, "Total overland sand-load settled in lake boundaries:        %16.8lf m3\n",
               over_lakes(m, m.event_lake_depo_in));
  std::fputc('\n', f);
  for (int l = 1; l <= m.nlakes; ++l) {
    const size_t i = size_t(l);
    const lake_suspension s = lake_suspended(m, l);
    std::fprintf(f, "Summary for lake %d \n", l);
    put_line(f, "Quanties are for this event ");
    std::fprintf(f, "Initial vol of SS in lake:                  %16.8lf m3 \n", at(m.event_start_lake_ss, i));
    std::fprintf(f, "Event vol of SS from lake to chan           %16.8lf m3 \n", at(m.event_lake_ss_to_chan, i));
    std::fprintf(f, "Event vol of SS from chan to lake           %16.8lf m3 \n", at(m.event_chan_ss_to_lake, i));
    std::fprintf(f, "Event net vol of SS from overland to lake   %16.8lf m3 \n", at(m.event_ov_ss_to_lake, i));
    std::fprintf(f, "Event vol of SS settled in lake             %16.8lf m3 \n", at(m.event_lake_ss_settled, i));
    std::fprintf(f, "Total Suspended Sediment in lake            %16.8lf m3 \n", s.volume);
    std::fputc('\n', f);
    write_lake_concentration(f, s);
    std::fprintf(f, "Event sand settled into lake bottom:        %16.8lf m3 \n", at(m.event_lake_sand_in, i));
    std::fprintf(f, "Event sand settled in lake boundary:        %16.8lf m3 \n", at(m.event_lake_depo_in, i));
  }
}

void write_run_channel_sediment(const model_state& m, std::FILE* f) {
  put_line(f, "Channel sediment routing mass quantities");
  for (int k = 1; k <= classes_of(m); ++k)
    std::fprintf(f, "Total sediment %d transported into channels: %16.8lf m3\n", k,
                 at(m.ov_to_chan_sed_total, size_t(k)));
  std::fputc('\n', f);
  const channel_sediment_figures s{m.total_chan_sand_vol, m.sand_to_chan_total, m.sand_to_lakes_total,
                                   m.sand_out_total, channel_sand_volume(m), 0.0, at(m.ov_to_chan_sed_total, 0),
                                   over_lakes_wash(m, m.GLOBAL_SS_vol_chan_to_lake),
                                   over_lakes_wash(m, m.GLOBAL_SS_vol_lake_to_chan), m.wash_out_total,
                                   channel_wash_volume(m)};
  std::fprintf(f, "Initial volume of sand in channels:        %16.8lf m3\n", s.sand_initial);
  std::fprintf(f, "Total sand to chan from overland:          %16.8lf m3\n", s.sand_in);
  if (m.lakes_on) std::fprintf(f, "Total sand from chan to lakes:             %16.8lf m3\n", s.sand_to_lakes);
  std::fprintf(f, "Total sand outlet discharge:               %16.8lf m3\n", s.sand_out);
  std::fprintf(f, "Final sand in channels:                    %16.8lf m3\n", s.sand_final);
  std::fputc('\n', f);
  std::fprintf(f, "Total wash-load to chan from overland:     %16.8lf m3\n", s.wash_in);
  if (m.lakes_on) {
    std::fprintf(f, "Total wash-load from chan to lakes :       %16.8lf m3\n", s.wash_to_lakes);
    std::fprintf(f, "Total wash-load from lake to chan:         %16.8lf m3\n", s.wash_from_lakes);
  }
  std::fprintf(f, "Total wash-load outlet discharge:          %16.8lf m3\n", s.wash_out);
  std::fprintf(f, "Final wash-load remaining in suspension:   %16.8lf m3\n", s.wash_final);
  const channel_sediment_errors e = channel_sediment_balance(m, s);
  std::fputc('\n', f);
  put_line(f, "Total channel sediment mass-balance:");
  std::fprintf(f, "Mass conservation error for wash load:     %10.6f percent\n", e.wash);
  std::fprintf(f, "Mass conservation error for sand load:     %10.6lf percent\n", e.sand);
  std::fprintf(f, "Overall channel sediment mass cons. error: %10.6lf percent\n", e.overall);
}

void write_run_lake_sediment(const model_state& m, std::FILE* f) {
  double net_in = 0.0;
  for (int l = 1; l <= m.nlakes; ++l)
    net_in += at(m.GLOBAL_sed_vol_overland_to_lake, lake_class(m, l, 0));
  std::fputc('\n', f);
  put_line(f, "Lake Summary ");
  std::fprintf(f, "Net wash-load into lakes from overland:                     %10.1lf m3\n", net_in);
  std::fprintf(f, "Total wash-load settled in lakes:                           %10.1lf m3\n",
               over_lakes_wash(m, m.GLOBAL_SS_vol_lake_settled));
  std::fprintf(f, "Total sand-load from upstream channel settled in lake bed:  %10.1lf m3\n",
               over_lakes(m, m.tot_lake_sand_in));
  std::fprintf(f, "Total overland sand-load settled in lake boundaries:        %10.1lf m3\n",
               over_lakes(m, m.tot_lake_depo_in));
  std::fputc('\n', f);
  for (int l = 1; l <= m.nlakes; ++l) {
    const size_t z = lake_class(m, l, 0);
    const lake_suspension s = lake_suspended(m, l);
    std::fprintf(f, "Summary for lake %d \n", l);
    std::fputc('\n', f);
    std::fprintf(f, "Total vol of SS from lake to chan           %16.8lf m3 \n", at(m.GLOBAL_SS_vol_lake_to_chan, z));
    std::fprintf(f, "Total vol of SS from chan to lake           %16.8lf m3 \n", at(m.GLOBAL_SS_vol_chan_to_lake, z));
    std::fprintf(f, "Total net vol of SS from overland to lake   %16.8lf m3 \n",
                 at(m.GLOBAL_sed_vol_overland_to_lake, z));
    std::fprintf(f, "Total vol of SS settled in lake             %16.8lf m3 \n", at(m.GLOBAL_SS_vol_lake_settled, z));
    std::fprintf(f, "Total Suspended Sediment in lake            %16.8lf m3 \n", s.volume);
    std::fputc('\n', f);
    write_lake_concentration(f, s);
    std::fprintf(f, "Total sand settled into lake bottom:        %16.8lf m3 \n", at(m.tot_lake_sand_in, size_t(l)));
    std::fprintf(f, "Total sand settled in lake boundary:        %16.8lf m3 \n", at(m.tot_lake_depo_in, size_t(l)));
  }
}

bool overland_sediment_on(const model_state& m) {
  return m.soil_erosion_on && m.ov_sed && m.ov_sed->sed_constituent_mode == 1;
}

bool channel_sediment_on(const model_state& m) { return m.chan_sed_transport_on && m.ov_sed; }

}  // namespace

double channel_sand_volume(const model_state& m) {
  if (!m.ov_sed) return 0.0;
  const size_t slots = size_t(classes_of(m)) + 2;
  double sum = 0.0;
  for (int link = 1; link <= m.nlinks; ++link) {
    if (m.ltype[size_t(link)] & (lake_bit | structure_bit)) continue;
    for (int node = 1; node <= m.nx[size_t(link)]; ++node)
      sum += at(m.ch_sand_vol, size_t(link * m.chan_node_extent + node) * slots);
  }
  return sum;
}

double channel_wash_volume(const model_state& m) {
  if (!m.ov_sed) return 0.0;
  const size_t slots = size_t(classes_of(m)) + 1;
  double sum = 0.0;
  for (int link = 1; link <= m.nlinks; ++link) {
    if (m.ltype[size_t(link)] & (lake_bit | structure_bit)) continue;
    for (int node = 1; node <= m.nx[size_t(link)]; ++node)
      for (int k = 1; k <= classes_of(m); ++k)
        if (!is_sand(m, k)) sum += at(m.ch_wash_vol, size_t(link * m.chan_node_extent + node) * slots + size_t(k));
  }
  return sum;
}

void sum_event_sediment(model_state& m) {
  if (!m.soil_erosion_on || !m.ov_sed) return;
  ov_sed_record& s = *m.ov_sed;
  const int n = s.num_sed_classes;
  if (s.tot_sed.size() < size_t(n + 1) * 5) s.tot_sed.assign(size_t(n + 1) * 5, 0.0);
  for (int k = 0; k <= n; ++k)
    for (int layer = 0; layer <= 4; ++layer) s.tot_sed[size_t(k) * 5 + size_t(layer)] = 0.0;
  if (s.vol_sed.size() < s.cell_class_layer(m.cell_count, n, 4) + 1) return;
  // In cell order, so the totals are the same on any thread count.
  for (int c = 1; c <= m.cell_count; ++c) {
    const bool in_lake = m.lakes_on && size_t(c) < m.lake_mask.size() && m.lake_mask[size_t(c)] > 0;
    for (int k = 1; k <= n; ++k) {
      if (in_lake && s.sand[size_t(k)] == 0) continue;
      for (int layer = 1; layer <= 4; ++layer) s.tot_sed[size_t(k) * 5 + size_t(layer)] += s.vol_sed[s.cell_class_layer(c, k, layer)];
    }
  }
}

void write_event_transport_blocks(model_state& m, std::FILE* f) {
  write_event_constituent_blocks(m, f);
  if (!m.soil_erosion_on) return;
  if (overland_sediment_on(m)) write_overland_sediment(m, f, true);
  if (!channel_sediment_on(m)) return;
  write_event_channel_sediment(m, f);
  if (m.lakes_on) write_event_lake_sediment(m, f);
  std::fputc('\n', f);
}

void start_event_sediment(model_state& m) {
  // The erosion a contaminant step has not yet taken up belongs to the event that ended; the
  // overland layers themselves are state and run on, so the summary's overland block is a
  // running total.
  if (m.ov_sed) std::fill(m.ov_sed->ov_sed_vol_eroded.begin(), m.ov_sed->ov_sed_vol_eroded.end(), 0.0);
  if (!channel_sediment_on(m)) return;
  for (auto* v : {&m.event_sed_to_chan, &m.event_attached_to_chan, &m.event_lake_ss_to_chan, &m.event_chan_ss_to_lake,
                  &m.event_ov_ss_to_lake, &m.event_lake_ss_settled, &m.event_lake_sand_in, &m.event_lake_depo_in})
    std::fill(v->begin(), v->end(), 0.0);
  m.event_sand_to_chan = m.event_sand_out = m.event_wash_out = m.event_sand_to_lakes = 0.0;
  m.event_start_sand = channel_sand_volume(m);
  m.event_start_wash = channel_wash_volume(m);
  for (int l = 1; l <= m.nlakes && size_t(l) < m.event_start_lake_ss.size(); ++l)
    m.event_start_lake_ss[size_t(l)] = lake_suspended(m, l).volume;
}

void write_new_bed_elevations(model_state& m) {
  checked_file out;
  const char* name = "new_bed_elevations.txt";
  if (!checked_file_open(out, name, 'w')) {
    stop_run("Can't open the file for printing updated bed elevations: %s", name);
    return;
  }
  std::FILE* f = out.stream;
  put_line(f, "Link Node  New Elev(m) Old ELev (m) struct_flag: 0 no structure, 1 - structure, 2 - lake ");
  for (int link = 1; link <= m.nlinks; ++link) {
    const int type = m.ltype[size_t(link)];
    if (type & lake_bit) {
      std::fprintf(f, "Link %5ld is a lake %5ld  \n", long(link), 2L);
      continue;
    }
    const long structure = (type & structure_bit) ? 1 : 0;
    for (int node = 1; node <= m.nx[size_t(link)]; ++node) {
      const size_t key = size_t(link * m.chan_node_extent + node);
      if (m.adjust_channel_bed_on == 1)
        std::fprintf(f, "%ld %ld %10.3lf %10.3lf %ld \n", long(link), long(node), at(m.bel, key), at(m.org_bel, key),
                     structure);
      else
        std::fprintf(f, "%ld %ld %10.3lf %10.3lf  %ld \n", long(link), long(node), at(m.new_bel, key),
                     at(m.org_bel, key), structure);
    }
  }
  checked_file_close(out);
}

void write_run_transport_summaries(model_state& m, std::FILE* f) {
  if (overland_sediment_on(m)) write_overland_sediment(m, f, false);
  if (channel_sediment_on(m)) {
    write_run_channel_sediment(m, f);
    if (m.lakes_on) write_run_lake_sediment(m, f);
    write_new_bed_elevations(m);
  }
  write_run_constituent_summaries(m, f);
}

}  // namespace pluvo
