#pragma once
// The strip watershed over an aquifer: subsurface links whose upper reach starts 20 cm deep over a
// low water table (it loses) and whose outlet reach lies under a high one (it gains), soil-moisture
// accounting above the table and the groundwater solver below.
#include <string>

#include "channel/strip_channel.hpp"
#include "run/whole_project.hpp"

namespace pluvo_test {

// Writes the channel, hotstart, aquifer and soil inputs; returns their cards, to follow
// strip_cards().
inline std::string write_aquifer_strip() {
  write_file("c.chn", subsurface_network);
  write_file("c.stm", subsurface_stream);
  write_file("h.lst", "1 1 0.2 0.0\n1 2 0.2 0.0\n");
  write_file("wt.map", std::string(strip_header()) + "8.0 8.0 9.9\n8.0 8.2 9.85\n");
  write_file("bot.map", strip_map("0"));
  write_file("gwb.map", std::string(strip_header()) + "4 4 4\n1 1 1\n");
  return "CHAN_EXPLIC\nCHANNEL_INPUT c.chn\nSTREAM_CELL c.stm\nREAD_CHAN_HOTSTART h.lst\nHOTSTART_IS_DEPTH\n" +
         redistribution_soil("0.15") +
         "WATER_TABLE wt.map\nAQUIFER_BOTTOM bot.map\nGW_SIMULATION\nSTREAM_LOSS\nGW_BOUNDFILE gwb.map\n"
         "GW_UNIF_HYCOND 0.36\nGW_UNIF_POROSITY 0.45\nGW_TIMESTEP 60\nGW_LSOR_CON 1e-13\nGW_RELAX_COEFF 1.2\n";
}

}  // namespace pluvo_test
