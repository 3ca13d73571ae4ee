#pragma once
// Water retention and conductivity of soil columns: Brooks and Corey with a parabola between
// its transition head and saturation (option 1), or Haverkamp (any other option).
#include "common/node_matrix.hpp"
#include "soil/soil_services.hpp"

namespace pluvo {

struct model_state;

constexpr int brooks_corey_option = 1;

// The log-linear blend between 1e-6 and x by the frozen-ground saturation b, never above x.
double bounded_power(double x, double b);

// The head of one node from its water content; left as it was where the content gives none.
void retention_head(node_matrix<double>& head, const node_matrix<double>& theta,
                    const node_matrix<double>& theta_s, const node_matrix<double>& theta_r,
                    const node_matrix<double>& theta_c, const node_matrix<double>& alpha,
                    const node_matrix<double>& beta, const node_matrix<double>& lambda,
                    const node_matrix<double>& bubbling, int cell, int node, int option);

// The water content of one node from its head; returns 0.
int retention_content(const node_matrix<double>& head, node_matrix<double>& theta,
                      const node_matrix<double>& theta_s, const node_matrix<double>& theta_r,
                      const node_matrix<double>& theta_c, const node_matrix<double>& alpha,
                      const node_matrix<double>& beta, const node_matrix<double>& lambda,
                      const node_matrix<double>& bubbling, const node_matrix<double>& transition,
                      int cell, int node, int option);

}  // namespace pluvo
