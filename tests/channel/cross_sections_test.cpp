// Node section properties against closed forms, and the break-point tables against the
// geometry of simple sections.
#include "channel/cross_sections.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "common/error_state.hpp"

namespace pluvo {
namespace {

// One link of `nodes` nodes with room for `tables` tables.
channel_state one_link(int type, int nodes, int tables = 0, int max_interp = 0, int max_pairs = 0) {
  channel_state ch;
  ch.nlinks = 1;
  ch.max_nodes = nodes;
  ch.chan_node_extent = nodes + 1;
  const size_t slots = static_cast<size_t>(ch.chan_node_extent) * 2;
  ch.nx = {0, nodes};
  ch.ltype = {0, type};
  ch.ldex = {0, 1};
  ch.inv_mannings_n = {0.0, 1.0 / 0.035};
  ch.bplink = {0, (type & 2) ? 1 : 0};
  ch.num_erodible_bp_links = (type & 2) ? 1 : 0;
  for (auto *v : {&ch.bottom, &ch.sslope, &ch.bel, &ch.yp, &ch.chan_depth, &ch.area, &ch.topw,
                  &ch.conv, &ch.dconv})
    v->assign(slots, 0.0);
  ch.table_num.assign(slots, 0);
  ch.num_xsec_tables = tables;
  ch.max_num_interp = max_interp;
  ch.max_npairs = max_pairs;
  size_xsec_tables(ch);
  return ch;
}

breakpoint_section section(int node, int n, std::vector<double> x, std::vector<double> y) {
  return breakpoint_section{node, n, std::move(x), std::move(y)};
}

// A one-section break-point link, its table built.
channel_state breakpoint_link_of(const breakpoint_section &sec, int nodes = 1) {
  channel_state ch = one_link(8, nodes, 1, sec.num_interp, static_cast<int>(sec.x.size()));
  int counter = 0;
  interp_breakpoint_xsecs(ch, counter, breakpoint_link{1, 8, nodes, 0.035, {sec}}, 0);
  EXPECT_EQ(error_state.error_code, 0);
  EXPECT_EQ(counter, 1);
  return ch;
}

double row(const channel_state &ch, const std::vector<double> &v, int t, int i) {
  return v[xsec_key(ch, t, i)];
}

class CrossSections : public ::testing::Test {
 protected:
  void SetUp() override { error_state = error_state_record{}; }
  void TearDown() override { error_state = error_state_record{}; }
  int32_t exceeded_ = 0;
};

TEST_F(CrossSections, TrapezoidForwardMatchesClosedForms) {
  struct trapezoid {
    double b, s, d;
  };
  for (const trapezoid c : {trapezoid{3.0, 0.0, 0.7}, trapezoid{2.0, 1.5, 1.2},
                            trapezoid{0.5, 3.0, 0.05}, trapezoid{10.0, 0.25, 4.0}}) {
    auto props = [&](double d, double &a, double &t, double &k, double &dk) {
      channel_state ch = one_link(4, 1);
      ch.bottom[1 * 2 + 1] = c.b;  // ldex 1, node 1, extent 2
      ch.sslope[1 * 2 + 1] = c.s;
      ch.bel[3] = 100.0;
      ch.yp[3] = 100.0 + d;
      ex_section(ch, 2, exceeded_);
      a = ch.area[3];
      t = ch.topw[3];
      k = ch.conv[3];
      dk = ch.dconv[3];
    };
    double a, t, k, dk;
    props(c.d, a, t, k, dk);
    const double area = (c.b + c.s * c.d) * c.d;
    const double perim = c.b + 2.0 * c.d * std::sqrt(1.0 + c.s * c.s);
    EXPECT_NEAR(a, area, 1e-9 * area);
    EXPECT_NEAR(t, c.b + 2.0 * c.s * c.d, 1e-12);
    const double k_exact = area * std::pow(area / perim, 2.0 / 3.0) / 0.035;
    EXPECT_NEAR(k, k_exact, 1e-9 * k_exact);
    const double e = 1e-5 * c.d;
    double a1, t1, k1, d1, a2, t2, k2, d2;
    props(c.d + e, a1, t1, k1, d1);
    props(c.d - e, a2, t2, k2, d2);
    EXPECT_NEAR(dk, (k1 - k2) / (2.0 * e), 1e-6 * dk) << c.b << " " << c.s;
  }
  EXPECT_EQ(error_state.error_code, 0);
}

TEST_F(CrossSections, TrapezoidAreaReturnsWaterSurface) {
  for (const double s : {0.0, 1e-9, 0.5, 2.0}) {
    for (const double d : {1e-4, 0.3, 2.5}) {
      channel_state ch = one_link(4, 1);
      ch.bottom[3] = 4.0;
      ch.sslope[3] = s;
      ch.bel[3] = 250.0;
      ch.yp[3] = 250.0 + d;
      ex_section(ch, 2, exceeded_);
      ch.yp[3] = -1.0;
      ex_section(ch, 1, exceeded_);
      EXPECT_NEAR(ch.yp[3], 250.0 + d, 1e-12) << s << " " << d;
      EXPECT_NEAR(ch.chan_depth[3], d, 1e-12);
    }
  }
  EXPECT_EQ(error_state.error_code, 0);
}

TEST_F(CrossSections, TrapezoidSmallNegativesAreDryLargerOnesStop) {
  channel_state ch = one_link(4, 1);
  ch.bottom[3] = 2.0;
  ch.sslope[3] = 1.0;
  ch.bel[3] = 10.0;
  ch.yp[3] = 10.0 - 0.00009;
  ex_section(ch, 2, exceeded_);
  EXPECT_EQ(ch.area[3], 0.0);
  ch.area[3] = -0.00009;
  ex_section(ch, 1, exceeded_);
  EXPECT_EQ(ch.area[3], 0.0);
  EXPECT_EQ(ch.chan_depth[3], 0.0);
  EXPECT_EQ(error_state.error_code, 0);
  testing::internal::CaptureStdout();
  ch.yp[3] = 10.0 - 0.001;
  ex_section(ch, 2, exceeded_);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("In ex_section.c - 1\nprogram stopped for negative depth, "
                     "node 1, link 1\n"),
            std::string::npos);
  EXPECT_EQ(error_state.error_terminate,
            1);  // reported (code 4000) and the run ends
}

TEST_F(CrossSections, VSectionAreaGrowsWithSquareOfDepth) {
  const int n = 20;
  channel_state ch = breakpoint_link_of(section(1, n, {0.0, 3.0, 6.0}, {5.0, 2.0, 5.0}));
  const double h = ch.ht_spc[1];
  EXPECT_DOUBLE_EQ(h, 3.0 / n);
  for (int i = 1; i <= n; ++i) {
    const double d = i * h;
    EXPECT_NEAR(row(ch, ch.xarea, 1, i), d * d, 1e-12 * 9.0) << i;
    EXPECT_NEAR(row(ch, ch.xtw, 1, i), 2.0 * d, 1e-12 * 6.0) << i;
    EXPECT_NEAR(row(ch, ch.xp, 1, i), 2.0 * std::sqrt(2.0) * d, 1e-12 * 9.0) << i;
  }
}

TEST_F(CrossSections, RectanglePolylineGivesWidthTimesDepth) {
  const double b = 7.5;
  const int n = 16;
  channel_state ch = breakpoint_link_of(section(1, n, {0.0, 0.0, b, b}, {2.0, 0.0, 0.0, 2.0}));
  for (int i = 1; i <= n; ++i) {
    const double d = i * ch.ht_spc[1];
    EXPECT_NEAR(row(ch, ch.xarea, 1, i), b * d, 1e-12 * b * 2.0) << i;
    EXPECT_NEAR(row(ch, ch.xp, 1, i), b + 2.0 * d, 1e-12 * b) << i;
    EXPECT_NEAR(row(ch, ch.xtw, 1, i), b, 1e-12 * b) << i;
  }
}

TEST_F(CrossSections, TwoSeparateLowChannelsAdd) {
  const int n = 10;
  channel_state one = breakpoint_link_of(section(1, n, {0.0, 1.0, 2.0}, {2.0, 0.0, 2.0}));
  channel_state two =
      breakpoint_link_of(section(1, n, {0.0, 1.0, 2.0, 3.0, 4.0}, {2.0, 0.0, 2.0, 0.0, 2.0}));
  for (int i = 1; i < n; ++i) {  // below the middle bank top: two intervals
    EXPECT_NEAR(row(two, two.xarea, 1, i), 2.0 * row(one, one.xarea, 1, i), 1e-12) << i;
    EXPECT_NEAR(row(two, two.xtw, 1, i), 2.0 * row(one, one.xtw, 1, i), 1e-12) << i;
    EXPECT_NEAR(row(two, two.xp, 1, i), 2.0 * row(one, one.xp, 1, i), 1e-12) << i;
  }
}

TEST_F(CrossSections, BreakpointAreaReturnsWaterSurface) {
  const int n = 12;
  channel_state ch =
      breakpoint_link_of(section(1, n, {0.0, 2.0, 3.0, 5.0, 9.0}, {3.0, 1.0, 0.4, 1.5, 3.6}));
  const double h = ch.ht_spc[1];
  ch.bel[3] = 0.4;
  ch.table_num[3] = 1;
  for (const double d : {0.3 * h, h, 1.5 * h, 4.7 * h, n * h, n * h + 0.8 * h, n * h + 3.0 * h}) {
    ch.yp[3] = 0.4 + d;
    ex_section(ch, 2, exceeded_);
    ch.yp[3] = -7.0;
    ex_section(ch, 1, exceeded_);
    EXPECT_NEAR(ch.yp[3], 0.4 + d, 1e-12) << d / h;
  }
  EXPECT_EQ(error_state.error_code, 0);
}

TEST_F(CrossSections, TableTopIsNotExtrapolatedAboveItIs) {
  const int n = 8;
  channel_state ch = breakpoint_link_of(section(1, n, {0.0, 1.0, 4.0}, {2.0, 0.0, 2.0}));
  const double h = ch.ht_spc[1];
  ch.table_num[3] = 1;
  ch.yp[3] = n * h;
  ex_section(ch, 2, exceeded_);
  EXPECT_EQ(ch.area[3], row(ch, ch.xarea, 1, n));
  EXPECT_EQ(exceeded_, 0);
  ch.yp[3] = (n + 1) * h;
  ex_section(ch, 2, exceeded_);
  EXPECT_EQ(exceeded_, 1);
  EXPECT_NEAR(ch.area[3], 2.0 * row(ch, ch.xarea, 1, n) - row(ch, ch.xarea, 1, n - 1), 1e-12);
}

TEST_F(CrossSections, IntermediateNodeGetsMeanOfDefinedTables) {
  // Rectangles 2 m wide and 1 m deep at node 1, 4 m wide and 2 m deep at node 3.
  channel_state ch = one_link(8, 3, 3, 10, 4);
  int counter = 0;
  interp_breakpoint_xsecs(
      ch, counter,
      breakpoint_link{1,
                      8,
                      3,
                      0.035,
                      {section(1, 10, {0.0, 0.0, 2.0, 2.0}, {1.0, 0.0, 0.0, 1.0}),
                       section(3, 10, {0.0, 0.0, 4.0, 4.0}, {2.0, 0.0, 0.0, 2.0})}},
      0);
  ASSERT_EQ(error_state.error_code, 0);
  EXPECT_EQ(counter, 3);
  EXPECT_EQ(ch.table_num[1 * 4 + 1], 1);
  EXPECT_EQ(ch.table_num[1 * 4 + 2], 2);
  EXPECT_EQ(ch.table_num[1 * 4 + 3], 3);
  EXPECT_NEAR(ch.ht_spc[2], 0.15, 1e-15);
  // Below the first step of node 3's table its values are read linearly from zero.
  EXPECT_NEAR(row(ch, ch.xtw, 2, 1), 0.5 * (2.0 + 0.15 / 0.2 * 4.0), 1e-12);
  // From step 2 on both defined tables are read inside or above their first step, where
  // the rectangles' properties are linear in depth.
  for (int i = 2; i <= 10; ++i) {
    const double d = i * 0.15;
    EXPECT_NEAR(row(ch, ch.xarea, 2, i), 3.0 * d, 1e-12) << i;
    EXPECT_NEAR(row(ch, ch.xtw, 2, i), 3.0, 1e-12) << i;
    EXPECT_NEAR(row(ch, ch.xp, 2, i), 3.0 + 2.0 * d, 1e-12) << i;
  }
}

TEST_F(CrossSections, DepthStepRangesAreChecked) {
  struct range_case {
    int n;
    double height;
    int code;  // 4000: reported at once and the run ends; 200: left for the caller's check
    const char *message;
  };
  const range_case cases[] = {
      {30000, 3.0, 0, ""},
      {5, 5.0, 0, ""},
      {30001, 3.0, 4000,
       "\n\nError: The number of interpolation points [30001] for table 1 in "
       "link 1 is invalid. "
       "(Range is 1-30000.) \n"},
      {4, 6.0, 200,
       "\n\nError: The interpolation distance [1.50000] produced by the number "
       "of interpolation "
       "points [4]\nfor table 1 in link 1 is invalid. (Range is 0.0001 to "
       "1.0)\n"},
  };
  for (const range_case &c : cases) {
    error_state = error_state_record{};
    channel_state ch = one_link(8, 1, 1, 30001, 3);
    ch.channel_input_path = "chan.in";
    int counter = 0;
    testing::internal::CaptureStdout();
    interp_breakpoint_xsecs(
        ch, counter,
        breakpoint_link{
            1, 8, 1, 0.035, {section(1, c.n, {0.0, 1.0, 2.0}, {c.height, 0.0, c.height})}},
        0);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(error_state.error_terminate, c.code != 0 ? 1 : 0) << c.n;
    EXPECT_EQ(error_state.error_code, c.code == 200 ? 200 : 0) << c.n;
    if (c.code == 0) {
      EXPECT_EQ(ch.ht_spc[1], c.height / c.n);
      EXPECT_NEAR(row(ch, ch.xarea, 1, c.n), c.height,
                  1e-9);  // triangle 2 wide, height deep
    } else {
      EXPECT_NE(out.find(c.message), std::string::npos) << out;
    }
  }
}

TEST_F(CrossSections, MissingOrUnknownTablesStopTheForwardPass) {
  struct table_case {
    int table;
    double depth;
    const char *message;
  };
  const table_case cases[] = {
      {0, 0.0, "Error in section node 1 link 1: No table specified for node\n"},
      {2, 0.5,
       "Error in section node 1 link 1: Request for table beyond max. table "
       "number.\n"},
  };
  for (const table_case &c : cases) {
    error_state = error_state_record{};
    channel_state ch = breakpoint_link_of(section(1, 4, {0.0, 1.0, 2.0}, {2.0, 0.0, 2.0}));
    ch.table_num[3] = c.table;
    ch.yp[3] = c.depth;
    testing::internal::CaptureStdout();
    ex_section(ch, 2, exceeded_);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find(c.message), std::string::npos) << out;
    EXPECT_EQ(error_state.error_terminate, 1);
  }
  // The inverse pass only reports a table past the last one and leaves the node as it was.
  error_state = error_state_record{};
  channel_state ch = breakpoint_link_of(section(1, 4, {0.0, 1.0, 2.0}, {2.0, 0.0, 2.0}));
  ch.table_num[3] = 2;
  ch.area[3] = 0.5;
  ch.yp[3] = 3.25;
  testing::internal::CaptureStderr();
  ex_section(ch, 1, exceeded_);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Error in section: Request for table beyond max. table number.\n");
  EXPECT_EQ(ch.yp[3], 3.25);
  EXPECT_EQ(error_state.error_terminate, 0);
}

TEST_F(CrossSections, TwoSectionsOfDifferentSizesWarnAndShareTheTable) {
  channel_state ch = one_link(8, 2, 2, 6, 4);
  int counter = 0;
  testing::internal::CaptureStdout();
  interp_breakpoint_xsecs(
      ch, counter,
      breakpoint_link{1,
                      8,
                      2,
                      0.035,
                      {section(1, 4, {0.0, 1.0, 2.0, 3.0}, {2.0, 0.0, 2.0, 3.0}),
                       section(2, 6, {0.0, 1.0, 2.0}, {2.0, 0.0, 2.0})}},
      0);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out,
            "\n\nWARNING!!!! When using two break-point cross-sections the "
            "number of pairs \n"
            "            must be equal, which they are not for link 1.\n\n"
            "  ---> Disregarding the last 1 pairs of the first cross-section. "
            "<---\n\n"
            "\nUsing the greater of the two number of interpolation points \n"
            "for both cross-section in link 1.\n");
  EXPECT_EQ(error_state.error_terminate, 0);
  for (int t = 1; t <= 2; ++t) {
    EXPECT_EQ(ch.numhts[t], 6);
    EXPECT_EQ(ch.numpairs[t], 3);
    EXPECT_NEAR(row(ch, ch.xarea, t, 6), 2.0,
                1e-12);  // the V of the first three pairs
  }
}

TEST_F(CrossSections, JaggedAndFlatSectionsStop) {
  struct shape_case {
    std::vector<double> x, y;
    int n;
    bool stops;
    const char *message;
  };
  auto zigzag = [](int valleys) {
    shape_case c;
    for (int i = 0; i <= 2 * valleys; ++i) {
      c.x.push_back(i);
      c.y.push_back(i % 2 == 0 ? 1.0 : 0.0);
    }
    c.n = 4;
    return c;
  };
  shape_case cases[] = {zigzag(49),
                        zigzag(50),
                        {{0.0, 1.0, 2.0, 3.0, 4.0, 5.0},
                         {2.0, 0.0, 1.0, 1.0, 0.0, 2.0},
                         2,
                         true,
                         "Error in your channel (1). Each Z values must be different from it's "
                         "neighbor\n"}};
  cases[0].stops = false;
  cases[0].message = "";
  cases[1].stops = true;
  cases[1].message =
      "\n\nThere is a serious problem with a channel cross-section in\n"
      "link 1.  The cross-section interpolation routine has found\n"
      "that this cross-section is very jagged, with over 50 'islands'\n"
      "for certain depths.  Calculating cross-section properties in\n"
      "this case is very dubious.  Check your cross section, smooth\n"
      "it if necessary and try again.\n";
  for (const shape_case &c : cases) {
    error_state = error_state_record{};
    const int m = static_cast<int>(c.x.size());
    channel_state ch = one_link(8, 1, 1, c.n, m);
    int counter = 0;
    testing::internal::CaptureStdout();
    interp_breakpoint_xsecs(ch, counter,
                            breakpoint_link{1, 8, 1, 0.035, {section(1, c.n, c.x, c.y)}}, 0);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(error_state.error_terminate, c.stops ? 1 : 0) << m;
    if (c.stops) {
      EXPECT_NE(out.find(c.message), std::string::npos) << out;
    }
  }
}

TEST_F(CrossSections, ErodibleNodesGetTheirOwnInterpolatedSections) {
  channel_state ch = one_link(8 | 2, 3, 3, 12, 3);
  int counter = 0;
  interp_breakpoint_xsecs(ch, counter,
                          breakpoint_link{1,
                                          8 | 2,
                                          3,
                                          0.035,
                                          {section(1, 12, {0.0, 1.0, 2.0}, {2.0, 0.0, 2.0}),
                                           section(3, 12, {0.0, 2.0, 4.0}, {4.0, 0.0, 4.0})}},
                          0);
  ASSERT_EQ(error_state.error_terminate, 0);
  EXPECT_EQ(counter, 3);
  // Side slopes (horizontal per vertical): 0.5 at every node; depths 2, 3 and 4.
  const double top[] = {0.0, 2.0, 3.0, 4.0};
  for (int j = 1; j <= 3; ++j) {
    const int t = ch.table_num[1 * 4 + j];
    EXPECT_EQ(t, j);
    EXPECT_NEAR(ch.ht_spc[t], top[j] / 12, 1e-15);
    for (int i = 1; i <= 12; ++i) {
      const double d = i * ch.ht_spc[t];
      EXPECT_NEAR(row(ch, ch.xarea, t, i), 0.5 * d * d, 1e-12) << j << " " << i;
      EXPECT_NEAR(row(ch, ch.xtw, t, i), d, 1e-12) << j << " " << i;
    }
  }
}

TEST_F(CrossSections, MeshConveyanceSlopeFollowsTheRectangle) {
  const double b = 10.0;
  const int n = 100;
  channel_state ch = one_link(8, 1, 1, n, 4);
  int counter = 0;
  interp_breakpoint_xsecs(
      ch, counter,
      breakpoint_link{1, 8, 1, 0.035, {section(1, n, {0.0, 0.0, b, b}, {1.0, 0.0, 0.0, 1.0})}}, 1);
  ASSERT_EQ(error_state.error_terminate, 0);
  const double h = ch.ht_spc[1];
  for (int i = 5; i < n; i += 7) {
    const double d = i * h;
    const double p = b + 2.0 * d;
    // dK/dA of a rectangle, from K = b d (b d / P)^(2/3) / n with A = b d.
    const double dkdd = (5.0 / 3.0 * std::pow(b * d / p, 2.0 / 3.0) * b -
                         2.0 / 3.0 * std::pow(b * d / p, 5.0 / 3.0) * 2.0) /
                        0.035;
    // The mean of the two neighbouring differences is second order in the step.
    EXPECT_NEAR(row(ch, ch.xdkda, 1, i), dkdd / b, 0.1 * (h / d) * (h / d) * dkdd / b) << i;
    EXPECT_GT(row(ch, ch.xi1, 1, i), 0.0);
  }
}

}  // namespace
}  // namespace pluvo
