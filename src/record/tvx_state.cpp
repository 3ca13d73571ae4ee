#include "record/tvx_state.hpp"

#include <cstdio>

namespace pluvo {

namespace {

constexpr const char* stream_names[tvx_water_count] = {"nutr_st-NO2", "nutr_st-NO3", "nutr_st-NH4",
                                                       "nutr_st-ON",  "nutr_st-OP",  "nutr_st-DP",
                                                       "nutr_st-Alg", "nutr_st-CBOD", "nutr_st-DO"};

}  // namespace

void name_tvx_constituent_arrays(tvx_constituent& c, const char* base) {
  const struct {
    checked_array<double>* array;
    const char* suffix;
  } arrays[] = {{&c.conc, "conc"},         {&c.mass, "mass"}, {&c.dmdt, "dmdt"}, {&c.fracdiss, "fracdiss"},
                {&c.fracbnd, "fracbnd"},   {&c.Km, "Km"},     {&c.fsum, "fsum"}, {&c.maxconc, "maxconc"}};
  char name[sizeof c.conc.name];
  for (const auto& a : arrays) {
    std::snprintf(name, sizeof name, "%s-%s", base, a.suffix);
    a.array->set_name(name);
  }
}

void name_tvx_stream_constituents(tvx_streams& s) {
  for (int k = 0; k < tvx_water_count; ++k) name_tvx_constituent_arrays(s.species[k], stream_names[k]);
  s.dissOrgC.set_name("nutr_st-dissOrgC");
  s.dissOrgC_FOC.set_name("nutr_st-dissOrgC_FOC");
  s.dispersion.set_name("nutr_st-dispersion");
  s.slots.set_name("nutr_st-list");
}

tvx_streams::tvx_streams() { name_tvx_stream_constituents(*this); }

aq_env_record::aq_env_record() {
  id_rows.set_name("aq_env-id_rows");
  ov_index.set_name("aq_env-ov_index");
}

}  // namespace pluvo
