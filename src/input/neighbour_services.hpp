#pragma once
// Operations of other families that the input readers call while they set a run up.
// Why a table and not a call: the process families read their own grids through input's map
// readers, so input sits below them and a direct call would close a cycle. The run library
// fills the table once, when the program starts; until then every entry does nothing and
// gives 0 (or -1 where that means "none"), or is null where the caller must say so.
#include <string>
#include <vector>

#include "common/checked_file.hpp"

namespace pluvo {

struct model_state;
struct option_files_block;
struct lowspot_record;
struct map_series_writer;
struct drain_network_record;
struct linknode_series_writer;

struct neighbour_service_table {
  // Cards whose file another family reads the moment the card is met; null: not built.
  void (*elevation_series_file)(const char* name) = nullptr;
  // XY boundary input: card code 455 to 461 and the file the card names, into the block's record.
  void (*xy_boundary_input)(int code, const char* name, option_files_block& o) = nullptr;

  // Overland: fills count and records 1..count from the open LOWSPOT file; the caller closes it.
  void (*read_lowspot_file)(checked_file& file, const std::string& name, int& count,
                            std::vector<lowspot_record>& records) =
      [](checked_file&, const std::string&, int&, std::vector<lowspot_record>&) {};
  // Elevation series (common/elevation_series.hpp): position in the list of the series named
  // name, else of the first whose name begins with it; -1 when there is none.
  int (*find_elevation_series)(const char* name) = [](const char*) { return -1; };
  // Overland: a channel pump from the rest of a PUMPTO line (two integers, ELEV or TS, a series
  // name) for link `link` of type `link_type`; its 1-based handle in the pump list, 0 for none.
  int (*read_channel_pump)(char* rest_of_line, int link, int link_type) = [](char*, int, int) { return 0; };

  // Channel: after an event, the sections follow the bed change of the erodible links.
  void (*follow_channel_bed_change)(model_state& m) = [](model_state&) {};

  // Output: weights of the overland and the groundwater XY boundary points over the cells.
  void (*build_xy_weights)(model_state& m) = [](model_state&) {};
  void (*build_gw_xy_weights)(model_state& m) = [](model_state&) {};
  // Output: stores type, names, extensions, series number and dataset name in the writer, names
  // its file by name + extension and writes the dataset header where the type asks for one.
  void (*map_series_writer_open)(map_series_writer& w, int output_type, const std::string& name,
                                 const char* extension, const char* dataset_extension, int series_number,
                                 const std::string& dataset_name, model_state& m) =
      [](map_series_writer&, int, const std::string&, const char*, const char*, int, const std::string&,
         model_state&) {};
  // Output: a link/node series over the flat node values (and the lake values, may be null).
  void (*linknode_series_set_flat)(linknode_series_writer& w, int layout_code, const double* values,
                                   const double* lake_values, model_state& m) =
      [](linknode_series_writer&, int, const double*, const double*, model_state&) {};
  // Output: creates the file named base + part1 + part2 and writes the link/node header.
  void (*linknode_series_open)(linknode_series_writer& w, const std::string& base, const char* part1,
                               const char* part2, double scale) =
      [](linknode_series_writer&, const std::string&, const char*, const char*, double) {};

  // Soil: the Richards soil table (file positioned after its block header, or the
  // SOIL_LAYER_INPUT_FILE) and the layout of every cell's column; returns the node count.
  int (*read_richards_soil_table)(checked_file& file, int richards_scheme, model_state& m) =
      [](checked_file&, int, model_state&) { return 0; };
  // Soil: the initial node state of every Richards column.
  void (*init_richards_soil_columns)(model_state& m) = [](model_state&) {};
  // Soil: the permafrost soil table (file positioned after its block header) into gipl_state.
  int (*read_soil_temperature_input)(checked_file& file, model_state& m) =
      [](checked_file&, model_state&) { return 0; };
  // Soil: the multi-layer Green and Ampt table of SOIL_LAYER_INPUT_FILE into layered_soil_table.
  void (*read_layered_soil_table)(checked_file& file, model_state& m) = [](checked_file&, model_state&) {};
  // Soil: the Sacramento and conceptual groundwater parameter files.
  void (*read_sacramento_input)(checked_file& file, model_state& m) = [](checked_file&, model_state&) {};
  void (*read_conceptual_gw)(checked_file& file, model_state& m) = [](checked_file&, model_state&) {};

  // Groundwater: parse the superlink network file and the grid-pipe file (may be closed) into
  // the superlink fields of the record; failures set the error state. The caller closes both.
  void (*read_superlink_file)(checked_file& network, checked_file& grid_pipe, model_state& m) =
      [](checked_file&, checked_file&, model_state&) {};
  // Groundwater: the same for the storm-drain network into its record.
  void (*read_drain_network)(checked_file& network, checked_file& grid_pipe, drain_network_record& net,
                             model_state& m) = [](checked_file&, checked_file&, drain_network_record&, model_state&) {};

  // Groundwater: ties a permafrost column's nodes to the layers of the cell's layered soil.
  int (*build_gipl_layer_links)(int cell, model_state& m) = [](int, model_state&) { return 0; };
};

extern neighbour_service_table neighbour_services;

}  // namespace pluvo
