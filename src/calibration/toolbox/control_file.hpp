#pragma once
// The estimation toolbox's control file (PEST layout with six values of the toolbox's own) and
// the record every toolbox step reads.
#include <cstdint>
#include <string>
#include <vector>

namespace pluvo::toolbox {

struct toolbox_parameter_group {
  std::string name;
  std::string inctyp;
  double derinc = 0.0;
  double derinclb = 0.0;
  std::string forcen;  // "always_2", "always_3" or "switch"
  double derincmul = 0.0;
  std::string dermthd;
};

struct toolbox_parameter {
  std::string name;
  std::string partrans;  // "log", "fixed", "tied"; any other word: adjustable, untransformed
  std::string parchglim;
  double value = 0.0;  // base-10 logarithm for "log" parameters
  double lower = 0.0;
  double upper = 0.0;
  std::string group;
  double scale = 0.0;
  double offset = 0.0;
  int32_t dercom = 0;
  std::string tied_child;
  std::string tied_parent;
  int32_t parent_index = 0;
  double tied_ratio = 1.0;
  int32_t at_upper = 0;
  int32_t at_lower = 0;
  int32_t iw_flag = 0;
  std::string iw_name;  // the name without its "iw_" prefix
  double sensitivity = 0.0;  // composite sensitivity as last computed
  // Working fields of the estimation engine.
  double previous_value = 0.0;  // stored value at the start of the iteration
  double perturbed_1 = 0.0;     // values of the Jacobian's perturbed runs
  double perturbed_2 = 0.0;
  int32_t frozen = 0;     // on a bound and pushed outward: left alone for the iteration
  int32_t no_effect = 0;  // its column of the sensitivity matrix is (close to) zero
};

struct toolbox_observation_group {
  std::string name;
  double contribution = 0.0;
};

struct toolbox_observation {
  std::string name;
  double measured = 0.0;
  double simulated[3] = {0.0, 0.0, 0.0};  // base run, first perturbed run, second perturbed run
  double weight = 0.0;
  std::string group;
};

struct toolbox_prior_item {
  std::string label;
  std::vector<double> coefficients;  // from 1
  int32_t term_count = 0;
  std::vector<std::string> term_names;  // from 1, at most 10
  double provided = 0.0;
  double weight = 0.0;
  std::string group;
};

struct toolbox_template_pair {
  std::string template_file;
  std::string model_input_file;
  std::vector<int32_t> marker_positions;
  int32_t field_count = 0;
  std::vector<int32_t> field_parameter;  // from 1
};

struct toolbox_instruction_pair {
  std::string instruction_file;
  std::string model_output_file;
};

struct toolbox_control {
  std::string first_line;
  std::string control_header;
  // The 40 control-data values, in file order.
  std::string rstfle;
  std::string pestmode;
  int32_t npar = 0;
  int32_t nobs = 0;
  int32_t npargp = 0;
  int32_t nprior = 0;
  int32_t nobsgp = 0;
  int32_t ntplfle = 0;
  int32_t ninsfle = 0;
  std::string precis;
  std::string dpoint;
  int32_t numcom = 0;
  int32_t jacfile = 0;
  int32_t messfile = 0;
  double rlambda1 = 0.0;  // also the current lambda during estimation
  double rlamfac = 0.0;
  double phiratsuf = 0.0;
  double phiredlam = 0.0;
  int32_t numlam = 0;
  double relparmax = 0.0;
  double facparmax = 0.0;
  double facorig = 0.0;
  int32_t unnamed_23 = 0;
  double phiredswh = 0.0;
  std::string unnamed_25;
  int32_t noptmax = 0;
  double phiredstp = 0.0;
  int32_t nphistp = 0;
  int32_t nphinored = 0;
  double relparstp = 0.0;
  int32_t nrelpar = 0;
  int32_t icov = 0;
  int32_t icor = 0;
  int32_t ieig = 0;
  int32_t method = 0;  // 0 Levenberg-Marquardt, 1 secant Levenberg-Marquardt
  int32_t full_update = 0;
  double full_update_threshold = 0.0;
  int32_t cyclic_columns = 0;
  double repulsion_distance = 0.0;
  std::string project_file;
  // The singular-value-decomposition block, kept but not used.
  int32_t svd_mode = 0;
  int32_t svd_maxsing = 0;
  double svd_eigthresh = 0.0;
  int32_t svd_eigwrite = 0;
  // Counts of the parameter kinds.
  int32_t adjustable_count = 0;
  int32_t fixed_count = 0;
  int32_t tied_count = 0;
  int32_t iw_count = 0;
  int32_t frozen_count = 0;
  int32_t no_effect_count = 0;
  // Tables, each from 1.
  std::vector<toolbox_parameter_group> groups;
  std::vector<toolbox_parameter> parameters;
  std::vector<toolbox_observation_group> observation_groups;
  std::vector<toolbox_observation> observations;
  std::vector<toolbox_template_pair> templates;
  std::vector<toolbox_instruction_pair> instructions;
  std::vector<toolbox_prior_item> prior;
  std::string pre_batch;
  std::string post_batch;
  // PHIMLIM, PHIMACCEPT, FRACPHIM, WFINIT, WFMIN, WFMAX, WFFAC, WFTOL.
  double regularisation[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  double weight_factor = 0.0;
  double phi_ratio = 0.0;  // current over previous objective function
  // Filled by the global modes from their own input files.
  std::string seed_mode;
  int32_t mlsl_n = 0;
  double mlsl_gamma = 0.0;
  double mlsl_sigma = 0.0;
  double mlsl_d = 0.0;
};

// Reads argv[2] (".pst" appended when the name holds no '.') and writes the pair file
// "pluvo.in"; 0 on success, 1 after its message.
int read_control_file(toolbox_control& c, int argc, char** argv);
int count_parameter_kinds(toolbox_control& c);
int set_tied_ratios(toolbox_control& c);
// Positions 1, 2, ... of `list` get the numbers of the adjustable parameters in file order.
int list_adjustable_parameters(const toolbox_control& c, std::vector<int>& list);
bool is_adjustable(const toolbox_parameter& p);
bool regularisation_mode(const toolbox_control& c);

}  // namespace pluvo::toolbox
