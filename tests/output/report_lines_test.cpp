#include <gtest/gtest.h>

#include <string>

#include "output/report_lines.hpp"
#include "output_fixture.hpp"

namespace {

using pluvo::hydrograph_line;
using pluvo_test::capture;

TEST(HydrographLines, SixFormsOfTheOutletLineAndTheSixDecimalLine) {
  struct row {
    int long_term, strict, cfs;
    double time, q;
    const char* main;
    const char* six;
  } rows[] = {
      {0, 0, 0, 12.5, 1.25, "   12.50       1.25000000\n", "   12.50       1.25000000\n"},
      {0, 1, 0, 2451545.25, 1.25, "2451545.25000000       1.25000000\n",
       "2451545.25       1.25000000\n"},
      {1, 0, 0, 2000.5, 1.25, "   2000.50000000      1.2500\n", " 2000.50       1.25000000\n"},
      {0, 0, 1, 12.5, 44.14, "   12.50     44.140\n", "   12.50      44.14000000\n"},
      {0, 1, 1, 2451545.25, 44.14, "2451545.25000000      44.14000000\n",
       "2451545.25      44.14000000\n"},
      {1, 0, 1, 2000.5, 44.14, "   2000.50000000      44.14000000\n",
       " 2000.50      44.14000000\n"},
  };
  for (const row& r : rows) {
    hydrograph_line l;
    l.long_term = r.long_term;
    l.strict_julian = r.strict;
    l.cfs = r.cfs;
    l.time = r.time;
    l.discharge = r.q;
    std::string six;
    const std::string main = capture([&](std::FILE* f) {
      six = capture([&](std::FILE* g) { pluvo::write_hydrograph_lines(f, g, l); });
    });
    EXPECT_EQ(main, r.main) << r.long_term << r.strict << r.cfs;
    EXPECT_EQ(six, r.six) << r.long_term << r.strict << r.cfs;
  }
}

TEST(HydrographOutputTime, EveryMultipleOfTheIntervalAndEveryStepForOne) {
  const struct {
    int step, interval;
    bool out;
  } rows[] = {{0, 6, true}, {5, 6, false}, {6, 6, true}, {7, 6, false}, {12, 6, true},
              {1, 1, true}, {2, 1, true}, {3, 0, true}};
  for (const auto& r : rows)
    EXPECT_EQ(pluvo::hydrograph_output_time(r.step, r.interval), r.out) << r.step << "/" << r.interval;
}

TEST(DecimalYear, LeapYearsCountByTheYearsSince1900) {
  const struct {
    int year, doy, hour, minute;
    double expected;
  } rows[] = {
      {2001, 0, 0, 0, 2001.0},
      {2001, 1, 12, 0, 2001.0 + 2160.0 / 525600.0},
      {2000, 183, 0, 0, 2000.0 + 183.0 * 1440.0 / 527040.0},
      {1900, 183, 0, 0, 1900.0 + 183.0 * 1440.0 / 527040.0},  // 1900 counts as a leap year here
      {2004, 10, 6, 30, 2004.0 + (14400.0 + 390.0) / 527040.0},
  };
  for (const auto& r : rows)
    EXPECT_DOUBLE_EQ(pluvo::decimal_year(r.year, r.doy, r.hour, r.minute), r.expected) << r.year;
}

TEST(SummaryLine, DotsToColumnFiftyAndTheDecimalPointInColumnSixtySix) {
  const std::string label48(48, 'a'), label49(49, 'b'), label55(55, 'c');
  const struct {
    std::string label;
    double value;
    pluvo::summary_format format;
    int extra;
    std::string expected;
  } rows[] = {
      {"Total", 12.5, pluvo::summary_format::amount, 0,
       "Total " + std::string(44, '.') + std::string(13, ' ') + "12.50\n"},
      {"Error", -0.25, pluvo::summary_format::fine, 1,
       "Error " + std::string(44, '.') + std::string(13, ' ') + "-0.2500\n\n"},
      {label48, 1.0, pluvo::summary_format::amount, 0, label48 + " ." + std::string(14, ' ') + "1.00\n"},
      {label49, 1.0, pluvo::summary_format::amount, 0, label49 + " " + std::string(14, ' ') + "1.00\n"},
      {label55, 1.0, pluvo::summary_format::amount, 0, label55 + " " + std::string(14, ' ') + "1.00\n"},
      // An integer part that fills the field leaves exactly one blank before the value.
      {"Big", 123456789012345.0, pluvo::summary_format::amount, 0,
       "Big .............................................. 123456789012345.00\n"},
  };
  for (const auto& r : rows) {
    const std::string text = capture([&](std::FILE* f) {
      pluvo::write_summary_line(f, r.label.c_str(), r.value, r.format, r.extra);
    });
    EXPECT_EQ(text, r.expected) << r.label;
    if (r.label.size() <= 48 && r.value < 1e12) {
      EXPECT_EQ(text.find('.', 50), 65u) << r.label;
    }
  }
}

TEST(BalancePercent, NothingToDivideByGivesNoError) {
  EXPECT_DOUBLE_EQ(pluvo::balance_percent(1.0, 200.0), 0.5);
  EXPECT_DOUBLE_EQ(pluvo::balance_percent(5.0, 0.0), 0.0);
  EXPECT_DOUBLE_EQ(pluvo::balance_percent(5.0, -3.0), 0.0);
}

}  // namespace
