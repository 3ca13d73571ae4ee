#pragma once
// Overland sediment set-up parts: water viscosity, settling velocity, the class order and the
// sediment output files.

namespace pluvo {

struct model_state;
struct ov_sed_record;

// Kinematic viscosity of water (m2/s) at a temperature in deg C.
double water_kinematic_viscosity(double temperature_c);

// Settling velocity (m/s) of a particle of the given diameter (mm) and specific gravity in water
// of the given kinematic viscosity; Stokes law up to 0.1 mm.
double settling_velocity(double diameter_mm, double specific_gravity, double viscosity);

// Splits the classes into wash load (finer than SAND_SIZE) and sand and fills sed_class: the
// wash-load classes first, then the sand classes, each group in class order.
void order_sediment_classes(ov_sed_record& s, double sand_size);

// Opens the sediment output files the options ask for; an unopenable one leaves code 4 with its
// kind and name in the error state, not yet reported.
void open_sediment_outputs(model_state& m);

}  // namespace pluvo
