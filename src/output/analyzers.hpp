#pragma once
// Threshold analyzers: each tests one channel array against a constant at chosen moments of a
// run and reports the nodes that pass, or the values, to the console and to a file of its own.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/checked_file.hpp"

namespace pluvo {

struct model_state;

// Event bits of a report: 1 a timed step, 2 event start, 4 event end, 8 simulation start,
// 16 normal end, 32 end after an error.
// Output flags: 1 t (true nodes only), 2 v (a line per link), 4 s (console), 8 f (file),
// 16 c (heading and count), 32 d (values).

// 0 "2DG", 1 "1DS", 2 "2DS", 3 "TVX_OV", 4 "TVX_ST", 5 "TVX_SL", -1 any other word.
int parse_analyzer_type(const char* word);
// 3 "<=", 4 ">=", 2 "==", 0 "<", 1 ">", 5 "+", 6 "-", 7 "*", 8 "\\", 9 anything else.
int parse_logical_operator(const char* word);

// A flat channel row keyed link * stride + node, looked up when it is read (the arrays may be
// rebuilt between set-up and the run); null or shorter than the keys means nothing to read.
struct bound_row {
  std::function<const double*(size_t& length)> row;
  // The row when it holds at least `keys` values, else null.
  const double* values(size_t keys) const;
  explicit operator bool() const { return bool(row); }
};

// The comparison of one analyzer: the per-node results and the report writer.
class logical_OP {
 public:
  virtual ~logical_OP() = default;
  bool less(double threshold);
  bool less_equal(double threshold);
  bool greater(double threshold);
  bool greater_equal(double threshold);
  bool equal(double threshold);
  void report(int output_flags, int event, checked_file& file);
  void setup(bound_row array, int nlinks, const std::vector<int32_t>* nx, int stride, const double* model_time,
             const std::string& display_name);

 protected:
  // The value tested at a node, and the one a report shows.
  virtual double node_value(int link, int node) = 0;
  virtual double shown_value(int link, int node) = 0;
  size_t key(int link, int node) const { return size_t(stride_) * size_t(link) + size_t(node); }
  size_t keys() const { return size_t(nlinks_ + 1) * size_t(stride_); }

  bound_row array_;
  int nlinks_ = 0;
  const std::vector<int32_t>* nx_ = nullptr;
  int stride_ = 0;

 private:
  template <class compare>
  bool test(double threshold, const char* format, compare passes);

  const double* model_time_ = nullptr;
  double test_time_ = 0.0;
  std::string operation_;
  std::string display_name_;
  std::vector<unsigned char> flags_;  // per key
};

// One constituent's row of a per-constituent channel array.
class st1d_logical_OP : public logical_OP {
 protected:
  double node_value(int link, int node) override;
  double shown_value(int link, int node) override { return node_value(link, node); }
};

// A channel array [node][link] (flat under the node key), optionally combined with a second one.
class st2d_logical_OP : public logical_OP {
 public:
  // 5 add, 6 subtract, 7 multiply, 8 divide (9999.99 where the second value is 0), 9 none.
  void set_arithmetic(int code, bound_row second);
  double node_value(int link, int node) override;

 protected:
  double shown_value(int link, int node) override;

 private:
  int arithmetic_ = 9;
  bound_row second_;
  std::vector<double> derived_;  // per key: the value last tested
};

class analyzer {
 public:
  virtual ~analyzer() = default;
  // Evaluates when the event bits meet the trigger flags (timed ones once their interval passed).
  void trigger(int event);
  void evaluate(int event);
  // Reads the rest of the analyzer's line; false when no array could be bound.
  bool configure(model_state& m, char* line);
  bool open_output();
  void close_output();

 protected:
  virtual bool create_op(model_state& m, const char* word) = 0;

  std::unique_ptr<logical_OP> op_;

 private:
  int trigger_flags_ = 0;
  int output_flags_ = 0;
  int operator_code_ = 9;
  double threshold_ = 0.0;
  checked_file file_;
  std::string file_name_;
  const double* time_ = nullptr;
  double last_time_ = 0.0;
  double next_time_ = 0.0;
  double interval_ = 0.0;
};

class stanalyzer_1dst : public analyzer {
 protected:
  bool create_op(model_state& m, const char* word) override;

 private:
  bound_row bind_array(const char* word, model_state& m);
};

class stanalyzer_2dst : public analyzer {
 protected:
  bool create_op(model_state& m, const char* word) override;

 private:
  bound_row bind_array(const char* word, model_state& m, st2d_logical_OP& op);
};

}  // namespace pluvo
