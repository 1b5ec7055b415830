#include "batch/command_line.hpp"

#include <filesystem>
#include <system_error>

namespace zk::batch {

namespace fs = std::filesystem;

namespace {

// The value of an option taking one: "--svg=F" or the next argument.
bool option_value(const std::vector<std::string>& args, std::size_t& k, const std::string& name,
                  std::string& value, std::string& error) {
  const std::string& a = args[k];
  if (a.size() > name.size() && a.compare(0, name.size(), name) == 0 && a[name.size()] == '=') {
    value = a.substr(name.size() + 1);
  } else if (k + 1 < args.size()) {
    value = args[++k];
  } else {
    error = "option " + name + " needs a file name";
    return false;
  }
  if (value.empty()) {
    error = "option " + name + " needs a file name";
    return false;
  }
  return true;
}

bool is_option(const std::string& a, const std::string& name) {
  return a == name || (a.size() > name.size() && a.compare(0, name.size(), name) == 0 && a[name.size()] == '=');
}

// Same file: by identity when both exist, else by their absolute normal form.
bool same_file(const std::string& a, const std::string& b) {
  std::error_code ec;
  if (fs::exists(a, ec) && fs::exists(b, ec)) {
    const bool eq = fs::equivalent(a, b, ec);
    if (!ec) return eq;
  }
  const fs::path pa = fs::weakly_canonical(fs::absolute(a, ec), ec);
  const fs::path pb = fs::weakly_canonical(fs::absolute(b, ec), ec);
  return pa == pb;
}

}  // namespace

CommandLine parse_command_line(const std::vector<std::string>& args) {
  CommandLine cl;
  std::vector<std::string> operands;
  bool options_done = false;
  bool svg_seen = false;
  bool json_seen = false;
  for (std::size_t k = 0; k < args.size(); ++k) {
    const std::string& a = args[k];
    if (options_done || a.size() < 2 || a[0] != '-') {
      operands.push_back(a);
      continue;
    }
    if (a == "--") {
      options_done = true;
    } else if (a == "--help" || a == "-h") {
      cl.action = CommandLine::Action::Help;
      return cl;
    } else if (a == "--version") {
      cl.action = CommandLine::Action::Version;
      return cl;
    } else if (a == "--quiet" || a == "-q") {
      cl.options.quiet = true;
    } else if (a == "--no-planes") {
      cl.options.figure.planes = false;
    } else if (a == "--labels") {
      cl.options.figure.labels = true;
    } else if (a == "--strict") {
      cl.options.strict = true;
    } else if (is_option(a, "--svg") || is_option(a, "--json")) {
      const bool svg = is_option(a, "--svg");
      const std::string name = svg ? "--svg" : "--json";
      bool& seen = svg ? svg_seen : json_seen;
      if (seen) {
        cl.error = "option " + name + " given twice";
        return cl;
      }
      seen = true;
      if (!option_value(args, k, name, svg ? cl.options.svg : cl.options.json, cl.error)) return cl;
    } else {
      cl.error = "unknown option " + a;
      return cl;
    }
  }
  if (operands.size() < 3) {
    static const char* const kNames[] = {"PARAMETERS", "DATA", "OUTPUT"};
    cl.error = std::string("missing operand ") + kNames[operands.size()];
    return cl;
  }
  if (operands.size() > 3) {
    cl.error = "too many operands (from " + operands[3] + " on): give PARAMETERS, DATA and OUTPUT only";
    return cl;
  }
  cl.options.parameters = operands[0];
  cl.options.data = operands[1];
  cl.options.output = operands[2];
  if (cl.options.svg.empty() && (!cl.options.figure.planes || cl.options.figure.labels)) {
    cl.error = std::string(cl.options.figure.planes ? "--labels" : "--no-planes") + " changes the figure: give --svg FILE";
    return cl;
  }
  cl.action = CommandLine::Action::Run;
  return cl;
}

std::string conflicting_paths(const Options& o) {
  struct Named {
    const char* label;
    const std::string* path;
  };
  const Named inputs[] = {{"PARAMETERS", &o.parameters}, {"DATA", &o.data}, {"OUTPUT", &o.output}};
  const Named results[] = {{"--json", &o.json}, {"--svg", &o.svg}};
  for (const Named& r : results) {
    if (r.path->empty()) continue;
    for (const Named& i : inputs) {
      if (same_file(*r.path, *i.path)) {
        return std::string(r.label) + " " + *r.path + " is the " + i.label + " file";
      }
    }
  }
  if (!o.json.empty() && !o.svg.empty() && same_file(o.json, o.svg)) {
    return "--json and --svg name the same file " + o.json;
  }
  return "";
}

const char* const kUsageLine =
    "Usage: zarkel-batch PARAMETERS DATA OUTPUT [--svg FIGURE.svg] [--json RESULT.json]\n"
    "                    [--no-planes] [--labels] [--quiet] [--strict]";

std::string usage_text() {
  return std::string(kUsageLine) +
         "\n\n"
         "Runs the four stages of the stress inversion on the PARAMETERS and DATA\n"
         "files and writes the listing to OUTPUT, the same listing as zarkel writes.\n"
         "\n"
         "  --svg FILE    also draw the results: Schmidt net with SHmax, Mohr diagram,\n"
         "                misfit histogram\n"
         "  --no-planes   leave the fault planes' great circles out of the figure\n"
         "  --labels      number the data beyond the cut-off in the figure\n"
         "  --json FILE   also write the results as a JSON document (format 2,\n"
         "                described by docs/result.schema.json)\n"
         "  --quiet       print nothing on success (warnings still go to standard error)\n"
         "  --strict      refuse input that gives a warning: nothing is run or written\n"
         "  --help        show this text\n"
         "  --version     show the version\n"
         "\n"
         "Warnings (input that reads but is likely a mistake) go to standard error.\n"
         "Exit status: 0 success, 1 bad input or a file that cannot be read or written,\n"
         "2 bad command line.\n";
}

std::string version_text() { return "zarkel-batch 4.5 (2024-02-16)\n"; }

}  // namespace zk::batch
