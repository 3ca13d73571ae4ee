#pragma once
// Mapping-table file (PLUVO_INDEX_MAP_TABLES) and its index maps: property tables of values per
// class id, each tied by name to an ASCII grid of class ids, spread onto the numbered cells.
// Offers: the keyword table (map_table_card_id / map_table_card_name), the table search
// (seek_map_table and the two unnamed searches), the count, header and row readers, the index
// map reader with its class histogram, the spreading onto cells, the TIME_SERIES_INDEX loader,
// the table check, the generic table reader read_index_map_table and its variants.
// Every reader opens the file by name, reads one table and closes what it opened before it
// returns; no table outlives the call that read it.
#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "common/checked_file.hpp"
#include "common/grid.hpp"

namespace pluvo {

struct model_state;

// Table ids of the keywords of the mapping-table file.
namespace map_table {
constexpr int roughness = 1;
constexpr int interception = 2;
constexpr int retention = 3;
constexpr int green_ampt_infiltration = 4;
constexpr int green_ampt_moisture = 5;
constexpr int richards_havercamp = 6;
constexpr int richards_brooks = 7;
constexpr int evapotranspiration = 8;
constexpr int sediments = 9;
constexpr int soil_erosion = 10;
constexpr int contaminants = 11;
constexpr int wetlands = 12;
constexpr int material_index = 13;
constexpr int overland_boundary = 14;
constexpr int time_series_index = 15;
constexpr int wells = 16;
constexpr int groundwater = 17;
constexpr int groundwater_boundary = 18;
constexpr int area_reduction = 19;
constexpr int tvx_n = 20;
constexpr int tvx_p = 21;
constexpr int tvx_c = 22;
constexpr int tvx_oth = 23;
constexpr int dispersion = 24;
constexpr int rough_exp = 33;
constexpr int ovr_flow_block = 34;
constexpr int bmps = 35;
constexpr int snow_canopy = 36;
constexpr int num_ids = 137;
constexpr int index_map = 138;
constexpr int num_contam = 139;
constexpr int num_sed = 140;
constexpr int multi_layer_soil = 201;
constexpr int rating_curves = 202;
constexpr int permafrost_soil = 203;
constexpr int num_con = 301;
}  // namespace map_table

// grid_table_presence holds one flag per table, at the table's id; the multi-layer soil table
// (id 201) has its flag at element 0, which no table id uses.
constexpr int grid_table_presence_size = 37;
int presence_slot(int id);

// The generic reader serves tables of at most this many value columns.
constexpr int max_generic_columns = 7;

// The id of the keyword the line begins with (case-sensitive, keyword length compared), or 0.
int map_table_card_id(const char* line);
// The keyword of an id, "" for an unknown id.
std::string map_table_card_name(int id);
// Number of values per row of a table in the generic row format, 0 for other ids.
int map_table_value_columns(int id);

// What every table reader needs of the run: the grid header fields it fills from the index map,
// the watershed mask, the project size, the summary file and the silent switch.
struct map_table_target {
  double* grid_north = nullptr;
  double* grid_south = nullptr;
  double* grid_east = nullptr;
  double* grid_west = nullptr;
  int* grid_rows = nullptr;
  int* grid_cols = nullptr;
  const grid<int>* cell_number_grid = nullptr;
  int project_rows = 0;
  int project_cols = 0;
  std::FILE* summary_fp = nullptr;  // may be null
  int silent_mode = 0;
};

// The target of the run held in m.
map_table_target map_table_target_of(model_state& m);

// Leaves file just after the header line of the block with table id and writes the block's
// index-map file name; 1 when found, 0 when the file is no mapping-table file, the block is
// missing or its name matches no INDEX_MAP line.
int seek_map_table(checked_file& file, int id, std::string& index_map_file);
// The same for SEDIMENTS and RATINGCURVES, whose headers carry no name.
int seek_sediments_block(checked_file& file);
int seek_rating_curves_block(checked_file& file);

// One line: the integer after NUM_IDS (NUM_SED, NUM_CON, NUM_CONTAM) when the line begins so,
// else 0; negative counts read as 0. The line is consumed either way.
int read_num_ids(checked_file& file);
int read_num_sed(checked_file& file);
int read_num_con(checked_file& file);
int read_num_contam(checked_file& file);

// Consumes the column-header line, and any stray keyword lines before it.
void skip_table_header_line(checked_file& file);

// One table row: id in columns 1-6, then count values from column 87 on. 0 when the id or a value
// could not be read (what was read stays), 1 otherwise.
int read_index_table(checked_file& file, int32_t& id, int count, double* values);

// Index grid of one map: rows x cols ids, element (i-1)*cols + (j-1) for map row i, column j.
struct index_grid {
  int rows = 0;
  int cols = 0;
  std::vector<int> ids;
  int at(int i, int j) const { return ids[size_t(i - 1) * size_t(cols) + size_t(j - 1)]; }
};

// Reads the open index map into ids (cells inside the mask only; others stay 0) and prints the
// class histogram. Inside the mask an id above max_id is error 71, one below min_id is refused
// with its row and column, and a map that ends early is error 70. false after a reported error.
bool read_index_map(checked_file& file, const std::string& name, const map_table_target& t,
                    index_grid& ids, int max_id, int min_id = 1);

// Spreads the values by id onto the numbered cells (elements 1..N of out), walking the mask.
// Cells whose id has no value (0, or beyond values_by_id) get 0.0.
void map_values_to_cells(std::vector<double>& out, const std::vector<double>& values_by_id,
                         const index_grid& ids, const grid<int>& cell_number_grid);

// Loads the TIME_SERIES_INDEX table into time_series_index_list and sets time_series_index_loaded.
// 1 on success or when the file has no such table, 0 when the file does not open or a row has no id.
int load_time_series_index(const std::string& path);

// Sets presence[table id] (1 or 0) for every property table and prints the check listing.
void check_mapping_tables(const std::string& path, int* presence, int silent);

// Sets the six stream-table flags from the stream mapping-table file.
void print_stream_index_tables(const std::string& path, int* presence, int silent);

// Set once the TIME_SERIES_INDEX table has been loaded in this run; the driver clears it.
extern int time_series_index_loaded;

// Per-cell outputs of the generic reader, one per value column; null ones are read, not kept.
using table_outputs = std::array<std::vector<double>*, max_generic_columns>;

// Reads table id and its index map and spreads its value columns onto the cells. With
// precip_conc_count above 0 a PRECIP_CONC line may precede the header line; its values go to
// elements 1.. of precip_conc. 1 on success, 0 after a reported error.
int read_index_map_table(const map_table_target& t, const std::string& path, int id,
                         const table_outputs& outputs, int precip_conc_count = 0,
                         std::vector<double>* precip_conc = nullptr);

// SEDIMENTS: class count and, per class from 1, specific gravity, diameter, binding fraction and
// output file name. A missing block gives count 0 and no error.
int read_sediments_table(const map_table_target& t, const std::string& path, int& count,
                         std::vector<double>& spec_grav, std::vector<double>& part_diam,
                         std::vector<std::string>& file_names, std::vector<double>& f_bind);

// SOIL_EROSION_PROPS: five per-cell outputs, then one fraction per size class s (class_fractions[s-1]
// per cell). A NUM_SED other than num_sed_classes is error 91.
int read_soil_erosion_table(const map_table_target& t, const std::string& path,
                            const std::array<std::vector<double>*, 5>& outputs,
                            const std::vector<std::vector<double>*>& class_fractions, int num_sed_classes);

// BMPS: ten per-cell outputs, then one per-cell array per contaminant. A NUM_CON other than the
// model's contaminant count stops the run.
int read_bmp_map_table(const map_table_target& t, const std::string& path,
                       const std::array<std::vector<double>*, 10>& outputs,
                       const std::vector<std::vector<double>*>& contaminant_outputs, int contaminant_count);

// WELL_TABLE: builds well_cell_list, one entry per well cell of the index map (id 0: no well).
int read_gw_boundary_table(const map_table_target& t, const std::string& path);

// WETLAND_PROPERTIES: numbers the wetlands of the map in row-major order of first appearance,
// fills one record per wetland (mm to m, per day to per second) and the per-cell wetland number.
int read_wetland_table(const map_table_target& t, const std::string& path, int& wetland_count,
                       std::vector<std::array<double, 8>>& wetlands, std::vector<int32_t>& wetland_number);

// CONTAMINANT_TRANSPORT: one section per constituent. Appends each constituent's rows to the eight
// per-constituent arrays ([constituent from 0][cell]) and its three values to the vectors.
struct contaminant_tables {
  std::array<std::vector<std::vector<double>>*, 8> per_cell{};
  std::vector<double>* precip_conc = nullptr;
  std::vector<double>* ov_partition_coef = nullptr;
  std::vector<double>* chan_partition_coef = nullptr;
  int cell_count = 0;
  int count = 0;  // out: number of constituents
  std::vector<std::string> descriptions;
  std::vector<std::string> output_file_names;
};
int read_contaminant_table(const map_table_target& t, const std::string& path, contaminant_tables& c);

// The index-map file name of the Richards table of the scheme (1 Brooks and Corey, 2 Havercamp).
void find_richards_index_map(const std::string& path, int richards_scheme, std::string& index_map_file);

// Finds the block, reads its index map into soil_type (mode 4) and hands the file, positioned
// after the block's header line, to the block's own reader, whose result is returned.
// -1 when the index map does not open.
using soil_block_reader = std::function<int(checked_file& file)>;
int read_layered_soil_map_table(model_state& m, int richards_scheme, const soil_block_reader& reader);
// A reader result below 1 stops the run with its problem (filled by the reader, may be null).
int read_multilayer_ga_table(model_state& m, const soil_block_reader& reader, const std::string* problem = nullptr);
int read_permafrost_soil_table(model_state& m, const soil_block_reader& reader);

// RATINGCURVES: for each cell whose boundary type is 6 or 7, the row with the id of the cell's
// ov_bound_input names an elevation series; find_series gives its position in the process-wide
// elevation-series list (first name that begins with the given one), or -1 when there is none.
struct rating_curve_record {
  int32_t elevation_series = -1;  // position in the elevation-series list, -1: none
};
using elevation_series_finder = std::function<int(const char* name)>;
int read_rating_curves(const std::string& path, int cell_count, const std::vector<int32_t>& boundary_type,
                       const std::vector<double>& ov_bound_input, const elevation_series_finder& find_series,
                       std::vector<rating_curve_record>& ov_rating_curves);

}  // namespace pluvo
