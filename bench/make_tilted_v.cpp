// Writes a synthetic tilted-V catchment project: two planes falling toward a central
// valley that falls toward the outlet at the bottom edge. With the default 1000 x 1000
// cells it is one million cells of overland flow under uniform rain, routed by the scheme
// named (the OVERTYPE words explicit, ade or ade-pc; explicit by default). With "ga" the soil
// takes the rain by Green and Ampt (one clay loam, through a mapping table). With "channel" a
// stream runs down the valley to the outlet, routed by the explicit channel scheme.
//   make_tilted_v <folder> [cells per side] [scheme] [ga] [channel]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "stream_network.hpp"

namespace {

enum class grid_kind { mask, elevation, soil_index };

bool write_grid(const std::string& path, int side, double dx, grid_kind kind) {
  std::FILE* f = std::fopen(path.c_str(), "w");
  if (!f) {
    std::fprintf(stderr, "Cannot write %s\n", path.c_str());
    return false;
  }
  std::fprintf(f, "north: %.2f\nsouth: %.2f\neast: %.2f\nwest: %.2f\nrows: %d\ncols: %d\n",
               side * dx, 0.0, side * dx, 0.0, side, side);
  const int valley = side / 2;
  for (int r = 0; r < side; r++) {
    for (int c = 0; c < side; c++) {
      if (c) std::fputc(' ', f);
      if (kind != grid_kind::elevation) {
        std::fputs("1", f);
      } else {
        // Side slopes of 2 % toward the valley, the valley falling 0.5 % toward row side-1.
        const double z = 0.02 * dx * std::abs(c - valley) + 0.005 * dx * (side - 1 - r) + 100.0;
        std::fprintf(f, "%.3f", z);
      }
    }
    std::fputc('\n', f);
  }
  return std::fclose(f) == 0;
}

// One soil class: a clay loam, its Green and Ampt parameters and a moist start, so that
// the storm ponds after about three minutes and runs off.
bool write_soil_table(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "w");
  if (!f) {
    std::fprintf(stderr, "Cannot write %s\n", path.c_str());
    return false;
  }
  std::fputs("PLUVO_INDEX_MAP_TABLES\nINDEX_MAP tiltv.idx \"Soil texture\"\n\n"
             "GREEN_AMPT_INFILTRATION \"Soil texture\"\nNUM_IDS 1\n"
             "    ID  Description                                                                     Ks(cm/h) Hc(cm) porosity pore-index residual field-cap wilting\n"
             "     1  Clay loam                                                                     0.10 20.88 0.464 0.242 0.075 0.318 0.197\n\n"
             "GREEN_AMPT_INITIAL_SOIL_MOISTURE \"Soil texture\"\nNUM_IDS 1\n"
             "    ID  Description                                                                     Initial moisture\n"
             "     1  Clay loam                                                                     0.35\n",
             f);
  return std::fclose(f) == 0;
}

bool write_text(const std::string& path, const std::string& text) {
  std::FILE* f = std::fopen(path.c_str(), "w");
  if (!f) {
    std::fprintf(stderr, "Cannot write %s\n", path.c_str());
    return false;
  }
  const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && ok;
}

// The valley's stream: every cell that drains at least a row of the grid, which on the tilted
// V is the valley line alone. Writes the channel input, grid-stream, link and node files.
bool write_valley_channel(const std::string& dir, int side) {
  using namespace pluvo::netgen;
  ascii_grid mask, elevation;
  stream_network net;
  std::string error;
  network_options options;
  options.threshold = side;
  if (!read_ascii_grid(dir + "/tiltv.msk", mask, error) || !read_ascii_grid(dir + "/tiltv.ele", elevation, error) ||
      !build_stream_network(mask, elevation, options, net, error)) {
    std::fprintf(stderr, "make_tilted_v: %s\n", error.c_str());
    return false;
  }
  return write_text(dir + "/tiltv.chn", channel_file_text(net)) &&
         write_text(dir + "/tiltv.stm", grid_stream_file_text(net)) &&
         write_text(dir + "/tiltv.lnk", link_map_text(net)) && write_text(dir + "/tiltv.nod", node_map_text(net));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: make_tilted_v <folder> [cells per side] [explicit|ade|ade-pc] [ga] [channel]\n");
    return 1;
  }
  const std::string dir = argv[1];
  const int side = argc > 2 ? std::atoi(argv[2]) : 1000;
  if (side < 3) {
    std::fprintf(stderr, "cells per side must be at least 3\n");
    return 1;
  }
  std::string scheme = "explicit";
  bool green_ampt = false;
  bool channel = false;
  for (int a = 3; a < argc; a++) {
    const std::string word = argv[a];
    if (word == "ga") green_ampt = true;
    else if (word == "channel") channel = true;
    else scheme = word;
  }
  if (scheme != "explicit" && scheme != "ade" && scheme != "ade-pc") {
    std::fprintf(stderr, "the scheme must be explicit, ade or ade-pc\n");
    return 1;
  }
  const double dx = 10.0;
  if (!write_grid(dir + "/tiltv.msk", side, dx, grid_kind::mask) ||
      !write_grid(dir + "/tiltv.ele", side, dx, grid_kind::elevation))
    return 1;
  if (green_ampt && (!write_grid(dir + "/tiltv.idx", side, dx, grid_kind::soil_index) ||
                     !write_soil_table(dir + "/tiltv.cmt")))
    return 1;
  if (channel && !write_valley_channel(dir, side)) return 1;
  std::FILE* p = std::fopen((dir + "/tiltv.prj").c_str(), "w");
  if (!p) {
    std::fprintf(stderr, "Cannot write %s/tiltv.prj\n", dir.c_str());
    return 1;
  }
  std::fprintf(p,
               "PLUVOPROJECT\n"
               "WATERSHED_MASK tiltv.msk\n"
               "ELEVATION tiltv.ele\n"
               "GRIDSIZE %.1f\nROWS %d\nCOLS %d\nOUTROW %d\nOUTCOL %d\nOUTSLOPE 0.005\n"
               "MANNING_N 0.05\nOVERTYPE %s\n"
               "TOT_TIME 30\nTIMESTEP 10\nHYD_FREQ 1\nMAP_FREQ 60\n"
               "START_DATE 2026 6 1\nSTART_TIME 12 0\nPRECIP_UNIF\nRAIN_INTENSITY 25\nRAIN_DURATION 30\n"
               "SUMMARY tiltv.sum\nOUTLET_HYDRO tiltv.otl\n",
               dx, side, side, side, side / 2 + 1, scheme.c_str());
  if (green_ampt) std::fputs("MAPPING_TABLE tiltv.cmt\nGREEN_AMPT\n", p);
  if (channel)
    std::fputs("CHAN_EXPLIC\nCHANNEL_INPUT tiltv.chn\nSTREAM_CELL tiltv.stm\nLINKS tiltv.lnk\nNODES tiltv.nod\n", p);
  std::fclose(p);
  std::printf("%d cells written to %s/tiltv.prj\n", side * side, dir.c_str());
  return 0;
}
