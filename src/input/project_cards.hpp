#pragma once
// The card table of the project file: every keyword, its code, its argument form and the
// fields it stores into. The table is data; read_project_file walks it.
#include <cstddef>
#include <span>
#include <string>

#include "record/option_blocks.hpp"

namespace pluvo {

// The three blocks a card may store into.
struct card_blocks {
  option_files_block& o;
  run_parameters_block& r;
  precip_options_block& p;
};

// A field of one of the three blocks, named by a pointer to member.
template <class T>
struct card_field {
  T option_files_block::*o = nullptr;
  T run_parameters_block::*r = nullptr;
  T precip_options_block::*p = nullptr;

  constexpr card_field() = default;
  constexpr card_field(T option_files_block::*m) : o(m) {}
  constexpr card_field(T run_parameters_block::*m) : r(m) {}
  constexpr card_field(T precip_options_block::*m) : p(m) {}

  constexpr bool present() const { return o || r || p; }
  T* in(card_blocks& b) const {
    if (o) return &(b.o.*o);
    if (r) return &(b.r.*r);
    if (p) return &(b.p.*p);
    return nullptr;
  }
};

enum class card_form : unsigned char {
  file,          // file name into `name`
  file_flag,     // file name into `name`, `flag` set to 1
  flag,          // `flag` set to 1
  integer,       // number into `integer`
  integer_flag,  // `flag` set to 1, number into `integer`
  real,          // number into `real`
  real_flag,     // `flag` set to 1, number into `real`
  special,       // a handler of its own
  ignored,       // accepted and ignored
};

struct project_card {
  const char* keyword;  // upper case; matched without regard to case
  int code;
  card_form form;
  card_field<std::string> name{};
  card_field<int> flag{};
  card_field<int> integer{};
  card_field<double> real{};
};

// Card code of every line that is ignored: comments, empty lines, unknown keywords.
constexpr int ignored_card_code = 180;
constexpr int highest_card_code = 465;

// The whole table, in code order (synonyms follow the keyword their fields are named after).
std::span<const project_card> project_card_table();

// The row of a card code, or nullptr for a code without a keyword.
const project_card* find_project_card(int code);

struct input_state;

// A card or method whose process is not built yet. The option checks refuse a project that
// asks for any of them, naming each; the work that builds a process removes its rows.
struct unbuilt_request {
  const char* name;  // the card (and value) as the project file gives it
  const char* what;  // the process it asks for
  bool (*asked)(const input_state& cards);
};

// A card this version reads but gives no effect (no process uses it): the run goes on without
// it and says so, and a file it names need not exist.
std::span<const unbuilt_request> inert_cards();

// A command-line run mode whose driver is not built yet.
struct unbuilt_mode {
  int mode;            // the mode number of the command line
  const char* option;  // as typed
  const char* what;
};
// The row of a mode, or nullptr when the mode is built.
const unbuilt_mode* find_unbuilt_mode(int mode);

// Code of the message that names what is not built yet.
constexpr int unbuilt_error_code = 137;

// Cards and methods this version does not offer: no process of it simulates them. Refused like
// the unbuilt ones, under their own message.
std::span<const unbuilt_request> unoffered_requests();
constexpr int unoffered_error_code = 138;

}  // namespace pluvo
