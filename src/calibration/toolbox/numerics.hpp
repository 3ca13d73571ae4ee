#pragma once
// The estimation toolbox's linear algebra, sorting and random numbers. Vectors are indexed from 1
// (std::vector of n + 1 elements, element 0 unused); matrices hold rows 0..rhi and columns 0..chi
// in one block, so any lower bound from 0 up indexes as the callers expect.
#include <cstddef>
#include <vector>

#include "calibration/random_generators.hpp"

namespace pluvo::toolbox {

// Every way the toolbox ends the process goes through here, so that files are flushed first.
[[noreturn]] void end_process(int status);
// The fatal path of the numerical routines: its three lines to stderr, status 1.
[[noreturn]] void nrerror(const char* text);

class matrix_cal {
 public:
  matrix_cal() = default;
  matrix_cal(int rlo, int rhi, int clo, int chi);
  double* operator[](int row) { return data_.data() + static_cast<std::size_t>(row) * stride_; }
  const double* operator[](int row) const {
    return data_.data() + static_cast<std::size_t>(row) * stride_;
  }
  int rows() const { return rows_; }  // highest row index
  int cols() const { return cols_; }  // highest column index

 private:
  std::vector<double> data_;
  std::size_t stride_ = 0;
  int rows_ = 0;
  int cols_ = 0;
};

std::vector<int> ivector(int lo, int hi);
std::vector<double> dvector(int lo, int hi);

void choldc(matrix_cal& a, int n, std::vector<double>& p);
void cholsl(const matrix_cal& a, int n, const std::vector<double>& p, const std::vector<double>& b,
            std::vector<double>& x);
void ludcmp(matrix_cal& a, int n, std::vector<int>& indx, double& d, int& singular);
void lubksb_cal(const matrix_cal& a, int n, const std::vector<int>& indx, std::vector<double>& b);
void dminverse(matrix_cal& a, int n, matrix_cal& y, int& singular);
void solve3_lu(matrix_cal& a, int unused, const matrix_cal& b, int unused2, matrix_cal& x);
void jacobi(matrix_cal& a, int n, std::vector<double>& d, matrix_cal& v, int& nrot);
void eigsrt(std::vector<double>& d, matrix_cal& v, int n);
void indexx(int n, const std::vector<double>& arr, std::vector<int>& indx);
void dmmult(const matrix_cal& a, int a_rows, int a_cols, const matrix_cal& b, int b_rows,
            int b_cols, matrix_cal& c);
void dmvmult(const matrix_cal& a, int rows, int cols, const std::vector<double>& x, int unused,
             std::vector<double>& y);
void dmtranspose(const matrix_cal& a, int rows, int cols, matrix_cal& b);
void dmscale(const matrix_cal& a, int rows, int cols, double s, matrix_cal& b);
void dmadd(const matrix_cal& a, int rows, int cols, const matrix_cal& b, matrix_cal& c);
double gammln(double x);

// The toolbox's uniform deviate in (0, 1); its shuffle state is process-wide.
double ran1(long& seed);

}  // namespace pluvo::toolbox
