// Overland lakes: the lake file, and the extent of every lake following its volume once per
// step. A lake is a set of cells under one flat water surface; cells whose water surface the
// rising lake reaches join it with their ponded water, cells it uncovers while falling leave.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "common/error_state.hpp"
#include "common/line_reader.hpp"
#include "overland/card_word.hpp"
#include "overland/overland_lakes.hpp"
#include "overland/overland_phases.hpp"
#include "record/model_state.hpp"

namespace pluvo {

namespace {

constexpr double level_tolerance = 0.0001;  // m: surfaces closer than this form one level
constexpr double dead_band = 1e-10;          // m: smaller level changes leave the lake alone

const char* lake_kind_name(int kind) { return kind == 2 ? "channel" : "overland"; }

// One cell a lake may take or give up, with the height that orders it.
struct lake_candidate {
  double key;
  int cell;
};

// Candidates grouped into levels: every candidate within level_tolerance of the first of its
// group stands at that first one's height. Returns the group ends (one past the last index).
std::vector<size_t> level_group_ends(const std::vector<lake_candidate>& c) {
  std::vector<size_t> ends;
  size_t first = 0;
  for (size_t i = 1; i <= c.size(); i++)
    if (i == c.size() || std::fabs(c[i].key - c[first].key) >= level_tolerance) {
      ends.push_back(i);
      first = i;
    }
  return ends;
}

// The neighbours across the faces of lake l's cells that are active, outside every lake and not
// behind a dike, whose water surface lies below z; each cell once, lowest surface first.
std::vector<lake_candidate> growth_candidates(const lake_grid& g, int l, double z) {
  std::vector<lake_candidate> c;
  for (int i = 1; i <= g.n; i++) {
    if (g.lake_new[i] != l) continue;
    const int nbs[4] = {g.above[i], g.right[i], g.below[i], g.left[i]};
    for (int f = 0; f < 4; f++) {
      const int nb = nbs[f];
      if (nb <= 0 || g.lake_new[nb] != 0) continue;
      if (g.dike && (g.dike[i] & (1 << f))) continue;
      const double s = g.z[nb] + g.h[nb];
      if (s < z) c.push_back({s, nb});
    }
  }
  std::sort(c.begin(), c.end(), [](const lake_candidate& a, const lake_candidate& b) {
    return a.key < b.key || (a.key == b.key && a.cell < b.cell);
  });
  c.erase(std::unique(c.begin(), c.end(),
                      [](const lake_candidate& a, const lake_candidate& b) { return a.cell == b.cell; }),
          c.end());
  return c;
}

// Rising lake: walks the candidate levels as far as dV reaches and takes the cells of every
// level reached. The new level is set from the water of the lake and of the cells it takes, so
// the lake's volume over its ground is exactly what it held plus dV plus their ponded water.
void grow_lake(lake_grid& g, int l, overland_lake_record& r, double dv, double& added) {
  const double a = g.dx * g.dx;
  const int n = r.lake_cell_count;
  const double z0 = r.wse;
  const std::vector<lake_candidate> c = growth_candidates(g, l, z0 + dv / (n * a));
  size_t taken = 0;
  if (!c.empty()) {
    const std::vector<size_t> ends = level_group_ends(c);
    double v = (c[0].key - z0) * n * a;  // volume that raises the lake to the first level
    size_t k = 0;
    while (k + 1 < ends.size()) {
      const double here = c[k == 0 ? 0 : ends[k - 1]].key, next = c[ends[k]].key;
      const double step = (next - here) * double(ends[k] + size_t(n)) * a;
      if (v + step > dv) break;
      v += step;
      k++;
    }
    taken = ends[k];
  }
  double surfaces = 0.0, ponded = 0.0;
  for (size_t j = 0; j < taken; j++) {
    const int cell = c[j].cell;
    surfaces += c[j].key;
    ponded += g.h[cell] * a;
    g.lake_new[cell] = l;
    g.h[cell] = 0.0;
  }
  r.lake_cell_count = n + int(taken);
  r.wse = (n * z0 + dv / a + surfaces) / double(r.lake_cell_count);
  r.volume += dv + ponded;
  added += dv + ponded;
}

// Falling lake: the cells beyond its initial extent whose ground the falling level uncovers
// leave it, highest ground first; the cells of the initial extent stay and the level falls with
// the volume. The schemes' faces take no water below the initial level (olake_release).
void shrink_lake(lake_grid& g, int l, overland_lake_record& r, double dv, double& drained) {
  const double a = g.dx * g.dx;
  const int n = r.lake_cell_count;
  const double z0 = r.wse;
  drained -= dv;
  std::vector<lake_candidate> c;
  for (int i = 1; i <= g.n; i++)
    if (g.lake_new[i] == l && g.lake_mask[i] != l) c.push_back({g.z[i], i});
  std::sort(c.begin(), c.end(), [](const lake_candidate& x, const lake_candidate& y) {
    return x.key > y.key || (x.key == y.key && x.cell < y.cell);
  });
  size_t leaving = 0;
  if (!c.empty() && c[0].key > z0 + dv / (n * a)) {
    const std::vector<size_t> ends = level_group_ends(c);
    double v = (z0 - c[0].key) * n * a;  // volume released by lowering the lake to the first level
    size_t k = 0;
    while (k + 1 < ends.size()) {
      const double here = c[k == 0 ? 0 : ends[k - 1]].key, next = c[ends[k]].key;
      const double step = (here - next) * double(n - int(ends[k])) * a;
      if (v + step > -dv) break;
      v += step;
      k++;
    }
    leaving = ends[k];
  }
  double grounds = 0.0;
  for (size_t j = 0; j < leaving; j++) {
    grounds += c[j].key;
    g.lake_new[c[j].cell] = 0;
  }
  r.lake_cell_count = n - int(leaving);
  // What the leaving cells held above their ground stays with the lake.
  r.wse = z0 + (dv + (double(leaving) * z0 - grounds) * a) / (r.lake_cell_count * a);
  r.volume += dv;
}

}  // namespace

// The values of a LAKE card may follow its word after a comma.
int is_lake_card(char* line) { return take_card_word(line, " \t\n,") == "lake" ? 0 : 1; }

void read_lake_file(checked_file& file, int kind, int count, std::vector<overland_lake_record>& lakes) {
  std::vector<char> buffer(line_buffer_size);
  char* line = buffer.data();
  const char* const card = kind == 2 ? "pluvo_channel_lake_file" : "pluvo_overland_lake_file";
  const bool has_line = read_line(line, file) != 0;
  const std::string word = has_line ? take_card_word(line) : std::string();
  // A shortened card word counts; an empty first line does not.
  if (has_line && (word.empty() || word.size() > std::string(card).size() ||
                   std::string(card).compare(0, word.size(), word) != 0)) {
    stop_run("The overland lake input data file doesn't start with\n%s"
             "The file format is invalid.  Program terminated.\n",
             kind == 2 ? " PLUVO_CHANNEL_LAKE_FILE card.\n" : " PLUVO_OVERLAND_LAKE_FILE card.\n");
    return;
  }
  int cards = 0;
  while (has_line && read_line(line, file)) {
    if (is_lake_card(line) != 0) continue;
    int32_t number = 0;
    double elevation = 0.0, volume = 0.0;
    next_int(line, number);
    next_double(line, elevation);
    next_double(line, volume);
    if (number < 1 || number > count || size_t(number) >= lakes.size()) {
      stop_run("Error: LAKE card %d of the %s lake file %s names lake %d; the lake map has lakes 1 to %d.\n"
               "Program terminated.\n",
               cards + 1, lake_kind_name(kind), file.path.c_str(), number, count);
      return;
    }
    ++cards;
    lakes[size_t(number)].wse = elevation;
    lakes[size_t(number)].initial_wse = elevation;
    lakes[size_t(number)].volume = volume;
    std::printf("%d   Elev: %.2lf   Volume: %.2lf\n", cards, elevation, volume);
  }
  if (cards == 0) {
    stop_run("Premature end-of-file in the %s lake input data file.\n"
             "No LAKE cards encountered before end of file.\nProgram terminated.\n",
             lake_kind_name(kind));
    return;
  }
  if (cards != count)
    stop_run("Incorrect number of LAKE cards in the %s lake input data file.\n"
             "Expected %d LAKE cards, read %d\nProgram terminated.\n",
             lake_kind_name(kind), count, cards);
}

void olake_extent(lake_grid& g, std::vector<overland_lake_record>& lakes, int count, double& added,
                  double& drained) {
  const double a = g.dx * g.dx;
  for (int l = 1; l <= count && size_t(l) < lakes.size(); l++) {
    overland_lake_record& r = lakes[size_t(l)];
    const double dv = r.added_volume;
    const int n = r.lake_cell_count;
    if (n < 1 || std::fabs(dv / (n * a)) < dead_band) continue;
    if (dv > 0.0) {
      grow_lake(g, l, r, dv, added);
    } else {
      if (r.volume + dv < 0.0) {
        stop_run("Not enough volume in lake %d to satisfy drainage demand.\n"
                 "Program stopped in olake_extent.c\n",
                 l);
        return;
      }
      shrink_lake(g, l, r, dv, drained);
    }
  }
}

void olake_release_limits(model_state& m) {
  std::vector<double>& limit = m.olake_release_limit;
  limit.assign(size_t(std::max(m.overland_lake_count, 0)) + 1, 0.0);
  const double area = m.cell_size * m.cell_size;
  for (int i = 1; i <= m.cell_count; i++) {
    const int l = m.oland_lake_new[size_t(i)];
    if (l <= 0 || size_t(l) >= limit.size() || size_t(l) >= m.overland_lake_records.size()) continue;
    const overland_lake_record& r = m.overland_lake_records[size_t(l)];
    // Water below the outlet level, or below a cell's ground, stays in the hollow.
    const double floor = std::max(m.elevation[size_t(i)], r.initial_wse);
    if (r.wse > floor) limit[size_t(l)] += (r.wse - floor) * area;
  }
}

double olake_release(model_state& m, int l, double volume) {
  if (l <= 0 || size_t(l) >= m.olake_release_limit.size()) return volume;
  double& limit = m.olake_release_limit[size_t(l)];
  if (volume <= 0.0) {
    limit -= volume;
    return volume;
  }
  const double given = std::min(volume, std::max(limit, 0.0));
  limit -= given;
  return given;
}

void update_overland_lake_extent(model_state& m) {
  if (!m.overland_lakes_on || !m.olake_extent_update) return;
  const int n = m.cell_count;
  if (m.oland_lake_new.size() <= size_t(n) || m.oland_lake_mask.size() <= size_t(n) ||
      m.overland_lake_records.size() <= size_t(std::max(m.overland_lake_count, 0)))
    return;  // no lake map was read
  lake_grid g{n,
              m.cell_size,
              m.elevation.data(),
              m.ov_depth.data(),
              m.abovecon.data(),
              m.rightcon.data(),
              m.belowcon.data(),
              m.leftcon.data(),
              m.oland_lake_mask.data(),
              m.oland_lake_new.data(),
              m.dike_map_on && m.dike_mask.size() > size_t(n) ? m.dike_mask.data() : nullptr};
  olake_extent(g, m.overland_lake_records, m.overland_lake_count, m.olake_added_volume,
               m.olake_drained_volume);
  for (overland_lake_record& r : m.overland_lake_records) r.added_volume = 0.0;
  m.olake_extent_update = 0;
  // What the lakes hold over their ground once their extents follow the step's water.
  const double area = m.cell_size * m.cell_size;
  double stored = 0.0;
  for (int i = 1; i <= n; i++) {
    const int l = m.oland_lake_new[size_t(i)];
    if (l > 0) stored += (m.overland_lake_records[size_t(l)].wse - m.elevation[size_t(i)]) * area;
  }
  m.olake_stored_volume = stored;
}

}  // namespace pluvo
