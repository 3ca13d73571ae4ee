// make_stream_network MASK ELEVATION THRESHOLD OUTPUT_BASE [MIN_SLOPE [MANNINGS_N]]
// Writes OUTPUT_BASE.chn (channel input), .stm (grid-stream), .lnk and .nod (link and node maps).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "stream_network.hpp"

namespace {

bool write_file(const std::string& path, const std::string& text) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && ok;
}

bool parse_number(const char* text, double& value) {
  char* end = nullptr;
  value = std::strtod(text, &end);
  return end != text && *end == '\0';
}

}  // namespace

int main(int argc, char** argv) {
  using namespace pluvo::netgen;
  if (argc < 5 || argc > 7) {
    std::fprintf(stderr,
                 "usage: make_stream_network MASK ELEVATION THRESHOLD OUTPUT_BASE [MIN_SLOPE "
                 "[MANNINGS_N]]\n");
    return 2;
  }
  network_options options;
  double threshold = 0;
  if (!parse_number(argv[3], threshold) || threshold < 1 || threshold > 1e9 ||
      threshold != static_cast<long>(threshold) ||
      (argc > 5 && !parse_number(argv[5], options.min_slope)) ||
      (argc > 6 && !parse_number(argv[6], options.mannings_n))) {
    std::fprintf(stderr, "make_stream_network: THRESHOLD must be a whole number of cells >= 1, "
                         "MIN_SLOPE and MANNINGS_N numbers\n");
    return 2;
  }
  options.threshold = static_cast<long>(threshold);
  ascii_grid mask, elevation;
  stream_network net;
  std::string error;
  if (!read_ascii_grid(argv[1], mask, error) || !read_ascii_grid(argv[2], elevation, error) ||
      !build_stream_network(mask, elevation, options, net, error)) {
    std::fprintf(stderr, "make_stream_network: %s\n", error.c_str());
    return 1;
  }
  const std::string base = argv[4];
  const char* ext[4] = {".chn", ".stm", ".lnk", ".nod"};
  const std::string text[4] = {channel_file_text(net), grid_stream_file_text(net),
                               link_map_text(net), node_map_text(net)};
  for (int k = 0; k < 4; ++k)
    if (!write_file(base + ext[k], text[k])) {
      std::fprintf(stderr, "make_stream_network: cannot write %s%s\n", base.c_str(), ext[k]);
      return 1;
    }
  long outlet_nodes = net.links.back().nodes;
  std::printf("%d links, %d stream cells, MAXNODES %d, outlet link %zu with %ld nodes\n",
              static_cast<int>(net.links.size()) - 1, net.stream_cells, net.max_nodes,
              net.links.size() - 1, outlet_nodes);
  return 0;
}
