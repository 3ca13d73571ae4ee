#pragma once
// The program's entry point and its command-line modes.

namespace pluvo {

struct command_line {
  int mode = 0;           // 1..11, 0 before parsing
  char file_name[2056] = {};
};

// The program: returns what main returns (the driver's result in mode 1, else 0).
int pluvo_main(int argc, char** argv);

// Fills the record; returns the run count, or -1 after printing the usage text.
int parse_command_line(int argc, char** argv, command_line& cl);

void print_usage();
void print_version();

// Finds the number of grid position k among the non-zero cells, row by row.
void print_index_triples(int** grid, int rows, int columns, int count, const int* row_list,
                         const int* col_list, int* number_list, int k);

}  // namespace pluvo
