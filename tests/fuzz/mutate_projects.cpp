// Mutates the example projects as a careless user might and runs the program on each, looking
// for what bad input must never do: crash, trip a sanitizer, hang, change an input file, or
// finish with status 0 having written NaN. Deterministic for a given seed; bounded in time.
//
//   pluvo_fuzz --binary PATH --examples DIR [--seconds S] [--runs N] [--seed N] [--out DIR]
//
// Exit status 0 when nothing was found, 1 when something was (each finding is kept under --out
// with the mutated project, the program's output and a note of the mutation).
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct options {
  std::string binary;
  std::string examples;
  std::string out = "fuzz-findings";
  double seconds = 40.0;
  long runs = -1;  // no limit but the time
  unsigned long long seed = 1;
  int run_timeout = 30;  // seconds one run may take before it counts as a hang
};

using file_set = std::map<std::string, std::string>;  // name in the project folder -> bytes

std::string read_all(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void write_all(const fs::path& p, const std::string& text) {
  std::ofstream out(p, std::ios::binary);
  out << text;
}

struct example {
  std::string name;
  std::string project;  // the project file's name
  file_set files;
};

// Every example folder with one project file; its run is cut short so an execution takes
// a fraction of a second (the cards the mutations change are what matter, not a long run).
void load_examples(const std::string& root, std::vector<example>& list) {
  if (!fs::is_directory(root)) return;
  std::vector<fs::path> folders;  // in name order, so that a seed picks the same projects anywhere
  for (const auto& dir : fs::directory_iterator(root)) folders.push_back(dir.path());
  std::sort(folders.begin(), folders.end());
  for (const fs::path& folder : folders) {
    const fs::directory_entry dir(folder);
    if (!dir.is_directory()) continue;
    example e;
    e.name = dir.path().filename().string();
    for (const auto& f : fs::directory_iterator(dir.path())) {
      if (!f.is_regular_file()) continue;
      const std::string name = f.path().filename().string();
      // Outputs of an earlier demo run in the source tree are not part of the project.
      const std::string ext = f.path().extension().string();
      if (ext == ".sum" || ext == ".hyd" || name == "maskmap" || name == "out_time.out" || name == "evap_out")
        continue;
      e.files[name] = read_all(f.path());
      if (f.path().extension() == ".prj") e.project = name;
    }
    if (e.project.empty()) continue;
    std::string& prj = e.files[e.project];
    const size_t at = prj.find("\nTOT_TIME ");
    if (at != std::string::npos) prj.replace(at, prj.find('\n', at + 1) - at, "\nTOT_TIME 10");
    list.push_back(std::move(e));
  }
}

const char* const interesting[] = {
    "0", "-1", "-9999", "-3.4e38", "1e9", "1e308", "nan", "inf", "-inf", "2147483647", "-2147483648",
    "4294967296", "13", "25", "61", "0.5", "1.5", "100", "", "x", "\"\"", "%s%n", "1e-320", "99999999999999999999",
};

struct mutator {
  std::mt19937_64 rng;
  std::string note;

  size_t pick(size_t n) { return n ? size_t(rng() % n) : 0; }
  const char* value() { return interesting[pick(sizeof interesting / sizeof *interesting)]; }

  static std::vector<std::pair<size_t, size_t>> tokens(const std::string& t) {
    std::vector<std::pair<size_t, size_t>> list;
    for (size_t i = 0; i < t.size();) {
      while (i < t.size() && std::isspace(static_cast<unsigned char>(t[i]))) ++i;
      const size_t start = i;
      while (i < t.size() && !std::isspace(static_cast<unsigned char>(t[i]))) ++i;
      if (i > start) list.push_back({start, i - start});
    }
    return list;
  }
  static std::vector<std::pair<size_t, size_t>> lines(const std::string& t) {
    std::vector<std::pair<size_t, size_t>> list;
    for (size_t i = 0; i < t.size();) {
      const size_t end = t.find('\n', i);
      const size_t stop = end == std::string::npos ? t.size() : end + 1;
      list.push_back({i, stop - i});
      i = stop;
    }
    return list;
  }

  // One mutation of one file; the project file is chosen more often, as users edit it most.
  void mutate(file_set& files, const std::string& project) {
    std::vector<std::string> names;
    for (const auto& f : files) names.push_back(f.first);
    const std::string name = pick(3) == 0 ? names[pick(names.size())] : project;
    std::string& t = files[name];
    const auto toks = tokens(t);
    const auto ls = lines(t);
    switch (pick(9)) {
      case 0:
      case 1: {  // a number or word becomes an awkward value
        if (toks.empty()) break;
        const auto [at, len] = toks[pick(toks.size())];
        const std::string v = value();
        note += name + ": token '" + t.substr(at, len) + "' -> '" + v + "'\n";
        t.replace(at, len, v);
        break;
      }
      case 2: {  // a card names another file of the project (an output over an input, or two outputs)
        if (name != project || ls.size() < 2) break;
        const auto [at, len] = ls[1 + pick(ls.size() - 1)];
        const std::string line = t.substr(at, len);
        const size_t blank = line.find(' ');
        if (blank == std::string::npos) break;
        const std::string other = names[pick(names.size())];
        note += name + ": '" + line.substr(0, line.size() - 1) + "' names " + other + "\n";
        t.replace(at, len, line.substr(0, blank + 1) + other + "\n");
        break;
      }
      case 3: {  // a line lost
        if (ls.empty()) break;
        const auto [at, len] = ls[pick(ls.size())];
        note += name + ": line deleted: " + t.substr(at, std::min<size_t>(len, 80)) + "\n";
        t.erase(at, len);
        break;
      }
      case 4: {  // a line twice
        if (ls.empty()) break;
        const auto [at, len] = ls[pick(ls.size())];
        note += name + ": line doubled at " + std::to_string(at) + "\n";
        t.insert(at, t.substr(at, len));
        break;
      }
      case 5: {  // the file cut short
        const size_t at = pick(t.size() + 1);
        note += name + ": cut at byte " + std::to_string(at) + " of " + std::to_string(t.size()) + "\n";
        t.resize(at);
        break;
      }
      case 6: {  // stray bytes
        const int n = 1 + int(pick(4));
        for (int i = 0; i < n && !t.empty(); ++i) t[pick(t.size())] = char(pick(256));
        note += name + ": " + std::to_string(n) + " bytes changed\n";
        break;
      }
      case 7: {  // a value lost from a row
        if (toks.empty()) break;
        const auto [at, len] = toks[toks.size() - 1 - pick(std::min<size_t>(toks.size(), 20))];
        note += name + ": token '" + t.substr(at, len) + "' deleted\n";
        t.erase(at, len);
        break;
      }
      default: {  // a line far longer than any buffer
        const size_t at = ls.empty() ? 0 : ls[pick(ls.size())].first;
        note += name + ": a 30000-character line inserted at byte " + std::to_string(at) + "\n";
        t.insert(at, std::string(30000, pick(2) ? ' ' : '7') + "\n");
        break;
      }
    }
  }
};

struct outcome {
  int status = 0;
  bool signalled = false;
  std::string output;
};

outcome run_program(const options& o, const fs::path& dir, const std::string& project) {
  const std::string command = "cd '" + dir.string() + "' && timeout -s KILL " + std::to_string(o.run_timeout) +
                              " '" + o.binary + "' '" + project + "' > run.log 2>&1 < /dev/null";
  const int raw = std::system(command.c_str());
  outcome r;
  r.signalled = !WIFEXITED(raw);
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.output = read_all(dir / "run.log");
  return r;
}

// What the run did wrong, or "" when it behaved.
std::string judge(const outcome& r, const file_set& inputs, const fs::path& dir) {
  if (r.status == 137 || r.status == 124) return "hang";
  if (r.signalled || (r.status != 0 && r.status != 1)) return "crash (status " + std::to_string(r.status) + ")";
  for (const char* mark : {"AddressSanitizer", "LeakSanitizer", "runtime error:", "UndefinedBehaviorSanitizer"})
    if (r.output.find(mark) != std::string::npos) return std::string("sanitizer: ") + mark;
  for (const auto& [name, text] : inputs)
    if (!fs::exists(dir / name) || read_all(dir / name) != text) return "input changed: " + name;
  if (r.status == 0) {
    for (const auto& f : fs::directory_iterator(dir)) {
      const std::string name = f.path().filename().string();
      if (inputs.count(name) || name == "run.log") continue;
      const std::string text = read_all(f.path());
      for (const auto& [at, len] : mutator::tokens(text)) {
        std::string word = text.substr(at, len);
        for (char& c : word) c = char(std::tolower(static_cast<unsigned char>(c)));
        if (word == "nan" || word == "-nan" || word == "inf" || word == "-inf")
          return "status 0 with " + word + " in " + name;
      }
    }
  }
  return "";
}

bool parse(int argc, char** argv, options& o) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string k = argv[i], v = argv[i + 1];
    if (k == "--binary") o.binary = v;
    else if (k == "--examples") o.examples = v;
    else if (k == "--out") o.out = v;
    else if (k == "--seconds") o.seconds = std::atof(v.c_str());
    else if (k == "--runs") o.runs = std::atol(v.c_str());
    else if (k == "--seed") o.seed = std::strtoull(v.c_str(), nullptr, 10);
    else if (k == "--run-timeout") o.run_timeout = std::atoi(v.c_str());
    else return false;
  }
  return !o.binary.empty() && !o.examples.empty();
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // findings show as they are found, also in a log
  options o;
  if (!parse(argc, argv, o)) {
    std::fprintf(stderr,
                 "usage: pluvo_fuzz --binary PATH --examples DIR [--seconds S] [--runs N] [--seed N] [--out DIR] "
                 "[--run-timeout S]\n");
    return 2;
  }
  o.binary = fs::absolute(o.binary).string();
  std::vector<example> examples;
  load_examples(o.examples, examples);
  if (examples.empty()) {
    std::fprintf(stderr, "no example projects under %s\n", o.examples.c_str());
    return 2;
  }
  load_examples(PLUVO_FUZZ_PROJECTS, examples);
  const fs::path work = fs::temp_directory_path() / ("pluvo_fuzz_" + std::to_string(getpid()));
  fs::create_directories(o.out);
  mutator mu{std::mt19937_64(o.seed), {}};
  const auto start = std::chrono::steady_clock::now();
  long executions = 0, findings = 0, refused = 0;
  std::map<std::string, long> kinds;
  while (o.runs < 0 || executions < o.runs) {
    if (std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() > o.seconds) break;
    const example& e = examples[mu.pick(examples.size())];
    file_set files = e.files;
    mu.note = "example " + e.name + "\n";
    const int count = 1 + int(mu.pick(3));
    for (int i = 0; i < count; ++i) mu.mutate(files, e.project);
    fs::remove_all(work);
    fs::create_directories(work);
    fs::create_directories(work / "out");  // the map folder the demo names
    for (const auto& [name, text] : files) write_all(work / name, text);
    const outcome r = run_program(o, work, e.project);
    ++executions;
    if (r.status == 1) ++refused;
    const std::string verdict = judge(r, files, work);
    if (verdict.empty()) continue;
    ++findings;
    ++kinds[verdict.substr(0, verdict.find(':'))];
    const fs::path keep = fs::path(o.out) / ("finding_" + std::to_string(findings));
    fs::remove_all(keep);
    fs::create_directories(keep);
    for (const auto& f : fs::directory_iterator(work)) fs::copy(f.path(), keep / f.path().filename());
    write_all(keep / "MUTATION.txt", mu.note + "verdict: " + verdict + "\n");
    std::printf("finding %ld: %s\n%s\n", findings, verdict.c_str(), mu.note.c_str());
  }
  fs::remove_all(work);
  std::printf("pluvo_fuzz: seed %llu, %ld executions in %.0f s, %ld stopped on a reported error, %ld findings\n",
              o.seed, executions, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
              refused, findings);
  for (const auto& [kind, n] : kinds) std::printf("  %ld x %s\n", n, kind.c_str());
  return findings == 0 ? 0 : 1;
}
