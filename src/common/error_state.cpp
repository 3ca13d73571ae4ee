#include "common/error_state.hpp"

#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "common/checked_file.hpp"
#include "common/console.hpp"

namespace pluvo {

error_state_record error_state;
checked_file* error_log_file = nullptr;
bool pause_on_exit = false;
bool run_stopped_on_error = false;

void set_error(int32_t code, const std::string& kind, const std::string& name) {
  error_state.error_code = code;
  error_state.error_terminate = 1;
  if (!kind.empty()) error_state.error_file_kind = kind;
  if (!name.empty()) error_state.error_file_name = name;
}

std::string error_message_text(const error_state_record& state) {
  const std::string& kind = state.error_file_kind;
  const std::string& name = state.error_file_name;
  const std::string arg1 = std::to_string(state.error_arg1);
  const std::string arg2 = std::to_string(state.error_arg2);
  switch (state.error_code) {
    case 1:
      return std::string("Error: Can't open file debug.out\n");
    case 2:
      return std::string("Error: You must give the name of a valid PLUVO project file as a command line\nargument.\n");
    case 3:
      return std::string("Error: The specified project file was not found.\n");
    case 4:
      return std::string("Error: Unable to open ") + kind + " file.\n  (File: " + name + ")\n";
    case 5:
      return std::string("Error: PLUVO not compiled with PAXL, but PAXL file format specified\n");
    case 6:
      return std::string("Error: You have specified both spatially-varied and uniform Manning roughness\nusing both the ROUGHNESS and MANNING_N project file cards.  Only one of\nthese may be specified.  Select only one option.\n");
    case 7:
      return std::string("Error: You have specified both the Penman Montieth and Deardorff\nevapo-transpiration calculation methods.  Only one may be \nspecified for long-term simulations.  Select only one method.\n");
    case 8:
      return std::string("Error: You have specified two of either the Surface Airways, SAMSON, or KAL\nhydromet. file input type.  Only one file type may be specified for GINT-\nterm simulations.  Select only one method.  Check your project file.\n");
    case 9:
      return std::string("Error: You have specified neither the Penman Montieth or Deardorff\nevapo-transpiration calculation methods.  One method must be \nspecified for long-term simulations.  Select only one method.\n");
    case 10:
      return std::string("Error: You have specified both a rain gage file, and uniform rainfall\noptions.  These options are mutually exclusive.  Please select\nonly one option.\n");
    case 11:
      return std::string("Error: You have an error in your input due to one of the following:\n\n - You have not specified a precipitation card in your project file.\n   One of either PRECIP_UNIF or PRECIP_FILE must be specified.\n   The PRECIP_FILE card must be followed by the name of the precipitation\n   input data file.  If PRECIP_UNIF is specified, then the RAIN_DURATION\n   and RAIN_INTENSITY cards must also be given, followed by the proper values\n - You have specified spatially-uniform rainfall with either a zero\n   rate or duration.  Please check that your rain rate in mm/h or\n   rain duration in minutes are both non-zero.\n");
    case 12:
      return std::string("Error: The number of X-windows plot ordinates ") + arg1 + " is greater than the dimension of the array " + arg2 + "\n";
    case 13:
      return std::string("Error: The project file specifies X-Windows plotting, but does not specify what to plot.\nYou must include one or more of the following cards: XRAIN, XDEPTH, or XINFDEP\n");
    case 14:
      return std::string("Warning: X-Windows Graphics Warning:\nThe project file specifies X-Windows plotting of channel flow depth, but does\nnot specify a channel routing method card.  This plotting routine\ncan only plot channel flow depth when using channel routing.  Plotting of\nchannel flow depth disabled.\nYou must include the one of the following cards: CHAN_EXPLIC to enable\nplotting of channel flow depth in an X-window.\n\n");
    case 15:
      return std::string("Error: The project file specifies X-Windows plotting, but does not specify how often to plot.\nYou must include the following card: X_FREQ  N, where N is the plotting frequency.\n");
    case 16:
      return std::string("Warning: X-Windows Graphics Warning:\nThe project file specifies X-Windows plotting of infiltrated depth, but does\nnot specify an infiltration method card.  This plotting routine\ncurrently only plots infiltrated depth when using the Green & Ampt or\nGreen & Ampt with redistribution methods.  Plotting of infiltrated depth\ndisabled.\nYou must include the one of the following cards: INF_REDIST or GREEN_AMPT\nto enable plotting of infiltrated depth in an X-window.\n\n");
    case 17:
      return std::string("X-Windows Graphics Warning:\nThe project file specifies X-Windows plotting of soil surface moisture, but\ndoes not specify an infiltration method card.  This plotting routine\ncurrently plots soil surface water content when using the Green & Ampt,\nGreen & Ampt with redistribution or Richards Equation.  Plotting of soil\nsurface water content disabled.\nYou must include the one of the following cards: INF_REDIST, GREEN_AMPT\nor INF_RICHARDS to enable plotting of surface water content in an X-window.\n\n");
    case 18:
      return std::string("Error: The project file specifies both plotting of cumulative infiltrated depth via the\nXINFDEP card and plotting of soil surface water content via the XSURF card.\nOnly one of the cards may be present in the project, because they are drawn\nin the same region of the X-Window.  Remove one of the cards.\n");
    case 19:
      return std::string("Error: Either your XWIN_WIDTH is less than 750 or XWIN_HEIGHT is less than 500 pixels.\nThese are the minimum values that allow legible plotting in the X-Window.  Make\nthe values in your project file at least as large as these lower limits.\nAdvanced apologies to those executing this program on a Palm Pilot.\n");
    case 20:
      return std::string("Error: For long-term simulations, you must specify the redistribution form\nof the Green and Ampt infiltration equation.  Redistribution requires\nvalues of pore distribution index and residual saturation in addition\nto the 4 standard Green and Ampt parameters (hydraulic conductivity,\ncapillary head, porosity, and initial soil moisture content).\n\nChange the infiltration option to Green & Ampt with redistribution\nand specify the 6 required parameters.\n");
    case 21:
      return std::string("Error: Albedo values not specified for long term simulation. Check project file.\n");
    case 22:
      return std::string("Error: Vegetation height values not specified for Penman-Montieth long term simulation.\n Check project file.\n");
    case 23:
      return std::string("Error: Transmission coeff. values not specified for Penman-Montieth long term simulation.\n Check project file.\n");
    case 24:
      return std::string("Error: tomatal resistance values not specified for Penman-Montieth long term simulation.\n Check project file.\n");
    case 25:
      return std::string("Error: Wilting point values not specified for Penman-Montieth long term simulation.\n Check project file.\n");
    case 26:
      return std::string("Error: You have specified both Green and Ampt and multi-layered\nsoil infiltration.  Please select only one in the \nproject file.\n");
    case 27:
      return std::string("Error: You have specified both redistribution and multi-layered\nsoil infiltration.  Please select only one in the \nproject file. \n");
    case 28:
      return std::string("Error: You have specified both Green and Ampt and Richards\nsoil infiltration.  Please select only one in the \nproject file. \n");
    case 29:
      return std::string("Error: You have specified both Green and Ampt and Richards\nsoil infiltration.  Please select only one in the \nproject file. \n");
    case 30:
      return std::string("Error: You have specified both redistribution and Richards\nsoil infiltration.  Please select only one in the \nproject file. \n");
    case 31:
      return std::string("Error: You have specified both Layered Soil and Richards\nsoil infiltration.  Please select only one in the \nproject file. \n");
    case 32:
      return std::string("Error: Groundwater cell vertical grid size not specified in project file.\nIf you are simulating the influence of the water table on Richards\nequation, you must put the AQUIFER_DELTA_Z card in the project file.\n");
    case 33:
      return std::string("Error: You have chosen both Green and Ampt and Redististribution\nChoose one or the other and try again\n");
    case 34:
      return std::string("Error: Both the drain and backwater channel initialization methods have been\nselected.  Only one method may be specified. \n");
    case 35:
      return std::string("Error: Preissmann implicit channel routing is not supported by PLUVO.\nSelect explicit channel routing method. \n");
    case 36:
      return std::string("Error: Both the implicit and explicit channel routing methods have been\nselected.  Only one method may be specified. \n");
    case 37:
      return std::string("Error: Both the explicit and mesh channel routing methods have been\nselected.  Only one method may be specified.  Program terminated\n");
    case 38:
      return std::string("You have specified both spatially-varied and uniform porosity for\ngroundwater soil using both the gw_unif_porosity and gw_porosity_map\nproject file cards. Only one of these may be specified.\nSelect only one option.\n");
    case 39:
      return std::string("Warning: You have specified neither spatially-varied, uniform, or mapping table porosity for\ngroundwater soil without using both the gw_unif_porosity and\ngw_porosity_map project file cards. Groundwater porosities will be the.\nsame as those in the last layer of your soil input table.\n");
    case 40:
      return std::string("You have specified both spatially-varied and uniform hydraulic\nconductivity for groundwater soil using both the gw_unif_hycond and\ngw_hycond_map project file cards. Only one of these may be specified.\nSelect only one option.\n");
    case 41:
      return std::string("Warning: You have specified neither spatially-varied, uniform, or mapping table hydraulic \nconductivity for groundwater soil without using both the gw_unif_hycond\nand gw_hycond_map project file cards. Groundwater hydraulic conductivies \nwill be taken from the soil input table.\n");
    case 42:
      return std::string("Error: You have specified both groundwater routing and Sacramento soil moisture\naccounting.  These two methods are mutually-exclusive.  Use one or the other.\n");
    case 43:
      return std::string("Error: You have specified that PLUVO is being run within QIR, but you did\nnot specify the model(s) that are being co-run.  The present options are:\nOMBA.  If you want to run with OMBA for instance, you must place the OMBA\nproject file card in the project file. \n");
    case 44:
      return std::string("Error: PLUVO is running within QIR in event mode.  The QIR_EVENT_NUM card\nwas placed in the PLUVO project file without an argument.  The\nQIR_EVENT_NUM card must be followed by a GINT int argument that specifies\nthe event number to be simulated.  If 'QIR_EVENT_NUM 0' is specified,\nthen PLUVO writes out all available precip. events into the file named\nQIR_PRECIP.SUM, and terminates.  If the QIR_EVENT_NUM argument is greater than\n0, then that particular event is simulated.  Check the project file. \n");
    case 45:
      return std::string("Error: Groundwater simulations in PLUVO within the QIR environment\nare not yet supported. \n");
    case 46:
      return std::string("Error: You have specified that PLUVO is being run with OMBA, but you did\nnot specify that PLUVO is being run within the QIR environment.\nPLUVO only runs with OMBA in the QIR environment.  You must place the\nQIR project file card in the project file, and pay close attention to\nstart-up conditions. (e.g. QIR_EVENT_NUM card). \n");
    case 47:
      return std::string("Error: Unable to open PAXL data source ") + kind + ", " + name + ".\n";
    case 48:
      return std::string("Error: Can't open theta location output file: ") + name + "\nYou specify the name of the output file which will contain the soil moisture\nordinates at the points specified in the file " + kind + "\nThis is done by using the OUT_THETA_LOCATION card in the project file.\n";
    case 49:
      return std::string("Error: Can't open concentration location output file: ") + kind + "\nYou specify the name of the output file which will contain the concentration\nordinates at the points specified in the file " + name + "\nThis is done by using the OUT_CON_LOCATION card in the project file.\n";
    case 50:
      return std::string("Error: Can't open depth location output file: ") + kind + "\nYou specify the name of the output file which will contain the depth\nordinates at the points specified in the file " + name + "\nThis is done by using the OUT_DEP_LOCATION card in the project file.\n";
    case 51:
      return std::string("Error: Can't open hydrograph location output file: ") + kind + "\nYou specify the name of the output file which will contain the hydrograph\nordinates at the points specified in the file " + name + "\nThis is done by using the OUT_HYD_LOCATION card in the project file.\n";
    case 52:
      return std::string("Error: Time step is 0 seconds.\n");
    case 53:
      return std::string("Error: Time step is greater than 60 seconds.\n");
    case 54:
      return std::string("Error: The time step (") + arg1 + ") must be evenly divisible into 60 seconds.\n";
    case 55:
      return std::string("Warning: Write hydrograph time step not specified, defaulting to 1 hour.\n");
    case 56:
      return std::string("Error: Outlet slope not specified, is zero, or is negative.\n");
    case 57:
      return std::string("Error: Latitude and longitude of basin centroid required for long-term simulations.\nSpecify these in the project file using keywords 'latitude' and 'longitude'\n");
    case 58:
      return std::string("Error: GMT time offset required for long-term simulations.\nSpecify the offset in the project file using keyword 'GMT'\n");
    case 59:
      return std::string("Error: Can't open output file: ") + name + "\n";
    case 60:
      return std::string("Error: Unable to open the PAXL file ") + name + " for output.\n";
    case 61:
      return std::string("Error: Unable to open output data set group ") + name + " for writing in the grid " + kind + " of the PAXL file.";
    case 62:
      return std::string("Error: Unable to create ") + name + " map in the PAXL file\n";
    case 63:
      return std::string("Error: Unable to open output data set group ") + name + " for writing in the stream " + kind + " of the PAXL file.";
    case 64:
      return std::string("Unable to open Mapping Table file: ") + name + "\n";
    case 65:
      return std::string("Unable to open index file ") + name + "\n";
    case 66:
      return std::string("Problem reading mapping table file -- no entries found in table ") + kind + " (NUM_IDS is 0)\n";
    case 67:
      return std::string("There is a problem with the wetlands index map.  It contains\n") + arg1 + " ID's, while the mapping table file contains " + arg2 + " ID's.\nThe index map and mapping table file must have the same number\nof ID's. \n";
    case 68:
      return std::string("The number of wetland ids specified in the master table file \nis over 300!  This is highly unusual.  I'm bombing... in a   \ndazed and confused state.  So many wetlands!\n");
    case 69:
      return std::string("Error reading the contaminant transport tables in the mapping table file.\n");
    case 70:
      return std::string("Unexpected end of file in file: ") + name + "\n";
    case 71:
      return std::string("Index ID exceeds table limit, file: ") + name + " [row " + arg1 + ":col " + arg2 + "]\n";
    case 72:
      return std::string("Incorrect number of rows and columns in map: ") + name + "\n";
    case 73:
      return std::string("Incorrect number of rows in map: ") + name + "\n";
    case 74:
      return std::string("Incorrect number of columns in map: ") + name + "\n";
    case 75:
      return std::string("Error: There were ") + arg1 + " errors trying to open the nutrient output files.\nThe last error was: unable to open nutrient output file " + name + ".\n";
    case 76:
      return std::string("Error: unable to open the aquatic environment file ") + name + ".\n";
    case 77:
      return std::string("Error: The header for the aquatic environment file is invalid or does not match \n the current version. \n The aquatic environment file specified is: ") + name + "\n The header should be : " + kind;
    case 78:
      return std::string("Error: An index [") + arg1 + "] in the aquatic environment table is greater than the\nnumber of IDs specified [" + arg2 + "]\n";
    case 79:
      return std::string("Error: The NUTRIENTS card in the project file must be specified before the ") + kind + " card\n";
    case 80:
      return std::string("Error: Unable to open the nutrient file ") + name + "\n";
    case 81:
      return std::string("Error: Unable to open the overland Aquatic Environment map.\n");
    case 82:
      return std::string("Error: Unable to open the nutrient summary file\n");
    case 83:
      return std::string("Error: Unable to open the overland pump file\n");
    case 84:
      return std::string("Error: The OV_BOUNDARY card has been specified in the project file but the \n       OVERLAND_BOUNDARY table was not found...\n");
    case 85:
      return std::string("Error: Incorrect usage of the RATING_CURVE card. It should be STRUCTTYPE RATING_CURVE \"elev series name\"\nThe elevation series is missing\n");
    case 86:
      return std::string("Error: The elevation series for a RATING_CURVE card is not found. Make sure that the elevation series\n file is in the project file before the channel input file and that the elevation series is defined.");
    case 87:
      return std::string("Error: Incorrect usage of the SCHEDULED_RELEASE card. It should be STRUCTTYPE SCHEDULED_RELEASE \"time series name\"\nThe time series is missing\n");
    case 88:
      return std::string("Error: The time series for a SCHEDULED_RELEASE card is not found. Make sure that the time series\n file is in the project file before the channel input file and that the time series is defined.");
    case 89:
      return std::string("Error: Incorrect usage of the RULE_CURVE card. It should be STRUCTTYPE RULE_CURVE \"elev series name\"\nThe elevation series is missing\n");
    case 90:
      return std::string("Error: The elevation series for a RULE_CURVE card is not found. Make sure that the elevation series\n file is in the project file before the channel input file and that the elevation series is defined.");
    case 91:
      return std::string("Error: The number of sediments specified in the SEDIMENTS table is ") + arg1 + " while the number of sediments \nspecified in the SED_EROS_PROPS table is " + arg2 + ". The values must match.\n";
    case 92:
      return std::string("Error: Sediment transport specified but sediments table missing in the .cmt file.\n");
    case 93:
      return std::string("Error: Unable to read the soil erosion properties table from mapping table file\n");
    case 94:
      return std::string("Error: 0.0 values for roughness found. Check the roughness map/table\n");
    case 95:
      return std::string("Warning: There are no segments in the Q4 segment map.\n");
    case 96:
      return std::string("Warning: The PLUVO to Q4 internal segment flux option is turned on\nBut there are no segments in the Q4 segment map or in the link-node to segment file.\n");
    case 97:
      return std::string("Error: In the Q4 internal stream flux to segment file, some link/node pairs \nrefer to a segment of 0 or a segment that is not in the segment map file.\n");
    case 98:
      return std::string("Error: Unable to open the Q4 internal flux output file [") + name + "].\n";
    case 99:
      return std::string("Too many super-junctions (>1000!) in superlink.  Your network is too large.\n");
    case 100:
      return std::string("Too many nodes (>50!) in one link in superlink.  Your network is too large.\n");
    case 101:
      return std::string("Too many superlinks (>1000!) in superlink.  Your network is too large.\n");
    case 102:
      return std::string("Error in creating radar mapping to grid.\n");
    case 103:
      return std::string("Error: unable to read value for CALIB_COMP_DATA. Please provide one of DAILY, EVENT. \n");
    case 104:
      return std::string("Error: unable to read value for CALIB_OBJ_FUNC. Please provide one of RMSE, HMLE. \n");
    case 105:
      return std::string("Error: Calibration is turned on but one or more values for CALIB_COMP_DATA, CALIB_OBJ_FUNC are invalid.\n");
    case 106:
      return std::string("Error: Unable to calibration observed data file (CALIB_OBS_DATA) : ") + name + ".\n";
    case 107:
      return std::string("Error: Invalid header line in the observed data file. Should be OBS_DATA_FILE.\n");
    case 108:
      return std::string("Error: Invalid NUM_LOCATIONS line in the observed data file. \nIt should be the second line in the file.\n");
    case 109:
      return std::string("Error: Invalid NUM_DATA_POINTS line in the observed data file. \nIt should be the third line in the file.\n");
    case 110:
      return std::string("Error: The number of output locations in the observed data file \ndoes not match the number of output locations in the outlet \nhydrograph file.\n");
    case 111:
      return std::string("Error: Invalid data line in the observed data file. Check file.\n");
    case 112:
      return std::string("Error: More event/daily values in the observed data file than specified by the NUM_DATA_POINTS value. Check file.\n");
    case 113:
      return std::string("Error: A location number is not valid in the observed data file. Check file.\n");
    case 114:
      return std::string("Error: Reached end of observed data file before finding all of the data values. Check file.\n");
    case 115:
      return std::string("Unable to open stream map file ") + name + "\n";
    case 116:
      return std::string("Stream map file does not use correct header (file: ") + name + ")\n";
    case 117:
      return std::string("NLINKS or MAXNODES card in stream map file does not match channel input file (file: ") + name + ")\n";
    case 118:
      return std::string("Error reading data from stream map file. Check to make sure that the correct number of \ndata points exist for each link. (file: ") + name + ")\n";
    case 119:
      return std::string("Error: Nutrient constituent to use mapping table for input value but no mapping table exists (Grid): ") + kind + "\n";
    case 120:
      return std::string("Error: Nutrient constituent to use mapping table for input value but no mapping table exists (Stream): ") + kind + "\n";
    case 121:
      return std::string("Error: Unable to open the stream Aquatic Environment map.\n");
    case 122:
      return std::string("no convergence in culvert critical depth routine\n");
    case 123:
      return std::string("arch culverts not yet supported in subroutine crit_calc() \n");
    case 124:
      return std::string("Root must be bracketed in ZBRENT\n");
    case 125:
      return std::string("Error: The number of contaminants is not a positive value.\n");
    case 126:
      return std::string("Error: the mapping table for the groundwater table is not set up correctly. Check index map file names.\n");
    case 127:
      return std::string("Error: Stream head boundary time series (") + kind + ") can not be found. Check project file.\n";
    case 128:
      return std::string("You are trying to simulate TVX soil dynamics without specifying a soil bulk density table.\n");
    case 130:
      return std::string("Error: unable to open the nutrient summary file.\n");
    case 131:
      return std::string("Error: Pipe invert must be above the bottom of the aquifer\n");
    case 132:
      return std::string("You are trying to simulate Richards' Equation soil dynamics but without using a valid soil type index map.\nIndex map filename = ") + name + "\n";
    case 133:
      return std::string("Error: NaN error in groundwater tile exchange\n");
    case 134:
      return std::string("PLUVO crashed during an update of Superlink, Check your Superlink/Supernode network/numbering ") + name + "\n";
    case 135:
      return std::string("Error: observed data file improperly formatted.\n");
    case 136:
      return std::string("You are trying to simulate MLGA soil dynamics but without using a valid soil type index map.\nIndex map filename = ") + name + "\n";
    case 137:
      return std::string("Error: This version of PLUVO cannot do what was asked; not built yet:\n") + name +
             "Remove these from the project file or the command line.  Nothing was run.\n";
    case 138:
      return std::string("Error: This version of PLUVO does not offer what was asked:\n") + name +
             "Remove these from the project file.  Nothing was run.\n";
    case 139:
      return std::string("Error: SOIL_CON_TRANS needs OV_CON_TRANS: the constituents of the soil are set up and fed by "
                         "the overland transport.\nAdd OV_CON_TRANS or remove SOIL_CON_TRANS.\n");
    case 200:
      return std::string("Program termanated due to invalid channel input file ") + name + "\n";
    case 300:
      return std::string("Program termanated due to NaN in the non-SUPERLINK drain system ") + name + "\n";
    default:
      return std::string();
  }
}

namespace {

bool is_warning(int32_t code) {
  switch (code) {
    case 14: case 16: case 17: case 39: case 41: case 55: case 95: case 96: case 301:
      return true;
    default:
      return false;
  }
}

std::FILE* log_stream() { return error_log_file ? error_log_file->stream : nullptr; }

// Reports may come from worker threads of a parallel loop; each must print whole.
std::mutex report_mutex;

}  // namespace

namespace {

void report_locked(error_state_record& state) {
  const int32_t code = state.error_code;
  if (code > 0) {
    write_log_message(log_stream(), "\n");
    state.error_terminate = 1;
    write_log_message(log_stream(), error_message_text(state).c_str());
    if (is_warning(code)) state.error_terminate = 0;
    if (code == 200 || code == 300) state.error_fatal = 1;
  }
  if (state.error_terminate && state.error_fatal) {
    std::fputs("PLUVO Terminated.\n", stdout);
    std::fflush(stdout);
    wait_for_key_on_exit();
    return;
  }
  state.error_code = 0;
}

}  // namespace

void report_error(error_state_record& state) {
  std::lock_guard<std::mutex> lock(report_mutex);
  report_locked(state);
}

void stop_run(const char* format, ...) {
  char text[4096];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  std::lock_guard<std::mutex> lock(report_mutex);
  write_log_message(log_stream(), text);
  error_state.error_code = 4000;
  error_state.error_terminate = 1;
  report_locked(error_state);
}

void wait_for_key_on_exit() {
  if (!pause_on_exit) return;
  std::fputs("Program terminated.  Hit any key to continue.\n", stderr);
  // Unattended runs never block.
  if (isatty(fileno(stdin))) std::getchar();
}

}  // namespace pluvo
