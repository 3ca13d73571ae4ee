#include "calibration/objectives.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "common/error_state.hpp"
#include "common/line_reader.hpp"

namespace pluvo {

namespace {

constexpr double weight_floor = 1e-6;      // a weight at or below it switches its comparison off
constexpr double negative_floor = -1e-16;  // a simulated value below it is negative

bool peak_weighted(const objective_record& r, int i) { return r.peak_weight[size_t(i)] > weight_floor; }
bool volume_weighted(const objective_record& r, int i) { return r.volume_weight[size_t(i)] > weight_floor; }
bool negative(double value) { return value < negative_floor; }

// The largest simulated value of the weighted entries, the scan stopping at the first negative one.
double max_simulated(objective_record& r, const double* sim, bool (*weighted)(const objective_record&, int)) {
  if (!sim) return no_maximum;
  compute_volume_scale(r);
  if (r.entry_count < 1) return no_maximum;
  double largest = no_maximum;
  for (int i = 1; i <= r.entry_count; ++i) {
    if (negative(sim[i])) break;
    if (weighted(r, i) && sim[i] > largest) largest = sim[i];
  }
  return largest;
}

// The HMLE lambda condition: zero at the transformation exponent that makes the weighted
// errors homoscedastic.
double hmle_lambda_condition(double lambda, const std::vector<double>& q, const std::vector<double>& e,
                             const std::vector<double>& rel_log) {
  double num = 0.0, den = 0.0;
  for (size_t j = 0; j < q.size(); ++j) {
    const double w = std::pow(q[j], 2.0 * (lambda - 1.0));
    num += w * e[j] * e[j];
    den += w * e[j] * e[j] * rel_log[j];
  }
  return num / den - 1.0;
}

}  // namespace

bool open_appending(checked_file& file, const char* name, bool& created) {
  const std::string path = planned_file_path(name, 'a');
  std::error_code ec;
  created = path.empty() || !std::filesystem::exists(path, ec);
  return checked_file_open(file, name, 'a');
}

int read_calibration_observations(objective_record& record, const char* file_name) {
  checked_file file;
  if (!checked_file_open(file, file_name, 'r')) return -1;
  std::vector<char> line(line_buffer_size + token_buffer_size, 0);
  int32_t count = 0;
  if (!read_line(line.data(), file) || !next_int(line.data(), count) || count < 1) return -1;
  for (std::vector<double>* v :
       {&record.observed_peak, &record.peak_weight, &record.observed_volume, &record.volume_weight})
    v->assign(1, 0.0);
  // The arrays grow with the lines read, so a count larger than the file allocates nothing.
  for (int i = 1; i <= count; ++i) {
    if (!read_line(line.data(), file)) return -1;
    double values[4] = {};
    int found = 0;
    while (found < 4 && next_double(line.data(), values[found])) ++found;
    if (found < 4) {
      error_state.error_code = 135;
      return -1;
    }
    // Observed values and weights are finite and not negative; NaN fails this test too.
    for (double v : values)
      if (!(v >= 0.0 && v < HUGE_VAL)) {
        std::printf("Error: the observation file %s: line %d holds the value %g; observations and weights must "
                    "be finite and not negative.\n",
                    file_name, i + 1, v);
        return -1;
      }
    record.observed_peak.push_back(values[0]);
    record.peak_weight.push_back(values[1]);
    record.observed_volume.push_back(values[2]);
    record.volume_weight.push_back(values[3]);
  }
  record.entry_count = count;
  return 1;
}

double compute_volume_scale(objective_record& r) {
  if (r.entry_count < 1) return r.volume_scale = 1.0;
  double peak = -1.0, volume = -1.0;
  for (int i = 1; i <= r.entry_count; ++i) {
    peak = std::max(peak, r.observed_peak[size_t(i)]);
    volume = std::max(volume, r.observed_volume[size_t(i)]);
  }
  return r.volume_scale = peak / volume;
}

double compute_cost(objective_record& r, const double* sp, const double* sv, int run) {
  if (!sp || !sv) return bad_criterion;
  char name[32];
  std::snprintf(name, sizeof name, "%d_cost.out", run);
  checked_file out;
  checked_file_open(out, name, 'a');
  std::FILE* f = out.stream;  // the criterion does not depend on the file: null writes nothing
  if (r.entry_count < 1) return no_comparison;
  double sum = 0.0;
  int points = 0;
  for (int i = 1; i <= r.entry_count; ++i) {
    if (peak_weighted(r, i)) {
      if (negative(sp[i])) return bad_criterion;
      ++points;
      const double d = sp[i] - r.observed_peak[size_t(i)];
      if (f) std::fprintf(f, "p:%lf, %lf  ", sp[i], d);
      const double rel = r.observed_peak[size_t(i)] > 1e-16 ? d / r.observed_peak[size_t(i)] : d;
      sum += std::fabs(rel * r.peak_weight[size_t(i)]);
    }
    if (volume_weighted(r, i)) {
      if (negative(sv[i])) return bad_criterion;
      ++points;
      const double d = sv[i] - r.observed_volume[size_t(i)];
      if (f) std::fprintf(f, "v:%lf, %lf  \n", sv[i], d);
      const double rel = r.observed_volume[size_t(i)] > 0.0 ? d / r.observed_volume[size_t(i)] : d;
      sum += std::fabs(rel * r.volume_weight[size_t(i)]);
    }
  }
  if (points == 0) return no_comparison;
  if (f) std::fprintf(f, "Total Points: %d\ncost: %lf\n%s\n", points, sum, std::string(79, '-').c_str());
  return sum;
}

double compute_rmse(objective_record& r, const double* sp, const double* sv) {
  if (!sp || !sv) return bad_criterion;
  const double scale = compute_volume_scale(r);
  double sum = 0.0;
  for (int i = 1; i <= r.entry_count; ++i) {
    if (negative(sp[i])) return bad_criterion;
    if (peak_weighted(r, i)) sum += std::pow(sp[i] - r.observed_peak[size_t(i)], 2);
    if (negative(sv[i])) return bad_criterion;
    if (volume_weighted(r, i)) sum += std::pow((sv[i] - r.observed_volume[size_t(i)]) * scale, 2);
  }
  return std::sqrt(sum);
}

double compute_log_error(objective_record& r, const double* sp, const double* sv) {
  if (!sp || !sv) return bad_criterion;
  const double scale = compute_volume_scale(r);
  double sum = 0.0;
  for (int i = 1; i <= r.entry_count; ++i) {
    if (negative(sp[i])) return bad_criterion;
    if (peak_weighted(r, i)) sum += std::fabs(std::log(sp[i]) - std::log(r.observed_peak[size_t(i)]));
    if (negative(sv[i])) return bad_criterion;
    if (volume_weighted(r, i))
      sum += std::fabs(std::log(sv[i] * scale) - std::log(r.observed_volume[size_t(i)] * scale));
  }
  return sum;
}

double max_simulated_peak(objective_record& r, const double* sp) { return max_simulated(r, sp, peak_weighted); }

double max_simulated_volume(objective_record& r, const double* sv) {
  return max_simulated(r, sv, volume_weighted);
}

double hmle_lambda_search(const std::function<double(double)>& condition, double a, double b) {
  constexpr double lower_fraction = 0.381966012, upper_fraction = 0.618033988;
  double x1 = a + lower_fraction * (b - a), x2 = a + upper_fraction * (b - a);
  double best = a, best_size = std::fabs(condition(a));
  auto offer = [&](double lambda, double c) {
    if (std::fabs(c) < best_size) {
      best = lambda;
      best_size = std::fabs(c);
    }
  };
  double f1 = condition(x1);
  offer(x1, f1);
  double f2 = condition(x2);
  offer(x2, f2);
  offer(b, condition(b));
  if (b - a <= 1e-6) return best;
  double lower = a, upper = b, width = 0.0;
  do {
    if (std::fabs(f1) > std::fabs(f2)) {
      lower = x1;
      x1 = x2;
      f1 = f2;
      width = upper - lower;
      x2 = lower + upper_fraction * width;
      f2 = condition(x2);
      offer(x2, f2);
    } else {
      upper = x2;
      x2 = x1;
      f2 = f1;
      width = upper - lower;
      x1 = lower + lower_fraction * width;
      f1 = condition(x1);
      offer(x1, f1);
    }
  } while (width > 1e-6);
  return best;
}

double compute_hmle(objective_record& r, const double* sp, const double* sv) {
  if (!sp || !sv) return bad_criterion;
  compute_volume_scale(r);
  if (r.entry_count < 1) return no_comparison;
  int compared = 0;
  for (int i = 1; i <= r.entry_count; ++i) {
    if (peak_weighted(r, i)) {
      if (negative(sp[i])) return bad_criterion;
      ++compared;
    }
    if (volume_weighted(r, i)) {
      if (negative(sv[i])) return bad_criterion;
      ++compared;
    }
  }
  if (compared == 0) return no_comparison;
  // The estimate takes the peaks alone; it needs positive observed peaks whose mean log is not 0.
  std::vector<double> q, e;
  double mean_log = 0.0;
  for (int i = 1; i <= r.entry_count; ++i) {
    if (!peak_weighted(r, i)) continue;
    if (r.observed_peak[size_t(i)] <= 0.0) return bad_criterion;
    q.push_back(r.observed_peak[size_t(i)]);
    e.push_back(r.observed_peak[size_t(i)] - sp[i]);
    mean_log += std::log(q.back());
  }
  if (q.empty()) return bad_criterion;
  const double m = double(q.size());
  mean_log /= m;
  if (mean_log == 0.0) return bad_criterion;
  std::vector<double> rel_log;
  for (double v : q) rel_log.push_back(std::log(v) / mean_log);
  const double lambda =
      hmle_lambda_search([&](double l) { return hmle_lambda_condition(l, q, e, rel_log); });
  double sum = 0.0;
  for (size_t j = 0; j < q.size(); ++j) sum += std::pow(q[j], 2.0 * (lambda - 1.0)) * e[j] * e[j];
  return r.hmle = (sum / m) / std::exp(2.0 * (lambda - 1.0) * mean_log);
}

void add_result(objective_record& record, double cost, double hmle, double rmse, double log_error,
                double max_peak, double max_volume, const double* x, int n) {
  calibration_result result;
  result.cost = cost;
  result.hmle = hmle;
  result.rmse = rmse;
  result.log_error = log_error;
  result.max_peak = max_peak;
  result.max_volume = max_volume;
  result.parameter_count = n;
  if (x && n >= 0) result.parameters.assign(x, x + n + 1);
  else result.parameters.assign(size_t(n > 0 ? n : 0) + 1, 0.0);
  calibration_result_lists& lists = record.results;
  const calibration_result& kept = lists.results.emplace_back(std::move(result));
  const double keys[6] = {kept.cost, kept.hmle, kept.rmse, kept.log_error, kept.max_peak, kept.max_volume};
  for (int k = 0; k < 6; ++k) {
    auto& list = lists.ordered[size_t(k)];
    auto at = std::upper_bound(list.begin(), list.end(), keys[k], [k](double key, const calibration_result* c) {
      const double of_c[6] = {c->cost, c->hmle, c->rmse, c->log_error, c->max_peak, c->max_volume};
      return key < of_c[k];
    });
    list.insert(at, &kept);
  }
}

namespace {

void write_results(const objective_record& record) {
  checked_file out;
  bool created = false;
  if (!open_appending(out, "results_all.out", created)) return;
  if (created)
    std::fputs("--Cost--\t----HMLE----\t----RMSE----\t-Log Error--\t--Max Peak--\t--Max Vol---\t: params\n",
               out.stream);
  for (const calibration_result* c : record.results.ordered[key_max_volume]) {
    std::fprintf(out.stream, "%-8.2lf\t%-12.4lf\t%-12.2lf\t%-12.6lf\t%-12.2lf\t%-12.2lf\t: ", c->cost, c->hmle,
                 c->rmse, c->log_error, c->max_peak, c->max_volume);
    for (int j = 1; j <= c->parameter_count; ++j) std::fprintf(out.stream, "%-6.4lf  ", c->parameters[size_t(j)]);
    std::fputc('\n', out.stream);
  }
}

}  // namespace

void collect_calibration_results(objective_record& record, int process) {
  // An evaluation that made no run has no result: nothing to append.
  if (process == 0 && !record.results.results.empty()) write_results(record);
  record.results.results.clear();
  for (auto& list : record.results.ordered) list.clear();
}

void write_observation_log(objective_record& r, const double* sp, const double* sv, int run) {
  if (!sp || !sv) return;  // no simulated values to set beside the observed ones
  char name[32];
  std::snprintf(name, sizeof name, "%d_obs.log", run);
  checked_file out;
  if (!checked_file_open(out, name, 'a')) return;
  std::fprintf(out.stream, "%s\n", std::string(55, '-').c_str());
  std::fputs("Event\tWeight\tObs Peak   \tSim Peak    \tDiff        \tWeight\tObs Vol     \tSim Vol     \tDiff\n",
             out.stream);
  for (int i = 1; i <= r.entry_count; ++i) {
    const double op = r.observed_peak[size_t(i)], ov = r.observed_volume[size_t(i)];
    std::fprintf(out.stream, "%-5d\t%-6.2lf\t%-12.2lf\t%-12.2lf\t%-12.2lf\t%-6.2lf\t%-12.2lf\t%-12.2lf\t%-12.2lf\n", i,
                 r.peak_weight[size_t(i)], op, sp[i], op - sp[i], r.volume_weight[size_t(i)], ov, sv[i],
                 ov - sv[i]);
  }
  std::fputs("\n\n", out.stream);
}

double evaluate_objectives(objective_record& record, const double* sp, const double* sv, int run, int n,
                           const double* x) {
  record.hmle = compute_hmle(record, sp, sv);
  record.rmse = compute_rmse(record, sp, sv);
  record.cost = compute_cost(record, sp, sv, run);
  record.max_peak = max_simulated_peak(record, sp);
  record.max_volume = max_simulated_volume(record, sv);
  record.log_error = compute_log_error(record, sp, sv);
  add_result(record, record.cost, record.hmle, record.rmse, record.log_error, record.max_peak, record.max_volume,
             x, n);
  write_observation_log(record, sp, sv, run);
  return record.cost;
}

}  // namespace pluvo
