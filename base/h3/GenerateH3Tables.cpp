// Build-time generator: turns the grid's numeric constants (base/h3/grid_constants.json) into C++
// tables, so the numbers live in exactly one place. Usage: quarry_h3_gen <input.json> <output.inc>.
// Every array becomes `inline constexpr T kName[d0][d1]... = {...};` with its JSON nesting kept; a
// table holding any non-integer number is emitted as double with 17 significant digits (exact).
#include <cstdio>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

namespace {

bool hasFloat(const nlohmann::json& v) {
  if (v.is_array()) {
    for (const auto& e : v) {
      if (hasFloat(e)) {
        return true;
      }
    }
    return false;
  }
  return v.is_number_float();
}

void emit(std::ostream& out, const nlohmann::json& v, bool asDouble) {
  if (v.is_array()) {
    out << '{';
    for (std::size_t i = 0; i < v.size(); ++i) {
      if (i != 0) {
        out << ',';
      }
      emit(out, v[i], asDouble);
    }
    out << '}';
    return;
  }
  if (!v.is_number()) {
    throw std::runtime_error("non-numeric table entry");
  }
  if (asDouble) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", v.get<double>());
    out << buf;
  } else {
    out << v.get<long long>();
  }
}

// Every level of a table must be rectangular: the generator refuses ragged input rather than padding.
void checkShape(const nlohmann::json& v, const std::vector<std::size_t>& dims, std::size_t level) {
  if (level == dims.size()) {
    if (v.is_array()) {
      throw std::runtime_error("ragged table");
    }
    return;
  }
  if (!v.is_array() || v.size() != dims[level]) {
    throw std::runtime_error("ragged table");
  }
  for (const auto& e : v) {
    checkShape(e, dims, level + 1);
  }
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: quarry_h3_gen <grid_constants.json> <output.inc>\n";
    return 2;
  }
  try {
    std::ifstream in(argv[1]);
    if (!in) {
      std::cerr << "cannot read " << argv[1] << '\n';
      return 1;
    }
    const nlohmann::json doc = nlohmann::json::parse(in);
    std::ostringstream out;
    out << "// Generated from base/h3/grid_constants.json by quarry_h3_gen. Do not edit.\n#pragma once\n\n";
    for (auto it = doc.begin(); it != doc.end(); ++it) {
      if (!it.value().is_array()) {
        continue;
      }
      std::vector<std::size_t> dims;
      for (const nlohmann::json* p = &it.value(); p->is_array(); p = &(*p)[0]) {
        dims.push_back(p->size());
        if (p->empty()) {
          break;
        }
      }
      checkShape(it.value(), dims, 0);
      const bool asDouble = hasFloat(it.value());
      std::string name = it.key();
      name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
      out << "inline constexpr " << (asDouble ? "double" : "int") << " k" << name;
      for (std::size_t d : dims) {
        out << '[' << d << ']';
      }
      out << " = ";
      emit(out, it.value(), asDouble);
      out << ";\n\n";
    }
    std::ofstream o(argv[2]);
    o << out.str();
    return o ? 0 : 1;
  } catch (const std::exception& e) {
    std::cerr << "quarry_h3_gen: " << e.what() << '\n';
    return 1;
  }
}
