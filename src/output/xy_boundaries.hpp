#pragma once
// XY boundary files of nested runs: the inputs an inset run reads at card time and imposes on its
// boundary cells, and the outputs an outer run writes for it.
#include <cstdio>
#include <string>
#include <vector>

#include "record/coupling_state.hpp"

namespace pluvo {

struct model_state;
struct option_files_block;

// Card codes of the XYBDYINPUT_* cards.
constexpr int xybdyinput_ovdep = 455;
constexpr int xybdyinput_gwhead = 456;
constexpr int xybdyinput_stflow = 457;
constexpr int xybdyinput_sttimeseries = 458;
constexpr int xybdyinput_gwheadinterp = 459;
constexpr int xybdyinput_ovdepthinterp = 460;
constexpr int xybdyinput_ov_stage_interp = 461;

// The reader of an XYBDYINPUT_* card, run the moment the card is read.
void read_xy_boundary_input(int code, const char* name, option_files_block& o);

// Cell form (cell_form true) or x/y form of an XY boundary file: its points are appended to
// points, their series to the time-series list; head takes the first series of the file.
void read_xy_boundary_file(xy_input& xy, const char* name, const char* kind, const char* header,
                           time_series*& head, std::vector<xy_point>& points, bool cell_form);
void read_xy_stream_boundary_file(xy_input& xy, const char* name);
void read_xy_stream_ts_file(xy_input& xy, const char* name);

// Ascending sort of index[first..last] by keys[index].
void sort_index_by_key(const std::vector<double>& keys, std::vector<int>& index, int first, int last);

// One entry per cell whose code is 8, holding the nearest (at most 5) interpolation points.
void build_interp_cells(const std::vector<xy_point>& sources, const int32_t* code, int cell_count,
                        const double* cell_x, const double* cell_y, std::vector<xy_interp_cell>& cells);

// The weighted mean of the series at t.
double weighted_series_value(const std::vector<time_series*>& series, const std::vector<double>& weights, int count,
                             double t);

// The depth (or, for the stage form, the water surface above ground) of every boundary cell at
// t; gain and loss are the m3 the imposed values added and removed.
void apply_ov_xy_boundary(const xy_input& xy, double* depth, double dx, double& gain, double& loss, double t);
void apply_ov_xy_stage_boundary(const xy_input& xy, double* depth, const double* ground, double dx, double& gain,
                                double& loss, double t);
// The heads of the groundwater boundary cells at t; volumes scaled by factor (the storage).
void apply_gw_xy_boundary(const xy_input& xy, double* head, const double* factor, double dx, double& gain,
                          double& loss, double t);

// Stream inputs from the stream file take the link and node of the nearest pair of nodes.
void match_stream_xy_inputs(xy_input& xy, int nlinks, const std::vector<int32_t>& nx1,
                            const std::vector<int32_t>& ltype, const std::vector<double>& lnx,
                            const std::vector<double>& lny, int node_extent);

// Outputs.
// The outer grid a point is located on.
struct xy_grid {
  double north = 0.0;
  double west = 0.0;
  int rows = 0;
  int cols = 0;
  double size = 0.0;
  const grid<int>* cells = nullptr;  // cell number, 0 outside
};
int grid_cell_of_xy(const xy_grid& g, double x, double y);
void locate_xy_point(xy_output_point& p, const xy_grid& g);
double xy_point_value(const xy_output_point& p, const double* values);
void read_xy_output_points(std::vector<xy_output_point>& points, const std::string& name);
void read_xy_output_mask(xy_output& out, const std::string& name);
bool is_mask_edge_cell(const inset_mask& mask, int row, int col);
void find_inset_crossings(xy_output& out, const std::string& channel_file);
void write_xy_output_header(const std::vector<xy_output_point>& points, std::FILE* f, const char* header);
void write_xy_stream_header(const std::vector<xy_output_point>& crossings, std::FILE* f);
void close_xy_outputs(xy_output& out);

}  // namespace pluvo
